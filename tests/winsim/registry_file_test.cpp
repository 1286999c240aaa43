// A key's values.reg as a person or regedit writes it: every form is read,
// a value the installer does not touch keeps its lines, and a file that does
// not parse is refused with its line, by the API and by `winsim show`.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "platform/handles.h"
#include "support/machine.h"

using testing_support::TempMachine;

namespace {

// HKCU\Software\KEY with a values.reg of the given text, on the open machine.
struct KeyWithFile {
    std::string path, file;
    KeyWithFile(const TempMachine& m, const std::string& key, const std::string& text)
        : path("Software\\" + key), file(m.dir() + "/registry/HKCU/Software/" + key + "/values.reg") {
        EXPECT_TRUE(winsim::reg::CreateKey("registry/HKCU", path));
        EXPECT_TRUE(winsim::WriteFileAtomic(file, text));
    }
    std::string Text() const {
        std::string text;
        EXPECT_TRUE(winsim::ReadWholeFile(file, &text));
        return text;
    }
    LSTATUS Query(const char* name, DWORD* type, std::string* data) const {
        platform::RegKey key;
        LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.out());
        if (status != ERROR_SUCCESS) return status;
        char buffer[64];
        DWORD size = sizeof buffer;
        status = RegQueryValueExA(key.get(), name, nullptr, type, reinterpret_cast<LPBYTE>(buffer), &size);
        if (status == ERROR_SUCCESS) data->assign(buffer, size);
        return status;
    }
    LSTATUS Set(const char* name, const std::string& text) const {
        platform::RegKey key;
        LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_WRITE, key.out());
        if (status != ERROR_SUCCESS) return status;
        return RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    }
};

}  // namespace

TEST(WinsimRegistryFile, EachFormReadsAsRegeditMeansIt) {
    const struct Row {
        const char* text;
        const char* name;
        DWORD type;
        std::string data;
    } rows[] = {
        {"\"Path\"=\"C:\\\\app.exe\"\n", "Path", REG_SZ, std::string("C:\\app.exe\0", 11)},
        {"\"Q\"=\"say \\\"hi\\\"\"\n", "q", REG_SZ, std::string("say \"hi\"\0", 9)},
        {"  \"a\\\\b\" = \"v\"\t; a comment after the data\n", "a\\b", REG_SZ, std::string("v\0", 2)},
        {"@=\"default\"\r\n", "", REG_SZ, std::string("default\0", 8)},
        {"\"S\"=\"no line end\"", "S", REG_SZ, std::string("no line end\0", 12)},
        {"\"N\"=dword:0000002a\n", "N", REG_DWORD, std::string("\x2a\0\0\0", 4)},
        {"\"N\"=dword:A ; one digit\n", "N", REG_DWORD, std::string("\x0a\0\0\0", 4)},
        {"\"N\"=dword:FFFFFFFE\n", "N", REG_DWORD, std::string("\xfe\xff\xff\xff", 4)},
        {"\"B\"=hex:\n", "B", REG_BINARY, ""},
        {"\"B\"=hex:00,FF, 10\n", "B", REG_BINARY, std::string("\0\xff\x10", 3)},
        {"\"T\"=hex(1):76,00\n", "T", REG_SZ, std::string("v\0", 2)},
        {"\"E\"=hex(2):43,3a,5c,\\\n  61,70,70,00\n", "E", REG_EXPAND_SZ, std::string("C:\\app\0", 7)},
        {"\"M\"=hex(7):61,00,\\\r\n\t62,00,\\  \r\n  00\r\n", "M", REG_MULTI_SZ, std::string("a\0b\0\0", 5)},
        {"\"L\"=hex:\\\n  01,02\n", "L", REG_BINARY, "\x01\x02"},
        {"\"Z\"=hex(0):\n", "Z", REG_NONE, ""},
        {"\"Q\"=hex(b):01,00,00,00,00,00,00,80\n", "Q", 11 /* REG_QWORD */, std::string("\1\0\0\0\0\0\0\x80", 8)},
        {"\"R\"=hex(8):01\n", "R", 8, "\x01"},
        {"\"F\"=hex(ffffffff):01\n", "F", 0xffffffff, "\x01"},
        {"Windows Registry Editor Version 5.00\r\n\r\n; note\r\n\"A\"=\"x\"\r\n", "A", REG_SZ, std::string("x\0", 2)},
        {"REGEDIT4\n\n\"A\"=dword:1\n\n; the end\n", "A", REG_DWORD, std::string("\1\0\0\0", 4)},
    };
    TempMachine m;
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        KeyWithFile key(m, "Row" + std::to_string(++n), row.text);
        DWORD type = 12345;
        std::string data;
        EXPECT_EQ(key.Query(row.name, &type, &data), ERROR_SUCCESS);
        EXPECT_EQ(type, row.type);
        EXPECT_EQ(data, row.data);
    }
    // Every type from REG_NONE to REG_QWORD in hex(TYPE):.
    for (DWORD t = 0; t <= 11; ++t) {
        char text[32];
        std::snprintf(text, sizeof text, "\"V\"=hex(%x):01\n", t);
        SCOPED_TRACE(text);
        KeyWithFile key(m, "Type" + std::to_string(t), text);
        DWORD type = 12345;
        std::string data;
        EXPECT_EQ(key.Query("V", &type, &data), ERROR_SUCCESS);
        EXPECT_EQ(type, t);
        EXPECT_EQ(data, "\x01");
    }
}

