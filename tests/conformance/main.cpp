// Runs every conformance case; prints one line per case and a closing count.
#include <cstdlib>
#include <cstring>

#include "check.h"
#include "platform/handles.h"

#ifndef _WIN32
#include "support_host.h"
#endif

namespace conformance {
namespace {
int g_failures = 0;
int g_checks = 0;
std::string g_scratch;
}  // namespace

std::vector<Case>& Cases() {
    static std::vector<Case> cases;
    return cases;
}

void Failed(const char* file, int line, const std::string& what) {
    ++g_failures;
    std::printf("    %s:%d: %s (last error %lu)\n", file, line, what.c_str(),
                static_cast<unsigned long>(GetLastError()));
}

void Counted() { ++g_checks; }

const std::string& Scratch() { return g_scratch; }

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
#ifdef _WIN32
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
#else
    return HostWriteFile(path, bytes);
#endif
}

namespace {

void RemoveFolder(const std::string& folder) {
    WIN32_FIND_DATAA data;
    platform::FindHandle find(FindFirstFileA((folder + "\\*.*").c_str(), &data));
    if (find) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = folder + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveFolder(path);
            else DeleteFileA(path.c_str());
        } while (FindNextFileA(find.get(), &data));
    }
    find.reset();
    RemoveDirectoryA(folder.c_str());
}

}  // namespace
}  // namespace conformance

int main(int argc, char** argv) {
#ifndef _WIN32
    conformance::HostSetUp();
    std::string base = "C:\\conformance";
#else
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string base = std::string(temp) + "winsim-conformance";
#endif
    int passed = 0, failed = 0;
    for (const auto& c : conformance::Cases()) {
        if (argc > 1 && std::strstr(c.name, argv[1]) == nullptr) continue;
        conformance::g_scratch = base;
        conformance::RemoveFolder(base);
        CreateDirectoryA(base.c_str(), nullptr);
        int before = conformance::g_failures, checksBefore = conformance::g_checks;
        c.run();
        conformance::RemoveFolder(base);
        bool ok = conformance::g_failures == before;
        std::printf("%s %s (%d checks)\n", ok ? "ok  " : "FAIL", c.name, conformance::g_checks - checksBefore);
        (ok ? passed : failed)++;
    }
#ifndef _WIN32
    conformance::HostTearDown();
#endif
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
