// Symbolic links below drive_c are reparse points: every deletion and every
// walk of winsim removes a link as a link and never reaches what it leads to.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "platform/handles.h"
#include "support/machine.h"

using testing_support::RunCommand;
using testing_support::TempMachine;

namespace {

// A machine whose C:\Tree holds "folder", a link to a host folder outside the
// machine's drive that holds inside.txt, and "file", a link to a host file
// there; the key HKCU\Software\Tree's folder holds a link to that folder too.
struct LinkedMachine {
    TempMachine m;
    std::string outside = m.dir() + "/outside";
    LinkedMachine() {
        m.Write("C:\\Tree\\own.txt", "own");
        EXPECT_EQ(::mkdir(outside.c_str(), 0755), 0);
        EXPECT_EQ(::mkdir((outside + "/folder").c_str(), 0755), 0);
        EXPECT_TRUE(winsim::WriteFileAtomic(outside + "/folder/inside.txt", "inside"));
        EXPECT_TRUE(winsim::WriteFileAtomic(outside + "/file.txt", "file"));
        EXPECT_EQ(::symlink((outside + "/folder").c_str(), m.Host("C:\\Tree\\folder").c_str()), 0);
        EXPECT_EQ(::symlink((outside + "/file.txt").c_str(), m.Host("C:\\Tree\\file").c_str()), 0);
        EXPECT_TRUE(winsim::reg::CreateKey("registry/HKCU", "Software\\Tree"));
        std::string key = m.dir() + "/registry/HKCU/Software/Tree";
        EXPECT_EQ(::symlink((outside + "/folder").c_str(), (key + "/linked").c_str()), 0);
    }
    bool TargetsIntact() const {
        return ::access((outside + "/folder/inside.txt").c_str(), F_OK) == 0 &&
               ::access((outside + "/file.txt").c_str(), F_OK) == 0;
    }
};

}  // namespace

TEST(WinsimLinks, EachDeletionRemovesTheLinkAndNeverWhatItLeadsTo) {
    const struct Row {
        const char* what;
        std::function<bool()> remove;
        bool succeeds;
        DWORD error;       // when it fails
        const char* gone;  // the path that is gone afterwards ("" for none)
    } rows[] = {
        {"DeleteFileA on a link to a file", [] { return DeleteFileA("C:\\Tree\\file") != FALSE; }, true, 0,
         "C:\\Tree\\file"},
        {"DeleteFileA on a link to a folder", [] { return DeleteFileA("C:\\Tree\\folder") != FALSE; }, false,
         ERROR_ACCESS_DENIED, ""},
        {"RemoveDirectoryA on a link to a folder", [] { return RemoveDirectoryA("C:\\Tree\\folder") != FALSE; }, true,
         0, "C:\\Tree\\folder"},
        {"RemoveDirectoryA on a link to a file", [] { return RemoveDirectoryA("C:\\Tree\\file") != FALSE; }, false,
         ERROR_DIRECTORY, ""},
        {"rmdir /S /Q of a tree holding links", [] { return RunCommand("cmd.exe /c rmdir \"C:\\Tree\" /S /Q") == 0; },
         true, 0, "C:\\Tree"},
        {"rmdir /S /Q of a link to a folder",
         [] { return RunCommand("cmd.exe /c rmdir \"C:\\Tree\\folder\" /S /Q") == 0; }, true, 0, "C:\\Tree\\folder"},
        {"deleting a key whose folder holds a link",
         [] { return RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Tree") == ERROR_SUCCESS; }, true, 0, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        LinkedMachine linked;
        SetLastError(0);
        EXPECT_EQ(row.remove(), row.succeeds);
        if (!row.succeeds) {
            EXPECT_EQ(GetLastError(), row.error);
        }
        if (*row.gone) {
            EXPECT_FALSE(linked.m.Exists(row.gone));
        }
        EXPECT_TRUE(linked.TargetsIntact());
        EXPECT_EQ(winsim::OpenHandleCount(), 0u);
    }
}