TEST(WinsimRegistryFile, WhatDoesNotParseIsRefusedWithItsLineAndNeverRewritten) {
    const struct Row {
        const char* text;
        const char* where;  // ":LINE: reason" after the file's path
    } rows[] = {
        {"\"a\"=dword:zz\n", ":1: a dword needs 1 to 8 hex digits, not dword:zz"},
        {"\"a\"=dword:123456789\n", ":1: a dword needs 1 to 8 hex digits, not dword:123456789"},
        {"\"a\"=dword:\n", ":1: a dword needs 1 to 8 hex digits, not dword:"},
        {"; c\r\n\"ok\"=dword:1\r\n\"b\"=dword:12 34\r\n", ":3: text after the data: 34"},
        {"\"a\"=hex:01,4g\n", ":1: 4g is not a byte (two hex digits)"},
        {"\"a\"=hex:0102\n", ":1: 0102 is not a byte (two hex digits)"},
        {"\"a\"=hex:01,02,\n", ":1: the byte list ends with a comma (continue it with ,\\)"},
        {"\"a\"=hex:01 02\n", ":1: no comma before 02"},
        {"\"a\"=hex(2):41,\\\n  42,\\\n", ":2: the value continues past the end of the file"},
        {"\"a\"=hex(2):41,\\\n\n42\n", ":2: a continued value goes on with a blank or comment line"},
        {"\"a\"=hex:41\\\n", ":1: a continuation backslash without a comma before it"},
        {"\"a\"=hex(zz):01\n", ":1: the type in hex(TYPE): needs 1 to 8 hex digits, not hex(zz)"},
        {"\"a\"=qword:1\n", ":1: unknown data qword:1: expected \"text\", dword:, hex: or hex(TYPE):"},
        {"\"a\"\n", ":1: no = after the value's name"},
        {"\"a\"=\n", ":1: no data after ="},
        {"\"a\"=\"abc\n", ":1: a quoted text without its closing quote"},
        {"\"a\"=\"C:\\app.exe\"\n", ":1: \\a in a quoted text: regedit's escapes are \\\\ and \\\" only"},
        {"\"a\"=\"x\" y\n", ":1: text after the data: y"},
        {"\"a\"=-\n", ":1: a deletion (=-): values.reg holds values, not changes to them"},
        {"a=1\n", ":1: not a value: a=1"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\Software]\n",
         ":2: a key line [HKEY_CURRENT_USER\\Software]: values.reg holds the values of its own key only (each key is "
         "a folder)"},
        {"\"a\"=\"x\"\n\"A\"=dword:1\n", ":2: the value \"A\" again (first on line 1)"},
        {"\"a\"=\"x\"\r\"b\"=\"y\"\r\n", ":1: a CR without LF after it: a line ends with LF or CR LF"},
        {"\xFF\xFE\"\0a\0\"\0", ":1: a byte-order mark: values.reg is text in the ANSI code page, as REGEDIT4 writes it"},
    };
    TempMachine m;
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        KeyWithFile key(m, "Row" + std::to_string(++n), row.text);
        std::string before = key.Text();
        testing::internal::CaptureStderr();
        DWORD type;
        std::string data;
        EXPECT_EQ(key.Query("a", &type, &data), ERROR_REGISTRY_CORRUPT);
        EXPECT_EQ(key.Set("Other", "value"), ERROR_REGISTRY_CORRUPT);
        // The key opens; only its values are out of reach.
        platform::RegKey handle;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key.path.c_str(), 0, KEY_ALL_ACCESS, handle.out()), ERROR_SUCCESS);
        char name[16];
        DWORD nameSize = sizeof name;
        EXPECT_EQ(RegEnumValueA(handle.get(), 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
                  ERROR_REGISTRY_CORRUPT);
        EXPECT_EQ(RegDeleteValueA(handle.get(), "a"), ERROR_REGISTRY_CORRUPT);
        std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said, "winsim: " + key.file + row.where +
                            ": the key's values can be neither read nor changed (error 1015)\n");
        EXPECT_EQ(key.Text(), before);
    }
}

