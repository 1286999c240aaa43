// Install locations below the Program Files folder, folder creation, flat
// copies and deletions, and the removal of the WebBrowser folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "base/edition.h"
#include "client/client_app.h"
#include "client/client_files.h"
#include "client/locations.h"
#include "client_test_support.h"

using namespace client_test;
using testing_support::TempMachine;

namespace {

enum Lookup { Font, Product, WebBrowser, Client };

bool RunLookup(Lookup lookup, char* buffer, DWORD size, const EditionProfile& edition) {
    switch (lookup) {
        case Font: return GetProgramFilesSubfolder(edition.fontFolder, buffer, size);
        case Product: return GetProgramFilesSubfolder(edition.productFolder, buffer, size);
        case WebBrowser: return GetWebBrowserFolder(buffer, size);
        case Client: return GetClientFolder(buffer, size);
    }
    return false;
}

std::string Looked(Lookup lookup, const EditionProfile& edition = kStandardEdition) {
    char buffer[1000];
    std::memset(buffer, 'x', sizeof buffer);
    if (!RunLookup(lookup, buffer, sizeof buffer, edition)) return "(false) " + std::string(buffer);
    return buffer;
}

}  // namespace

TEST(ClientLocations, FoldersBelowProgramFilesPerMachine) {
    struct Row {
        const char* os;
        bool enterprise;
        Lookup lookup;
        const char* expected;
    };
    const Row rows[] = {
        // A 32-bit process sees the 32-bit view on 64-bit Windows, by default
        // as well as with KEY_WOW64_32KEY.
        {"7-x64", false, Font, "C:\\Program Files (x86)\\Oxlen\\Vormo Client\\Font"},
        {"7-x64", false, Product, "C:\\Program Files (x86)\\Oxlen\\Vormo Client"},
        {"7-x64", false, WebBrowser, "C:\\Program Files (x86)\\Oxlen\\Vormo Client\\WebBrowser"},
        {"7-x64", false, Client, "C:\\Program Files (x86)\\Oxlen\\Vormo Client\\Client"},
        {"7-x64", true, Font, "C:\\Program Files (x86)\\Oxlen\\Vormo Client Enterprise\\Font"},
        {"7-x64", true, Product, "C:\\Program Files (x86)\\Oxlen\\Vormo Client Enterprise"},
        {"7-x64", true, WebBrowser, "C:\\Program Files (x86)\\Oxlen\\Vormo Client\\WebBrowser"},
        {"7-x64", true, Client, "C:\\Program Files (x86)\\Oxlen\\Vormo Client\\Client"},
        {"7-x86", false, Font, "C:\\Program Files\\Oxlen\\Vormo Client\\Font"},
        {"7-x86", false, Client, "C:\\Program Files\\Oxlen\\Vormo Client\\Client"},
        {"xp", true, Product, "C:\\Program Files\\Oxlen\\Vormo Client Enterprise"},
    };
    for (const Row& row : rows) {
        winsim::NewOptions options = TempMachine::DefaultOptions();
        options.os = row.os;
        TempMachine m(options);
        EXPECT_EQ(Looked(row.lookup, row.enterprise ? kEnterpriseEdition : kStandardEdition), row.expected) << row.os << " lookup " << row.lookup;
    }
}

TEST(ClientLocations, DataFoldersAskForThe32BitViewUnderWow64AndTheClientFolderForNone) {
    // The explicit 32-bit view fails; the process's default view still works.
    TempMachine m;
    winsim::AddFault("RegOpenKeyExA:KEY_WOW64_32KEY", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Looked(Font), "(false) ");
    EXPECT_EQ(Looked(Product), "(false) ");
    EXPECT_EQ(Looked(WebBrowser), "(false) ");
    EXPECT_EQ(Looked(Client), kClient);

    // No view flag at all when IsWow64Process is missing, or on 32-bit Windows.
    winsim::WriteFileAtomic(m.dir() + "/faults", "missing kernel32 IsWow64Process\n");
    m.Reopen();
    winsim::AddFault("RegOpenKeyExA:KEY_WOW64_32KEY", "*", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Looked(Font), kFonts);
    EXPECT_EQ(Looked(WebBrowser), kWebBrowser);

    TempMachine m32(ThirtyTwoBitMachine());
    winsim::AddFault("RegOpenKeyExA:KEY_WOW64_32KEY", "*", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Looked(Font), "C:\\Program Files\\Oxlen\\Vormo Client\\Font");
}

