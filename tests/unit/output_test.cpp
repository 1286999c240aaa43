// The output layer and the edition profile, in-process.
#include <gtest/gtest.h>

#include <string>

#include "base/edition.h"
#include "base/run_plan.h"
#include "run/run_driver.h"
#include "base/output.h"
#include "support/machine.h"

using testing_support::TempMachine;

TEST(Output, TextWithPercentSignsIsWrittenAsItStands) {
    TempMachine m;
    ASSERT_TRUE(OpenInstallLog(nullptr));
    testing_support::BeginCapture();
    PrintText("100% %s %n done\n");
    PrintFormatted("server %s\n", "srv%d%%");
    ReportCheckFailure("a%sb");
    std::string out = testing_support::EndCapture();
    CloseInstallLog();
    EXPECT_EQ(out, "100% %s %n done\nserver srv%d%%\nERROR While Checking 'a%sb'.\n");
    EXPECT_EQ(m.Read("C:\\Windows\\VOPortInstall.log"),
              "100% %s %n done\r\nserver srv%d%%\r\nERROR While Checking 'a%sb'.\r\n");
}

TEST(Output, FormattedLineIsCutAt1023Characters) {
    TempMachine m;
    std::string longText(3000, 'x');
    testing_support::BeginCapture();
    PrintFormatted("%s\n", longText.c_str());
    std::string out = testing_support::EndCapture();
    EXPECT_EQ(out, std::string(1023, 'x'));
}

TEST(Output, ClosedLogGetsNothingMore) {
    TempMachine m;
    ASSERT_TRUE(OpenInstallLog("C:\\Dist\\x.log"));
    testing_support::BeginCapture();
    PrintText("one\n");
    CloseInstallLog();
    PrintText("two\n");
    std::string out = testing_support::EndCapture();
    EXPECT_EQ(out, "one\ntwo\n");
    EXPECT_EQ(m.Read("C:\\Dist\\x.log"), "one\r\n");
}

TEST(Output, LogThatIsAFolderCannotBeOpened) {
    TempMachine m;
    EXPECT_FALSE(OpenInstallLog("C:\\Dist\\FontFiles"));
    EXPECT_FALSE(IsInstallLogOpen());
}

TEST(Edition, ConfigFilePathIsCutAt1023) {
    std::string longPath(2000, 'p');
    PortSectionSource source;
    SetConfigFilePath(&source, longPath.c_str());
    EXPECT_EQ(std::string(source.configFilePath), std::string(1023, 'p'));
    SetConfigFilePath(&source, nullptr);
    EXPECT_STREQ(source.configFilePath, "");
}

TEST(Edition, EnterpriseSwitchesAllTwelveSlots) {
    EXPECT_STREQ(kStandardEdition.productWord, "Vormo");
    RunOptions options;
    options.enterprise = true;
    const EditionProfile& e = MakeRunPlan(options).edition;
    const char* slots[] = {e.portInstallCfgKey, e.productWord, e.portNameFormat, e.iniFileName,
                           e.uiDll32,           e.uiDll64,     e.monitorDll32,   e.monitorDll64,
                           e.cairoDll32,        e.cairoDll64,  e.fontFolder,     e.productFolder};
    const char* expected[] = {"SOFTWARE\\Oxlen Corporation\\VormoE\\PortInstallCfg",
                              "VormoE", "VormoE%03d", "Vormo.ini", "VORMOEUI.DLL", "VORMOE64UI.DLL", "VORMOE.DLL",
                              "VORMOE64.DLL", "VormoECairoLib.DLL", "VormoECairoLib64.DLL",
                              "Oxlen\\Vormo Client Enterprise\\Font", "Oxlen\\Vormo Client Enterprise"};
    for (int i = 0; i < 12; ++i) EXPECT_STREQ(slots[i], expected[i]) << "slot " << i + 1;
}
