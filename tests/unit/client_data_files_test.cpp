// The fonts and the subnet mapping file: placed below the Program Files
// folder and removed again.
#include <gtest/gtest.h>

#include <string>

#include "client/client_files.h"
#include "client/locations.h"
#include "client_test_support.h"
#include "base/edition.h"

using namespace client_test;
using testing_support::TempMachine;

namespace {

struct Outcome {
    bool result;
    std::string out;
};

Outcome RunStep(bool (*step)(const EditionProfile&), const EditionProfile& edition = kStandardEdition) {
    testing_support::BeginCapture();
    bool result = step(edition);
    return {result, testing_support::EndCapture()};
}

const char kEnterpriseProduct[] = "C:\\Program Files (x86)\\Oxlen\\Vormo Client Enterprise";
const char kEnterpriseFonts[] = "C:\\Program Files (x86)\\Oxlen\\Vormo Client Enterprise\\Font";

}  // namespace

TEST(ClientDataFiles, NothingToInstallIsSilentSuccess) {
    TempMachine m;
    EnterDistribution();
    m.Remove("C:\\Dist\\FontFiles");
    m.Remove("C:\\Dist\\server_subnet.csv");
    Outcome fonts = RunStep(&InstallFontFiles);
    Outcome subnet = RunStep(&InstallSubnetMappingFile);
    EXPECT_TRUE(fonts.result);
    EXPECT_TRUE(subnet.result);
    EXPECT_EQ(fonts.out + subnet.out, "");
    EXPECT_FALSE(m.Exists("C:\\Program Files (x86)\\Oxlen"));
}

TEST(ClientDataFiles, FontsAndSubnetFileOfTheSampleDistribution) {
    TempMachine m;
    EnterDistribution();
    Outcome fonts = RunStep(&InstallFontFiles);
    Outcome subnet = RunStep(&InstallSubnetMappingFile);
    EXPECT_TRUE(fonts.result);
    EXPECT_TRUE(subnet.result);
    EXPECT_EQ(fonts.out, "  - Installing Font Files\n");
    EXPECT_EQ(subnet.out, "  - Installing Subnet Mapping File\n");
    for (const char* font : {"VormoMono.ttf", "VormoSans.ttf", "VormoSans-Bold.ttf"})
        EXPECT_EQ(m.Read(std::string(kFonts) + "\\" + font), m.Read(std::string("C:\\Dist\\FontFiles\\") + font));
    EXPECT_EQ(m.Read(std::string(kProduct) + "\\server_subnet.csv"), m.Read("C:\\Dist\\server_subnet.csv"));
    // Once more: everything is overwritten in place.
    m.Write("C:\\Dist\\server_subnet.csv", "10.0.0.0/8;srv\n");
    EXPECT_TRUE(RunStep(&InstallFontFiles).result);
    EXPECT_TRUE(RunStep(&InstallSubnetMappingFile).result);
    EXPECT_EQ(m.Read(std::string(kProduct) + "\\server_subnet.csv"), "10.0.0.0/8;srv\n");
}

TEST(ClientDataFiles, FontSourceEmptyAFileOrWithASubfolder) {
    {
        TempMachine m;
        EnterDistribution();
        m.Remove("C:\\Dist\\FontFiles");
        ASSERT_TRUE(CreateDirectoryA("C:\\Dist\\FontFiles", nullptr));
        Outcome fonts = RunStep(&InstallFontFiles);
        EXPECT_TRUE(fonts.result);
        EXPECT_EQ(fonts.out, "  - Installing Font Files\n");
        EXPECT_TRUE(IsFolder(kFonts));
    }
    {
        // A file named "FontFiles" counts as a font source too, with nothing in it.
        TempMachine m;
        EnterDistribution();
        m.Remove("C:\\Dist\\FontFiles");
        m.Write("C:\\Dist\\FontFiles", "not a folder");
        Outcome fonts = RunStep(&InstallFontFiles);
        EXPECT_TRUE(fonts.result);
        EXPECT_EQ(fonts.out, "  - Installing Font Files\n");
        EXPECT_TRUE(IsFolder(kFonts));
    }
    {
        TempMachine m;
        EnterDistribution();
        m.Write("C:\\Dist\\FontFiles\\Extra\\Hidden.ttf", "x");
        EXPECT_TRUE(RunStep(&InstallFontFiles).result);
        EXPECT_TRUE(m.Exists(std::string(kFonts) + "\\VormoMono.ttf"));
        EXPECT_FALSE(m.Exists(std::string(kFonts) + "\\Extra"));
        EXPECT_FALSE(m.Exists(std::string(kFonts) + "\\Hidden.ttf"));
    }
}