TEST(ClientLocations, NoProgramFilesFolderMakesEveryLookupFail) {
    TempMachine m;
    SetProgramFilesDir("");
    for (Lookup lookup : {Font, Product, WebBrowser, Client}) EXPECT_EQ(Looked(lookup), "(false) ");
    // An empty value is no folder either.
    for (const char* key : {kCurrentVersion64, kCurrentVersion32})
        winsim::reg::SetValue(kHklm, key, "ProgramFilesDir", winsim::reg::Sz(""));
    for (Lookup lookup : {Font, Product, WebBrowser, Client}) EXPECT_EQ(Looked(lookup), "(false) ");
}

TEST(ClientLocations, LookupsRefuseMissingArgumentsAndPathsThatDoNotFit) {
    TempMachine m;
    char buffer[64];
    EXPECT_FALSE(GetProgramFilesSubfolder(nullptr, buffer, sizeof buffer));
    EXPECT_FALSE(GetProgramFilesSubfolder("x", nullptr, 10));
    EXPECT_FALSE(GetClientFolder(nullptr, 10));
    EXPECT_FALSE(GetClientFolder(buffer, 0));
    // "C:\Program Files (x86)\Oxlen\Vormo Client\Client" is 48 characters:
    // 49 bytes hold it, 48 bytes would only hold a cut path naming another
    // folder, which is refused with an empty buffer.
    ASSERT_EQ(std::strlen(kClient), 48u);
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_TRUE(GetClientFolder(buffer, 49));
    EXPECT_STREQ(buffer, kClient);
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(GetClientFolder(buffer, 48));
    EXPECT_STREQ(buffer, "");
    // The Program Files folder alone too long for the read: no folder.
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(GetClientFolder(buffer, 20));
    EXPECT_STREQ(buffer, "");
}

TEST(ClientLocations, CreateDirectoryPathMakesMissingLevelsAndAcceptsExistingOnes) {
    TempMachine m;
    EXPECT_TRUE(CreateDirectoryPath(kClient));
    EXPECT_TRUE(IsFolder(kClient));
    // All levels present: true without error; a trailing backslash too.
    EXPECT_TRUE(CreateDirectoryPath(kClient));
    EXPECT_TRUE(CreateDirectoryPath("C:\\Program Files (x86)\\Oxlen\\Vormo Client\\Font\\"));
    EXPECT_TRUE(IsFolder(kFonts));
    EXPECT_TRUE(CreateDirectoryPath("c:\\PROGRAM FILES (X86)\\oxlen"));
    EXPECT_FALSE(CreateDirectoryPath(nullptr));
    // A file in the way of a level.
    m.Write("C:\\Dist\\blocker", "x");
    EXPECT_FALSE(CreateDirectoryPath("C:\\Dist\\blocker\\below"));
}

TEST(ClientLocations, CreateDirectoryPathStopsAtADeniedSecondLevel) {
    TempMachine m;
    winsim::AddFault("CreateDirectoryA", "C:\\Program Files (x86)\\Oxlen", ERROR_ACCESS_DENIED, 1);
    winsim::AddFault("CreateDirectoryA", "C:\\Program Files (x86)\\Oxlen\\Vormo Client", ERROR_ACCESS_DENIED, 1);
    EXPECT_FALSE(CreateDirectoryPath(kClient));
    EXPECT_FALSE(m.Exists("C:\\Program Files (x86)\\Oxlen"));
    // The third level was not attempted: its one denial is still waiting.
    EXPECT_FALSE(CreateDirectoryPath(kClient));
    EXPECT_TRUE(IsFolder("C:\\Program Files (x86)\\Oxlen"));
    EXPECT_FALSE(m.Exists(kProduct));
    EXPECT_TRUE(CreateDirectoryPath(kClient));
    EXPECT_TRUE(IsFolder(kClient));
}

