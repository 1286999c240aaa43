// What a process keeps of the machine folder (listings, key values, the port
// table, attributes, profile files) never hides a change: another process's
// change, made while this one holds the machine open, is seen at the next call.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "support/machine.h"
#include "winsim/spooler.h"

using testing_support::TempMachine;

namespace {

const char kHive[] = "registry/HKLM";

// Runs a change in a child process of the same machine, as another
// installer would make it.
void InAnotherProcess(const std::function<bool()>& change) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(change() ? 0 : 1);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

std::string ValueText(const char* key, const char* name) {
    winsim::RegValue v;
    return winsim::reg::GetValue(kHive, key, name, &v) ? winsim::reg::SzText(v) : "(none)";
}

std::string PortNames() {
    std::string names;
    for (const auto& port : winsim::ListPorts(kHive)) names += port.name + ",";
    return names;
}

std::string ProfileValue() {
    char text[64];
    GetPrivateProfileStringA("1", "ServerIP", "(none)", text, sizeof text, "C:\\Dist\\Vormo.ini");
    return text;
}

TEST(WinsimStoreCache, AnotherProcessesChangeIsSeenAtTheNextCall) {
    const struct Row {
        const char* what;
        std::function<std::string()> look;  // what this process sees, before and after
        std::function<bool()> change;       // made by the other process
        const char* after;
    } rows[] = {
        {"a value rewritten", [] { return ValueText("SOFTWARE\\Cached", "Name"); },
         [] { return winsim::reg::SetValue(kHive, "SOFTWARE\\Cached", "Name", winsim::reg::Sz("new")); }, "new"},
        {"a key made, looked up in another case",
         [] { return std::string(winsim::reg::KeyExists(kHive, "software\\cached\\SUB") ? "key" : "no key"); },
         [] { return winsim::reg::CreateKey(kHive, "SOFTWARE\\Cached\\Sub"); }, "key"},
        {"a key deleted", [] { return std::string(winsim::reg::KeyExists(kHive, "SOFTWARE\\Cached") ? "key" : "no key"); },
         [] { return winsim::reg::DeleteTree(kHive, "SOFTWARE\\Cached"); }, "no key"},
        {"a port added", PortNames,
         [] { return winsim::reg::CreateKey(kHive, winsim::PortsKey("Local Port") + "\\ZZZ:"); },
         "COM1:,COM2:,COM3:,COM4:,FILE:,LPT1:,LPT2:,LPT3:,nul:,PORTPROMPT:,ZZZ:,"},
        {"a file made, named in another case",
         [] { return std::to_string(GetFileAttributesA("C:\\DIST\\NEW.TXT") != INVALID_FILE_ATTRIBUTES); },
         [] { return winsim::WriteFileAtomic(winsim::MapPath("C:\\Dist") + "/new.txt", "new"); }, "1"},
        {"a file made read-only",
         [] { return std::to_string(GetFileAttributesA("C:\\Dist\\Vormo.ini") & FILE_ATTRIBUTE_READONLY); },
         [] { return SetFileAttributesA("C:\\Dist\\Vormo.ini", FILE_ATTRIBUTE_READONLY) != FALSE; }, "1"},
        {"a profile file rewritten to the same size", ProfileValue,
         [] { return winsim::WriteFileAtomic(winsim::MapPath("C:\\Dist\\Vormo.ini"), "[1]\nServerIP=10.0.0.2\n"); },
         "10.0.0.2"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempMachine m;
        m.Write("C:\\Dist\\Vormo.ini", "[1]\nServerIP=10.0.0.1\n");
        ASSERT_TRUE(winsim::reg::CreateKey(kHive, "SOFTWARE\\Cached"));
        ASSERT_TRUE(winsim::reg::SetValue(kHive, "SOFTWARE\\Cached", "Name", winsim::reg::Sz("old")));
        std::string before = row.look();
        ASSERT_NE(before, row.after);
        InAnotherProcess(row.change);
        EXPECT_EQ(row.look(), row.after);
    }
}

TEST(WinsimStoreCache, AWriteBackKeepsWhatAnotherProgramWroteAndNeverGoesThroughALink) {
    const char* const key = "SOFTWARE\\Cached\\Sub";
    // Each edit is made with another program, as a person makes it: no
    // winsim call, the change counter stays where it was.
    enum Edit { kAppend, kReplace, kLinkTheKey, kLinkAKeyAbove };
    const struct Row {
        Edit edit;
        bool deleteName;       // the write: "Name" deleted, else "Mine" set
        const char* expected;  // values.reg afterwards; null: the write is refused
    } rows[] = {
        {kAppend, false, "\"Name\"=\"old\"\n\"ByHand\"=\"kept\"\n\"Mine\"=\"x\"\n"},
        {kAppend, true, "\"ByHand\"=\"kept\"\n"},
        {kReplace, false, "\"Name\"=\"edited\"\n\"Mine\"=\"x\"\n"},
        {kLinkTheKey, false, nullptr},
        {kLinkAKeyAbove, true, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.edit);
        TempMachine m;
        testing_support::OutsideFolder outside;
        ASSERT_TRUE(winsim::reg::CreateKey(kHive, key));
        ASSERT_TRUE(winsim::reg::SetValue(kHive, key, "Name", winsim::reg::Sz("old")));
        ASSERT_EQ(ValueText(key, "Name"), "old");  // kept by this process now
        const std::string values = m.dir() + "/registry/HKLM/SOFTWARE/Cached/Sub/values.reg";
        if (row.edit == kAppend) std::ofstream(values, std::ios::app) << "\"ByHand\"=\"kept\"\n";
        if (row.edit == kReplace) {
            // As an editor saves it: a new file renamed into place.
            std::ofstream(outside.dir() + "/saved") << "\"Name\"=\"edited\"\n";
            ASSERT_EQ(::rename((outside.dir() + "/saved").c_str(), values.c_str()), 0);
        }
        if (row.edit == kLinkTheKey || row.edit == kLinkAKeyAbove) {
            // The key's folder, or one above it, moved out and a link put in its place.
            std::string name = row.edit == kLinkTheKey ? "Sub" : "Cached";
            std::string folder = values.substr(0, values.find("/" + name + "/") + 1 + name.size());
            ASSERT_EQ(::rename(folder.c_str(), (outside.dir() + "/" + name).c_str()), 0);
            ASSERT_EQ(::symlink((outside.dir() + "/" + name).c_str(), folder.c_str()), 0);
        }
        const std::string before = testing_support::TreeSnapshot(outside.dir());
        DWORD error = 0;
        bool written = row.deleteName ? winsim::reg::DeleteValue(kHive, key, "Name", &error)
                                      : winsim::reg::SetValue(kHive, key, "Mine", winsim::reg::Sz("x"), &error);
        EXPECT_EQ(written, row.expected != nullptr);
        std::string text;
        if (row.expected) {
            EXPECT_TRUE(winsim::ReadWholeFile(values, &text));
            EXPECT_EQ(text, row.expected);
        } else {
            // A key that became a link is no key, as any damaged key.
            EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
            EXPECT_EQ(testing_support::TreeSnapshot(outside.dir()), before);
        }
    }
}

// The machine's change count, as DIR/changes holds it.
uint64_t Count(const std::string& dir) {
    uint64_t count = 0;
    int fd = ::open((dir + "/changes").c_str(), O_RDONLY);
    if (fd >= 0 && ::pread(fd, &count, sizeof count, 0) != static_cast<ssize_t>(sizeof count)) count = 0;
    if (fd >= 0) ::close(fd);
    return count;
}

TEST(WinsimStoreCache, ACounterCutShortWhileTheMachineIsOpenIsMadeWholeAndChangesStillShow) {
    for (off_t length : {0, 3}) {
        SCOPED_TRACE(length);
        TempMachine m;
        ASSERT_TRUE(winsim::reg::SetValue(kHive, "SOFTWARE", "Name", winsim::reg::Sz("old")));
        ASSERT_EQ(ValueText("SOFTWARE", "Name"), "old");  // kept by this process now
        const uint64_t seen = Count(m.dir());
        const std::string dir = m.dir();
        // Another process finds the counter cut short in the middle of its
        // changes; as many changes again as the count had would bring a
        // count that started again from zero back to this process's.
        EXPECT_EXIT(
            {
                bool ok = ::truncate((dir + "/changes").c_str(), length) == 0 &&
                          winsim::reg::SetValue(kHive, "SOFTWARE", "Name", winsim::reg::Sz("new"));
                for (uint64_t i = 1; ok && i < seen && Count(dir) != seen; ++i)
                    ok = winsim::reg::SetValue(kHive, "SOFTWARE", "Other", winsim::reg::Dword(static_cast<DWORD>(i)));
                // Cut to nothing, it is eight bytes long again; three bytes
                // still hold the page that is mapped.
                struct stat st;
                ok = ok && ::stat((dir + "/changes").c_str(), &st) == 0 && st.st_size == (length == 0 ? 8 : length);
                std::_Exit(ok ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "");
        EXPECT_EQ(ValueText("SOFTWARE", "Name"), "new");
    }
}

}  // namespace
