// The machine's store: links in the registry are damaged keys and never
// followed, winsim's own files in the making stay in DIR/staging/ and a dead
// process's are removed at the next start, and rmdir /S /Q says when a tree
// stays.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "support/machine.h"

using testing_support::RunCommand;
using testing_support::TempMachine;

namespace {

std::string Slurp(const std::string& host) {
    std::string content;
    if (!winsim::ReadWholeFile(host, &content)) return "(missing)";
    return content;
}

// Every path below a host folder, links as links, folders ending in "/".
void List(const std::string& root, const std::string& rel, std::vector<std::string>* out) {
    DIR* d = ::opendir((root + rel).c_str());
    if (!d) return;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        struct stat st;
        if (::lstat((root + rel + "/" + n).c_str(), &st) != 0) continue;
        bool folder = S_ISDIR(st.st_mode);
        out->push_back(rel + "/" + n + (folder ? "/" : ""));
        if (folder) List(root, rel + "/" + n, out);
    }
    ::closedir(d);
}

}  // namespace

TEST(WinsimStore, ALinkInTheRegistryIsADamagedKeyAndNeverFollowed) {
    const struct Row {
        const char* what;
        bool folderLink;  // the key's folder is the link; else its values file
    } rows[] = {
        {"a link in place of a key's folder", true},
        {"a link in place of a key's values file", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempMachine m;
        std::string outside = m.dir() + "/outside";
        ASSERT_EQ(::mkdir(outside.c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((outside + "/Sub").c_str(), 0755), 0);
        ASSERT_TRUE(winsim::WriteFileAtomic(outside + "/values.reg", "\"Secret\"=\"kept\"\n"));
        ASSERT_TRUE(winsim::WriteFileAtomic(outside + "/Sub/values.reg", "\"Deeper\"=\"kept\"\n"));
        ASSERT_TRUE(winsim::reg::CreateKey("registry/HKCU", "Software"));
        std::string key = m.dir() + "/registry/HKCU/Software/Linked";
        if (row.folderLink) {
            ASSERT_EQ(::symlink(outside.c_str(), key.c_str()), 0);
        } else {
            ASSERT_EQ(::mkdir(key.c_str(), 0755), 0);
            ASSERT_EQ(::symlink((outside + "/values.reg").c_str(), (key + "/values.reg").c_str()), 0);
        }
        // Made behind winsim's back, as a person would between runs.
        winsim::MachineChangedOutside();
        HKEY k = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Linked", 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Linked\\Sub", 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
        // Nothing is made through a link (a key below one whose values file
        // is a link is a key as any).
        if (row.folderLink) {
            EXPECT_NE(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Linked\\New", 0, nullptr, 0, KEY_ALL_ACCESS,
                                      nullptr, &k, nullptr),
                      ERROR_SUCCESS);
        }
        EXPECT_FALSE(winsim::reg::SetValue("registry/HKCU", "Software\\Linked", "Secret", winsim::reg::Sz("gone")));
        std::string shown = winsim::reg::Export("registry/HKCU", "Software", "HKEY_CURRENT_USER");
        EXPECT_NE(shown.find("; damaged key [HKEY_CURRENT_USER\\Software\\Linked]: a link, not followed"),
                  std::string::npos)
            << shown;
        EXPECT_EQ(shown.find("kept"), std::string::npos) << shown;
        // The damaged key can be deleted: the link goes, never what it leads to.
        EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Linked"), ERROR_SUCCESS);
        struct stat st;
        EXPECT_NE(::lstat(key.c_str(), &st), 0);
        EXPECT_EQ(Slurp(outside + "/values.reg"), "\"Secret\"=\"kept\"\n");
        EXPECT_EQ(Slurp(outside + "/Sub/values.reg"), "\"Deeper\"=\"kept\"\n");
        EXPECT_FALSE(::access((outside + "/New").c_str(), F_OK) == 0);
        EXPECT_EQ(winsim::OpenHandleCount(), 0u);
    }
}

TEST(WinsimStore, BookkeepingStaysInStagingAndADeadProcessesDebrisGoesAtTheNextStart) {
    TempMachine m;
    std::string staging = m.dir() + "/staging";
    ::mkdir(staging.c_str(), 0755);
    // A process that was killed with this process's id (ids are reused):
    // a file half written and a key half deleted.
    std::string mine = std::to_string(::getpid()) + "-", dead = staging + "/" + mine + "dead";
    ASSERT_EQ(::mkdir(dead.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((dead + "/7").c_str(), 0755), 0);
    ASSERT_TRUE(winsim::WriteFileAtomic(dead + "/7/values.reg", "\"Driver\"=\"vormo.dll\"\n"));
    ASSERT_TRUE(winsim::WriteFileAtomic(dead + "/8", "half"));
    // A process that is alive and holds a folder of its own.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t alive = ::fork();
    if (alive == 0) {
        winsim::OpenMachine(m.dir());
        winsim::reg::SetValue("registry/HKCU", "Volatile Environment", "Alive", winsim::reg::Sz("yes"));
        char c = 'r';
        ssize_t ignored = ::write(ready[1], &c, 1);
        (void)ignored;
        for (;;) ::pause();
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    // The folders in staging, but this process's own.
    auto entries = [&] {
        std::vector<std::string> names;
        if (DIR* d = ::opendir(staging.c_str())) {
            while (dirent* e = ::readdir(d)) {
                std::string n = e->d_name;
                bool own = n.rfind(mine, 0) == 0 && staging + "/" + n != dead;
                if (n != "." && n != ".." && !own) names.push_back(n);
            }
            ::closedir(d);
        }
        return names;
    };
    m.Reopen();
    std::vector<std::string> left = entries();
    EXPECT_EQ(left.size(), 1u);  // the live process's folder, and nothing of the dead one
    for (const auto& n : left) EXPECT_EQ(n.rfind(std::to_string(alive) + "-", 0), 0u) << n;
    ::kill(alive, SIGKILL);
    ::waitpid(alive, nullptr, 0);
    m.Reopen();
    EXPECT_TRUE(entries().empty());

    // Names that look like bookkeeping are names like any other.
    m.Write("C:\\Fonts\\Vormo.tmp.ttf", "font");
    m.Write("C:\\Fonts\\Lab.deleted.1", "file");
    ASSERT_TRUE(winsim::reg::CreateKey("registry/HKLM", "SOFTWARE\\Lab.deleted.1\\Sub.tmp.2"));
    EXPECT_EQ(winsim::reg::Subkeys("registry/HKLM", "SOFTWARE\\Lab.deleted.1"), std::vector<std::string>{"Sub.tmp.2"});
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA("C:\\Fonts\\*", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    std::vector<std::string> found;
    do {
        found.push_back(data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    EXPECT_EQ(found, (std::vector<std::string>{".", "..", "Lab.deleted.1", "Vormo.tmp.ttf"}));

    // Writes, copies and deletions leave nothing beside what they touch.
    std::vector<std::string> before;
    List(m.dir() + "/drive_c", "", &before);
    List(m.dir() + "/registry", "", &before);
    ASSERT_TRUE(winsim::reg::SetValue("registry/HKLM", "SOFTWARE\\Lab.deleted.1", "Value", winsim::reg::Dword(1)));
    ASSERT_TRUE(CopyFileA("C:\\Fonts\\Vormo.tmp.ttf", "C:\\Fonts\\Copy.ttf", FALSE));
    ASSERT_TRUE(CopyFileA("C:\\Fonts\\Lab.deleted.1", "C:\\Fonts\\Copy.ttf", FALSE));
    EXPECT_EQ(m.Read("C:\\Fonts\\Copy.ttf"), "file");
    ASSERT_TRUE(winsim::reg::DeleteTree("registry/HKLM", "SOFTWARE\\Lab.deleted.1\\Sub.tmp.2"));
    std::vector<std::string> after;
    List(m.dir() + "/drive_c", "", &after);
    List(m.dir() + "/registry", "", &after);
    before.push_back("/Fonts/Copy.ttf");
    before.push_back("/HKLM/SOFTWARE/Lab.deleted.1/values.reg");
    auto deleted = std::find(before.begin(), before.end(), "/HKLM/SOFTWARE/Lab.deleted.1/Sub.tmp.2/");
    ASSERT_NE(deleted, before.end());
    before.erase(deleted);
    for (const auto& n : after)
        if (std::find(before.begin(), before.end(), n) == before.end()) ADD_FAILURE() << "extra " << n;
    for (const auto& n : before)
        if (std::find(after.begin(), after.end(), n) == after.end()) ADD_FAILURE() << "missing " << n;
    winsim::CloseMachine();
    mine = "(none)";  // this process's own folder counts too now
    EXPECT_TRUE(entries().empty());
}

TEST(WinsimStore, RmdirThatLeavesPartOfTheTreeExitsWithTheError) {
    const struct Row {
        const char* what;
        bool deep;             // a folder whose host path is longer than the host allows
        const char* inUse;     // a file DeleteFileA's fault rule keeps ("" for none)
        long exitCode;
        const char* stays;     // Windows path that stays
    } rows[] = {
        {"a tree too deep for the host", true, "", ERROR_FILENAME_EXCED_RANGE, "C:\\Tree\\deep"},
        {"a file in use", false, "in-use.dat", ERROR_SHARING_VIOLATION, "C:\\Tree\\busy\\in-use.dat"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempMachine m;
        m.Write("C:\\Tree\\gone.txt", "x");
        m.Write("C:\\Tree\\busy\\in-use.dat", "y");
        m.Write("C:\\Tree\\deep\\top.txt", "z");
        if (row.deep) {
            int fd = ::open(m.Host("C:\\Tree\\deep").c_str(), O_RDONLY | O_DIRECTORY);
            ASSERT_GE(fd, 0);
            std::string name(200, 'd');
            for (int level = 0; level < 25; ++level) {
                ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
                int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
                ::close(fd);
                ASSERT_GE(next, 0);
                fd = next;
            }
            ::close(fd);
        }
        if (*row.inUse) winsim::AddFault("DeleteFileA", row.inUse, ERROR_SHARING_VIOLATION);
        EXPECT_EQ(RunCommand("cmd.exe /c rmdir \"C:\\Tree\" /S /Q"), row.exitCode);
        EXPECT_FALSE(m.Exists("C:\\Tree\\gone.txt"));
        EXPECT_TRUE(m.Exists(row.stays));
        EXPECT_EQ(winsim::OpenHandleCount(), 0u);
    }
}

TEST(WinsimStore, OwnFilesThatAreLinksAreRefusedNamedAndNeverWrittenThrough) {
    testing_support::OutsideFolder outside;
    outside.Write("file", "kept");
    outside.Write("folder/file", "kept");
    const std::string before = testing_support::TreeSnapshot(outside.dir());
    // Found when the machine is opened: the machine is refused, by every
    // program, naming the link.
    const struct Row {
        const char* name;
        bool folder;
    } rows[] = {{"changes", false},     {"journal.log", false}, {"faults", false},
                {"machine.conf", false}, {"attributes", false},  {"mutex", true},
                {"staging", true},       {"mutex/global_vormoclientinstallmutex", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string dir = testing_support::NewMachineDir(), path = dir + "/" + row.name;
        ::mkdir((dir + "/mutex").c_str(), 0755);
        testing_support::RemoveTree(path);
        ASSERT_EQ(::symlink((outside.dir() + (row.folder ? "/folder" : "/file")).c_str(), path.c_str()), 0);
        std::string error;
        EXPECT_FALSE(winsim::OpenMachine(dir, &error));
        EXPECT_EQ(error, path + ": a link in place of winsim's own file: never followed (remove it)");
        auto r = testing_support::RunInstaller(dir, {});
        EXPECT_EQ(r.exitCode, 255);
        EXPECT_EQ(r.err, "winsim: " + error + "\n");
        std::string quiet = " >/dev/null 2>&1";
        EXPECT_NE(std::system((std::string(WINSIM_BINARY) + " show '" + dir + "'" + quiet).c_str()), 0);
        EXPECT_NE(std::system((std::string(WINSIM_BINARY) + " fault '" + dir + "' 'DeleteMonitorA Vormo 170'" + quiet).c_str()), 0);
        EXPECT_EQ(testing_support::TreeSnapshot(outside.dir()), before);
        testing_support::RemoveTree(dir);
    }
    // Made while a process holds the machine open: the journal, the mutex
    // folder and its files are never written through.
    TempMachine m;
    for (const char* name : {"/journal.log", "/mutex"}) {
        testing_support::RemoveTree(m.dir() + name);
        ASSERT_EQ(::symlink((outside.dir() + (name[1] == 'm' ? "/folder" : "/file")).c_str(), (m.dir() + name).c_str()), 0);
    }
    winsim::MachineChangedOutside();
    winsim::Journal("a line");
    EXPECT_EQ(CreateMutexA(nullptr, TRUE, "Global\\Other"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(testing_support::TreeSnapshot(outside.dir()), before);
}