TEST(ClientLocations, CreateDirectoryPathTakesAtMost503Characters) {
    TempMachine m;
    // "C:" and levels of 98 characters each, cut to the length wanted.
    auto pathOf = [](size_t length) {
        std::string path = "C:";
        while (path.size() < length) path += "\\" + std::string(98, 'd');
        return path.substr(0, length);
    };
    std::string longest = pathOf(503);
    ASSERT_NE(longest.back(), '\\');
    EXPECT_TRUE(CreateDirectoryPath(longest.c_str()));
    EXPECT_TRUE(IsFolder(longest));
    std::string tooLong = pathOf(504);
    tooLong[3] = 'e';  // a first level that does not exist yet
    EXPECT_FALSE(CreateDirectoryPath(tooLong.c_str()));
    EXPECT_FALSE(m.Exists(tooLong.substr(0, 101)));
    EXPECT_FALSE(CreateDirectoryPath(std::string(5000, 'x').c_str()));
}

TEST(ClientLocations, AppendBackslashAndJoinPath) {
    struct Row {
        const char* path;
        DWORD size;
        const char* expected;
    };
    const Row rows[] = {
        {"C:\\a", 10, "C:\\a\\"},
        {"C:\\a\\", 10, "C:\\a\\"},
        {"", 10, ""},
        {"FontFiles", 11, "FontFiles\\"},
        {"FontFiles", 10, "FontFiles"},  // no room: left as it is
    };
    for (const Row& row : rows) {
        char buffer[32] = {};
        std::snprintf(buffer, sizeof buffer, "%s", row.path);
        AppendBackslash(buffer, row.size);
        EXPECT_STREQ(buffer, row.expected) << row.path;
    }
    AppendBackslash(nullptr, 10);

    char out[8];
    EXPECT_TRUE(JoinPath("ab\\", "cd", out, sizeof out));
    EXPECT_STREQ(out, "ab\\cd");
    EXPECT_TRUE(JoinPath("abc\\", "def", out, sizeof out));
    EXPECT_STREQ(out, "abc\\def");
    std::snprintf(out, sizeof out, "%s", "keep");
    EXPECT_FALSE(JoinPath(nullptr, "x", out, sizeof out));
    EXPECT_FALSE(JoinPath("x", nullptr, out, sizeof out));
    EXPECT_STREQ(out, "keep");
    EXPECT_FALSE(JoinPath("x", "y", nullptr, 8));
    // A joined path that does not fit is refused, never cut.
    EXPECT_FALSE(JoinPath("abcd\\", "efg", out, sizeof out));
    EXPECT_STREQ(out, "");
}

namespace {

struct Seen {
    std::vector<std::string> names;
    size_t stopAfter = 1000;
};

bool Record(const WIN32_FIND_DATAA* file, void* context) {
    auto* seen = static_cast<Seen*>(context);
    seen->names.push_back(file->cFileName);
    return seen->names.size() < seen->stopAfter;
}

}  // namespace

TEST(ClientLocations, ForEachFileVisitsTheFolderOwnFilesOnly) {
    TempMachine m;
    EnterDistribution();
    m.Write("C:\\Dist\\FontFiles\\Nested\\Deep.ttf", "deep");
    Seen seen;
    EXPECT_TRUE(ForEachFile("FontFiles\\", "*.*", &Record, &seen));
    EXPECT_EQ(seen.names, (std::vector<std::string>{"VormoMono.ttf", "VormoSans-Bold.ttf", "VormoSans.ttf"}));

    Seen first;
    first.stopAfter = 1;
    EXPECT_FALSE(ForEachFile("FontFiles\\", "*.*", &Record, &first));
    EXPECT_EQ(first.names.size(), 1u);
    EXPECT_EQ(winsim::OpenHandleCount(), 0u);  // the search was ended

    Seen none;
    EXPECT_TRUE(ForEachFile("FontFiles\\", "*.xyz", &Record, &none));
    EXPECT_TRUE(ForEachFile("C:\\NoSuchFolder\\", "*.*", &Record, &none));
    EXPECT_TRUE(ForEachFile("", "server_subnet.csv", &Record, &none));  // the current directory
    EXPECT_EQ(none.names, std::vector<std::string>{"server_subnet.csv"});
    EXPECT_FALSE(ForEachFile(nullptr, "*.*", &Record, &none));
    EXPECT_FALSE(ForEachFile("", nullptr, &Record, &none));
}