TEST(WinsimRegistryFile, ValuesTheInstallerDoesNotTouchKeepTheirLines) {
    const std::string other =
        "; OtherApp's entry, by hand\r\n"
        "\"OtherApp\"=hex(2):43,3a,5c,61,\\\r\n"
        "  70,70,2e,65,78,65,00\r\n"
        "\r\n";
    TempMachine m;
    KeyWithFile key(m, "Files", other + "\"Shared\"=\"old\"\r\n; the end\r\n");
    ASSERT_EQ(key.Set("Version", "2"), ERROR_SUCCESS);
    ASSERT_EQ(key.Set("shared", "new"), ERROR_SUCCESS);
    EXPECT_EQ(key.Text(), other + "\"Shared\"=\"new\"\n; the end\r\n\"Version\"=\"2\"\n");
    platform::RegKey handle;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key.path.c_str(), 0, KEY_ALL_ACCESS, handle.out()), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueA(handle.get(), "Shared"), ERROR_SUCCESS);
    EXPECT_EQ(key.Text(), other + "; the end\r\n\"Version\"=\"2\"\n");
    // A name with a line break would break the file: refused.
    EXPECT_EQ(key.Set("Two\nLines", "x"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(key.Text(), other + "; the end\r\n\"Version\"=\"2\"\n");
    DWORD type;
    std::string data;
    ASSERT_EQ(key.Query("OtherApp", &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data, std::string("C:\\app.exe\0", 11));
}

TEST(WinsimRegistryFile, ShowRefusesAMachineWithAFileThatDoesNotParse) {
    TempMachine m;
    ASSERT_TRUE(winsim::reg::CreateKey("registry/HKLM", "SOFTWARE\\Other"));
    std::string file = m.dir() + "/registry/HKLM/SOFTWARE/Other/values.reg";
    ASSERT_TRUE(winsim::WriteFileAtomic(file, "\"Ok\"=dword:1\n\"Count\"=dword:zz\n"));
    std::string command = std::string(WINSIM_BINARY) + " show " + m.dir() + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[512];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    int status = ::pclose(pipe);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
    EXPECT_EQ(output, "winsim: " + file + ":2: a dword needs 1 to 8 hex digits, not dword:zz\nwinsim: " + m.dir() +
                          ": the registry holds values that do not parse; mend the file named above\n");
}