TEST(ClientDataFiles, AReadOnlyFontInTheWayFailsTheFontStep) {
    TempMachine m;
    EnterDistribution();
    m.Write(std::string(kFonts) + "\\VormoMono.ttf", "old");
    ASSERT_TRUE(SetFileAttributesA((std::string(kFonts) + "\\VormoMono.ttf").c_str(), FILE_ATTRIBUTE_READONLY));
    Outcome fonts = RunStep(&InstallFontFiles);
    EXPECT_FALSE(fonts.result);
    EXPECT_EQ(fonts.out, "  - Installing Font Files\nERROR While Copying File 'VormoMono.ttf'.\n");
    EXPECT_FALSE(m.Exists(std::string(kFonts) + "\\VormoSans.ttf"));
}

TEST(ClientDataFiles, EnterpriseFoldersAndTheMissingProductFolder) {
    {
        // Without fonts nothing makes the Enterprise product folder: the
        // subnet copy fails.
        TempMachine m;
        EnterDistribution();
        m.Remove("C:\\Dist\\FontFiles");
        Outcome fonts = RunStep(&InstallFontFiles, kEnterpriseEdition);
        Outcome subnet = RunStep(&InstallSubnetMappingFile, kEnterpriseEdition);
        EXPECT_TRUE(fonts.result);
        EXPECT_EQ(fonts.out, "");
        EXPECT_FALSE(subnet.result);
        EXPECT_EQ(subnet.out, "  - Installing Subnet Mapping File\nERROR While Copying File 'server_subnet.csv'.\n");
        EXPECT_FALSE(m.Exists(kEnterpriseProduct));
    }
    {
        // With fonts, the font folder's parent is the product folder.
        TempMachine m;
        EnterDistribution();
        EXPECT_TRUE(RunStep(&InstallFontFiles, kEnterpriseEdition).result);
        EXPECT_TRUE(RunStep(&InstallSubnetMappingFile, kEnterpriseEdition).result);
        EXPECT_TRUE(m.Exists(std::string(kEnterpriseFonts) + "\\VormoSans.ttf"));
        EXPECT_TRUE(m.Exists(std::string(kEnterpriseProduct) + "\\server_subnet.csv"));
        EXPECT_FALSE(m.Exists(kProduct));
        EXPECT_TRUE(RemoveSubnetMappingFile(kEnterpriseEdition));
        EXPECT_TRUE(RemoveFontFiles(kEnterpriseEdition));
        EXPECT_FALSE(m.Exists("C:\\Program Files (x86)\\Oxlen"));
    }
}

TEST(ClientDataFiles, InstallerStartedFromTheProductFolderCopiesNothing) {
    TempMachine m;
    m.Write(std::string(kProduct) + "\\server_subnet.csv", "in place");
    // Another letter case than the registry gives.
    ASSERT_TRUE(SetCurrentDirectoryA("c:\\PROGRAM FILES (X86)\\oxlen\\VORMO client"));
    winsim::AddFault("CopyFileA", "*", ERROR_ACCESS_DENIED);  // a copy would fail
    Outcome subnet = RunStep(&InstallSubnetMappingFile);
    EXPECT_TRUE(subnet.result);
    EXPECT_EQ(subnet.out, "  - Installing Subnet Mapping File\n");
    EXPECT_EQ(m.Read(std::string(kProduct) + "\\server_subnet.csv"), "in place");
    // A different folder that only begins like it is not the product folder.
    m.Write(std::string(kProduct) + " 2\\server_subnet.csv", "elsewhere");
    ASSERT_TRUE(SetCurrentDirectoryA((std::string(kProduct) + " 2").c_str()));
    subnet = RunStep(&InstallSubnetMappingFile);
    EXPECT_FALSE(subnet.result);
    EXPECT_EQ(subnet.out, "  - Installing Subnet Mapping File\nERROR While Copying File 'server_subnet.csv'.\n");
    // Letters beyond ASCII are folded as the ANSI code page folds them.
    SetProgramFilesDir("C:\\Programm\xE9");
    m.Write("C:\\Programm\xE9\\Oxlen\\Vormo Client\\server_subnet.csv", "in place");
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\PROGRAMM\xC9\\Oxlen\\Vormo Client"));
    subnet = RunStep(&InstallSubnetMappingFile);
    EXPECT_TRUE(subnet.result);
    EXPECT_EQ(subnet.out, "  - Installing Subnet Mapping File\n");
}