TEST(ClientLocations, WalkPathsStayBelow1500Characters) {
    TempMachine m;
    EnterDistribution();
    Seen seen;
    // Folder and pattern: 1499 characters are searched (nothing there),
    // 1500 are refused.
    std::string folder = "C:\\" + std::string(1489, 'f') + "\\";
    ASSERT_EQ(folder.size(), 1493u);
    EXPECT_TRUE(ForEachFile(folder.c_str(), "abc.de", &Record, &seen));
    EXPECT_FALSE(ForEachFile(folder.c_str(), "abcd.ef", &Record, &seen));
    // A source folder that leaves no room for its backslash.
    std::string source(1499, 's');
    EXPECT_FALSE(CopyFiles(source.c_str(), "C:\\", "*.*"));
    EXPECT_FALSE(DeleteFiles(source.c_str(), "*.*"));
    // A target path of exactly 1500 characters: the copy-error line.
    std::string target = "C:\\" + std::string(1483, 't');  // + "\" + "VormoMono.ttf" = 1500
    testing_support::BeginCapture();
    EXPECT_FALSE(CopyFiles("FontFiles", target.c_str(), "VormoMono.ttf"));
    EXPECT_EQ(testing_support::EndCapture(), "ERROR While Copying File 'VormoMono.ttf'.\n");
}

TEST(ClientLocations, CopyFilesIsFlatAndOverwrites) {
    TempMachine m;
    EnterDistribution();
    m.Write("C:\\Dist\\FontFiles\\Nested\\Deep.ttf", "deep");
    ASSERT_TRUE(CreateDirectoryPath("C:\\Target"));
    m.Write("C:\\Target\\VormoMono.ttf", "old");
    testing_support::BeginCapture();
    EXPECT_TRUE(CopyFiles("FontFiles", "C:\\Target", "*.*"));
    EXPECT_EQ(testing_support::EndCapture(), "");
    EXPECT_EQ(m.Read("C:\\Target\\VormoMono.ttf"), m.Read("C:\\Dist\\FontFiles\\VormoMono.ttf"));
    EXPECT_TRUE(m.Exists("C:\\Target\\VormoSans.ttf"));
    EXPECT_TRUE(m.Exists("C:\\Target\\VormoSans-Bold.ttf"));
    EXPECT_FALSE(m.Exists("C:\\Target\\Nested"));
    EXPECT_FALSE(m.Exists("C:\\Target\\Deep.ttf"));
}

TEST(ClientLocations, CopyFilesStopsAtAReadOnlyTarget) {
    TempMachine m;
    EnterDistribution();
    ASSERT_TRUE(CreateDirectoryPath("C:\\Target"));
    m.Write("C:\\Target\\VormoSans-Bold.ttf", "locked");
    ASSERT_TRUE(SetFileAttributesA("C:\\Target\\VormoSans-Bold.ttf", FILE_ATTRIBUTE_READONLY));
    testing_support::BeginCapture();
    EXPECT_FALSE(CopyFiles("FontFiles\\", "C:\\Target\\", "*.*"));
    EXPECT_EQ(testing_support::EndCapture(), "ERROR While Copying File 'VormoSans-Bold.ttf'.\n");
    // Files are visited in the file system's order: the one before stays
    // copied, the one after is not copied.
    EXPECT_TRUE(m.Exists("C:\\Target\\VormoMono.ttf"));
    EXPECT_EQ(m.Read("C:\\Target\\VormoSans-Bold.ttf"), "locked");
    EXPECT_FALSE(m.Exists("C:\\Target\\VormoSans.ttf"));
}