TEST(ClientDataFiles, NoProgramFilesFolder) {
    TempMachine m;
    EnterDistribution();
    SetProgramFilesDir("");
    Outcome fonts = RunStep(&InstallFontFiles);
    Outcome subnet = RunStep(&InstallSubnetMappingFile);
    EXPECT_FALSE(fonts.result);
    EXPECT_FALSE(subnet.result);
    EXPECT_EQ(fonts.out, "  - Installing Font Files\n");
    EXPECT_EQ(subnet.out, "  - Installing Subnet Mapping File\n");
    EXPECT_FALSE(RemoveSubnetMappingFile(kStandardEdition));
    EXPECT_FALSE(RemoveFontFiles(kStandardEdition));
}

TEST(ClientDataFiles, RemovalTakesTheFoldersThatAreLeftEmpty) {
    TempMachine m;
    EnterDistribution();
    ASSERT_TRUE(RunStep(&InstallFontFiles).result);
    ASSERT_TRUE(RunStep(&InstallSubnetMappingFile).result);
    m.Write(std::string(kClient) + "\\Vormo Client.exe", "client");
    Outcome subnet = RunStep(&RemoveSubnetMappingFile);
    Outcome fonts = RunStep(&RemoveFontFiles);
    EXPECT_TRUE(subnet.result);
    EXPECT_TRUE(fonts.result);
    EXPECT_EQ(subnet.out + fonts.out, "");
    EXPECT_FALSE(m.Exists(std::string(kProduct) + "\\server_subnet.csv"));
    EXPECT_FALSE(m.Exists(kFonts));
    // The client folder still holds files: the product and maker's folders stay.
    EXPECT_TRUE(IsFolder(kClient));
    m.Remove(kClient);
    EXPECT_TRUE(RemoveFontFiles(kStandardEdition));  // the font folder is gone already
    EXPECT_FALSE(m.Exists("C:\\Program Files (x86)\\Oxlen"));
    EXPECT_TRUE(IsFolder("C:\\Program Files (x86)"));
    // Twice: nothing left to do, still true.
    EXPECT_TRUE(RemoveSubnetMappingFile(kStandardEdition));
    EXPECT_TRUE(RemoveFontFiles(kStandardEdition));
}

TEST(ClientDataFiles, AReadOnlyFontStaysAtUninstallation) {
    TempMachine m;
    EnterDistribution();
    ASSERT_TRUE(RunStep(&InstallFontFiles).result);
    ASSERT_TRUE(SetFileAttributesA((std::string(kFonts) + "\\VormoSans-Bold.ttf").c_str(), FILE_ATTRIBUTE_READONLY));
    Outcome fonts = RunStep(&RemoveFontFiles);
    EXPECT_TRUE(fonts.result);
    EXPECT_EQ(fonts.out, "");
    // The deletion stops at it: the file before is gone, the one after stays.
    EXPECT_FALSE(m.Exists(std::string(kFonts) + "\\VormoMono.ttf"));
    EXPECT_TRUE(m.Exists(std::string(kFonts) + "\\VormoSans-Bold.ttf"));
    EXPECT_TRUE(m.Exists(std::string(kFonts) + "\\VormoSans.ttf"));
    EXPECT_TRUE(IsFolder(kFonts));
}