TEST(ClientLocations, CopyFilesEdgeCases) {
    TempMachine m;
    EnterDistribution();
    testing_support::BeginCapture();
    EXPECT_TRUE(CopyFiles("NoSuchFolder", "C:\\Dist", "*.*"));       // missing source: success
    EXPECT_TRUE(CopyFiles("FontFiles", "C:\\Dist", "*.otf"));        // no match: success
    EXPECT_FALSE(CopyFiles(nullptr, "C:\\Dist", "*.*"));
    EXPECT_FALSE(CopyFiles("FontFiles", nullptr, "*.*"));
    EXPECT_FALSE(CopyFiles("FontFiles", "C:\\Dist", nullptr));
    EXPECT_EQ(testing_support::EndCapture(), "");
    // The target folder is not made here.
    testing_support::BeginCapture();
    EXPECT_FALSE(CopyFiles(".", "C:\\Missing", "server_subnet.csv"));
    EXPECT_EQ(testing_support::EndCapture(), "ERROR While Copying File 'server_subnet.csv'.\n");
    EXPECT_FALSE(m.Exists("C:\\Missing"));
}

TEST(ClientLocations, DeleteFilesStopsAtAReadOnlyFile) {
    TempMachine m;
    EnterDistribution();
    for (const char* name : {"a.ttf", "b.ttf", "c.ttf"}) m.Write(std::string("C:\\Fonts\\") + name, name);
    m.Write("C:\\Fonts\\Sub\\d.ttf", "d");
    EXPECT_TRUE(DeleteFiles("C:\\Fonts", "*.otf"));  // nothing matches
    EXPECT_TRUE(DeleteFiles("C:\\Nowhere", "*.*"));
    EXPECT_FALSE(DeleteFiles(nullptr, "*.*"));
    EXPECT_FALSE(DeleteFiles("C:\\Fonts", nullptr));
    ASSERT_TRUE(SetFileAttributesA("C:\\Fonts\\b.ttf", FILE_ATTRIBUTE_READONLY));
    testing_support::BeginCapture();
    EXPECT_FALSE(DeleteFiles("C:\\Fonts\\", "*.*"));
    EXPECT_EQ(testing_support::EndCapture(), "");
    EXPECT_FALSE(m.Exists("C:\\Fonts\\a.ttf"));
    EXPECT_TRUE(m.Exists("C:\\Fonts\\b.ttf"));
    EXPECT_TRUE(IsReadOnly("C:\\Fonts\\b.ttf"));  // attributes are left alone
    EXPECT_TRUE(m.Exists("C:\\Fonts\\c.ttf"));
    EXPECT_TRUE(m.Exists("C:\\Fonts\\Sub\\d.ttf"));
    ASSERT_TRUE(SetFileAttributesA("C:\\Fonts\\b.ttf", FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFiles("C:\\Fonts", "*.*"));
    EXPECT_FALSE(m.Exists("C:\\Fonts\\c.ttf"));
    EXPECT_TRUE(m.Exists("C:\\Fonts\\Sub\\d.ttf"));
}

TEST(ClientLocations, WebBrowserFolderThatNeverExistedIsMadeAndRemoved) {
    TempMachine m;
    EnterDistribution();
    testing_support::BeginCapture();
    EXPECT_TRUE(RemoveWebBrowserFolder());
    EXPECT_EQ(testing_support::EndCapture(), "");
    EXPECT_FALSE(m.Exists(kWebBrowser));
    EXPECT_TRUE(IsFolder(kProduct));  // its parents were made on the way
    EXPECT_EQ(StartedProcesses(),
              std::vector<std::string>{"C:\\Windows\\system32\\cmd.exe | \"C:\\Windows\\system32\\cmd.exe\" /c rmdir "
                                       "\"C:\\Program Files (x86)\\Oxlen\\Vormo Client\\WebBrowser\" /S /Q"});
    EXPECT_EQ(winsim::OpenHandleCount(), 0u);
}

TEST(ClientLocations, WebBrowserFolderGoesWithEverythingInIt) {
    TempMachine m;
    m.Write(std::string(kWebBrowser) + "\\cache\\page.html", "x");
    m.Write(std::string(kWebBrowser) + "\\cookies.txt", "y");
    m.Write(std::string(kClient) + "\\keep.txt", "z");
    EXPECT_TRUE(RemoveWebBrowserFolder());
    EXPECT_FALSE(m.Exists(kWebBrowser));
    EXPECT_TRUE(m.Exists(std::string(kClient) + "\\keep.txt"));
}

TEST(ClientLocations, LinksInTheWebBrowserFolderGoAsLinks) {
    // A folder outside the machine, reached through links inside the tree.
    char pattern[] = "/tmp/winsim-outside-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    std::string outside = pattern;
    ASSERT_EQ(::system(("mkdir '" + outside + "/sub' && echo kept > '" + outside + "/sub/file.txt'").c_str()), 0);
    for (bool removable : {true, false}) {
        SCOPED_TRACE(removable ? "links removed" : "a link that cannot be removed");
        TempMachine m;
        m.Write(std::string(kWebBrowser) + "\\cache\\page.html", "x");
        ASSERT_EQ(::symlink(outside.c_str(), m.Host(std::string(kWebBrowser) + "\\Profile").c_str()), 0);
        ASSERT_EQ(::symlink(outside.c_str(), m.Host(std::string(kWebBrowser) + "\\cache\\deeper").c_str()), 0);
        ASSERT_EQ(::symlink((outside + "/sub/file.txt").c_str(), m.Host(std::string(kWebBrowser) + "\\cookies").c_str()),
                  0);
        // As Wine answers for a link to a folder that is not empty.
        if (!removable) winsim::AddFault("RemoveDirectoryA", "Profile", ERROR_DIR_NOT_EMPTY);
        EXPECT_EQ(RemoveWebBrowserFolder(), removable);
        EXPECT_EQ(m.Exists(kWebBrowser), !removable);
        // The command interpreter only runs once no link is left.
        EXPECT_EQ(StartedProcesses().size(), removable ? 1u : 0u);
        EXPECT_EQ(winsim::OpenHandleCount(), 0u);
    }
    std::string kept;
    EXPECT_TRUE(winsim::ReadWholeFile(outside + "/sub/file.txt", &kept));
    EXPECT_EQ(kept, "kept\n");
    testing_support::RemoveTree(outside);
}

TEST(ClientLocations, ALinkAtTheRootOfEachRemovalGoesAsALinkAndNothingBehindItIsEntered) {
    const std::string maker = "C:\\Program Files (x86)\\Oxlen", subnet = std::string(kProduct) + "\\server_subnet.csv";
    const struct Row {
        std::string root;  // replaced by a link to the folder outside (to its file for the subnet file)
        const char* refusal;  // the call that cannot remove the link, as Wine answers for a folder that is not empty
    } rows[] = {
        {maker, "RemoveDirectoryA"}, {kProduct, "RemoveDirectoryA"}, {kWebBrowser, "RemoveDirectoryA"},
        {kFonts, "RemoveDirectoryA"}, {kClient, "RemoveDirectoryA"}, {subnet, "DeleteFileA"},
    };
    for (const auto& row : rows) {
        for (bool removable : {true, false}) {
            SCOPED_TRACE(row.root + (removable ? "" : ", a link that cannot be removed"));
            // Outside: what each removal deletes by name or by pattern, and a
            // link of its own.
            testing_support::OutsideFolder outside;
            for (const char* file : {"Vormo Client.exe", "Interop.SHDocVw.dll", "server_subnet.csv", "VormoSans.ttf",
                                     "ar-SA/Vormo Client.resources.dll", "Client/Vormo Client.exe", "Font/VormoSans.ttf",
                                     "Vormo Client/Font/VormoSans.ttf", "WebBrowser/cache/page.html"})
                outside.Write(file, "kept");
            ASSERT_EQ(::symlink((outside.dir() + "/Font").c_str(), (outside.dir() + "/Profile").c_str()), 0);
            const std::string before = testing_support::TreeSnapshot(outside.dir());
            TempMachine m;
            EnterDistribution();
            for (const std::string& file : {std::string(kClient) + "\\Vormo Client.exe",
                                           std::string(kClient) + "\\ar-SA\\Vormo Client.resources.dll",
                                           std::string(kFonts) + "\\VormoSans.ttf", subnet,
                                           std::string(kWebBrowser) + "\\cache\\page.html"})
                m.Write(file, "installed");
            testing_support::RemoveTree(m.Host(row.root));
            bool fileLink = row.root == subnet;
            ASSERT_EQ(::symlink((outside.dir() + (fileLink ? "/server_subnet.csv" : "")).c_str(),
                                m.Host(row.root).c_str()),
                      0);
            winsim::MachineChangedOutside();
            if (!removable) winsim::AddFault(row.refusal, row.root.substr(row.root.rfind('\\') + 1), ERROR_DIR_NOT_EMPTY);
            testing_support::BeginCapture();
            RemoveClientApplication();
            RemoveSubnetMappingFile(kStandardEdition);
            RemoveFontFiles(kStandardEdition);
            testing_support::EndCapture();
            EXPECT_EQ(testing_support::TreeSnapshot(outside.dir()), before);
            // What is left of the product's tree: nothing, or the link with
            // the folders above it.
            std::string relative = row.root.substr(std::strlen("C:\\Program Files (x86)\\")), left;
            std::replace(relative.begin(), relative.end(), '\\', '/');
            if (!removable) {
                for (size_t at = relative.find('/'); at != std::string::npos; at = relative.find('/', at + 1))
                    left += relative.substr(0, at) + "/\n";
                left += relative + " -> " + outside.dir() + (fileLink ? "/server_subnet.csv" : "") + "\n";
            }
            std::istringstream tree(testing_support::TreeSnapshot(m.Host("C:\\Program Files (x86)")));
            std::string line, product;
            while (std::getline(tree, line))
                if (line.rfind("Oxlen", 0) == 0) product += line + "\n";
            EXPECT_EQ(product, left);
            EXPECT_EQ(winsim::OpenHandleCount(), 0u);
        }
    }
}

TEST(ClientLocations, WebBrowserRemovalRefusals) {
    {
        // A quote would end the quoted folder early: nothing is run.
        TempMachine m;
        SetProgramFilesDir("C:\\Pro\"gram Files");
        EXPECT_FALSE(RemoveWebBrowserFolder());
        SetProgramFilesDir("C:\\%windir%");
        EXPECT_FALSE(RemoveWebBrowserFolder());
        EXPECT_TRUE(StartedProcesses().empty());
        EXPECT_FALSE(m.Exists("C:\\Pro\"gram Files"));
    }
    {
        TempMachine m;
        SetProgramFilesDir("");
        EXPECT_FALSE(RemoveWebBrowserFolder());
        EXPECT_TRUE(StartedProcesses().empty());
    }
    {
        // No command interpreter to run.
        TempMachine m;
        winsim::Config().env.erase("COMSPEC");
        EXPECT_FALSE(RemoveWebBrowserFolder());
        EXPECT_TRUE(IsFolder(kWebBrowser));
    }
    {
        // The interpreter cannot be started.
        TempMachine m;
        winsim::AddFault("CreateProcessA", "cmd.exe", ERROR_ACCESS_DENIED);
        EXPECT_FALSE(RemoveWebBrowserFolder());
    }
    {
        // rmdir fails (the folder could not be made): a nonzero exit status,
        // and no message of the installer's own.
        TempMachine m;
        winsim::AddFault("CreateDirectoryA", kWebBrowser, ERROR_ACCESS_DENIED);
        testing_support::BeginCapture();
        EXPECT_FALSE(RemoveWebBrowserFolder());
        EXPECT_EQ(testing_support::EndCapture(), "");
        EXPECT_EQ(StartedProcesses().size(), 1u);
    }
    {
        // rmdir cannot remove a file in the tree (it is in use): the removal
        // fails and the file stays with the folders above it.
        TempMachine m;
        m.Write(std::string(kWebBrowser) + "\\cache\\in-use.dat", "x");
        m.Write(std::string(kWebBrowser) + "\\cookies.txt", "y");
        winsim::AddFault("DeleteFileA", "in-use.dat", ERROR_SHARING_VIOLATION);
        EXPECT_FALSE(RemoveWebBrowserFolder());
        EXPECT_EQ(StartedProcesses().size(), 1u);
        EXPECT_TRUE(m.Exists(std::string(kWebBrowser) + "\\cache\\in-use.dat"));
        EXPECT_FALSE(m.Exists(std::string(kWebBrowser) + "\\cookies.txt"));
    }
}
