#include "check/section_source.h"

#include <cstring>

#include "platform/handles.h"

namespace {

// A profile function's list in a buffer that grows until the list fits: an
// answer of size - 2 means it was cut. The list's entries, each ended by a
// zero.
template <class Fill>
std::vector<std::string> ProfileList(Fill fill) {
    // The profile functions hand out at most 32767 characters at once on
    // older Windows; larger buffers are asked for up to 16 MB.
    const DWORD kLargest = 16u << 20;
    std::vector<std::string> entries;
    for (DWORD size = 32768;; size *= 2) {
        std::vector<char> buffer(size, '\0');
        DWORD n = fill(buffer.data(), size);
        if (n == size - 2 && size < kLargest) continue;
        for (DWORD at = 0; at < n;) {
            std::string entry(buffer.data() + at);
            at += static_cast<DWORD>(entry.size()) + 1;
            entries.push_back(entry);
        }
        return entries;
    }
}

void ListIniSections(const PortSectionSource& source, std::vector<SourceSection>* sections) {
    const char* file = source.iniReadPath;
    std::vector<std::string> names = ProfileList(
        [file](char* buffer, DWORD size) { return GetPrivateProfileSectionNamesA(buffer, size, file); });
    std::vector<std::string> seen;
    for (const std::string& name : names) {
        SourceSection section;
        section.name = name;
        for (const std::string& earlier : seen)
            if (lstrcmpiA(earlier.c_str(), name.c_str()) == 0) section.repeated = true;
        seen.push_back(name);
        if (!section.repeated) {
            std::vector<std::string> lines = ProfileList([file, &name](char* buffer, DWORD size) {
                return GetPrivateProfileSectionA(name.c_str(), buffer, size, file);
            });
            for (const std::string& line : lines) {
                SourceEntry entry;
                size_t eq = line.find('=');
                entry.key = line.substr(0, eq);
                entry.hasValue = eq != std::string::npos;
                if (entry.hasValue) entry.text = line.substr(eq + 1);
                section.entries.push_back(entry);
            }
        }
        sections->push_back(section);
    }
}

bool ListRegistrySections(const char* keyPath, std::vector<SourceSection>* sections, std::string* failure) {
    platform::RegKey root;
    LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, root.out());
    if (status == ERROR_FILE_NOT_FOUND) return true;
    if (status != ERROR_SUCCESS) {
        *failure = "cannot open HKEY_LOCAL_MACHINE\\" + std::string(keyPath) + " (error " + std::to_string(status) + ")";
        return false;
    }
    // Key names hold at most 255 characters, value names 16383.
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameSize = sizeof name;
        status = RegEnumKeyExA(root.get(), index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue;
        SourceSection section;
        section.name = name;
        platform::RegKey key;
        if (RegOpenKeyExA(root.get(), name, 0, KEY_READ, key.out()) == ERROR_SUCCESS) {
            for (DWORD v = 0;; ++v) {
                std::vector<char> valueName(16384, '\0');
                DWORD valueNameSize = static_cast<DWORD>(valueName.size());
                SourceEntry entry;
                status = RegEnumValueA(key.get(), v, valueName.data(), &valueNameSize, nullptr, &entry.type, nullptr,
                                       &entry.size);
                if (status != ERROR_SUCCESS) break;
                entry.key.assign(valueName.data(), valueNameSize);
                section.entries.push_back(entry);
            }
        }
        sections->push_back(section);
    }
    return true;
}

}  // namespace

bool ListSourceSections(const RunPlan& plan, std::vector<SourceSection>* sections, std::string* failure) {
    sections->clear();
    if (plan.sections.fromIniFile) {
        ListIniSections(plan.sections, sections);
        return true;
    }
    return ListRegistrySections(plan.edition.portInstallCfgKey, sections, failure);
}

bool IsPortSectionName(const std::string& name, int* n) {
    if (name.empty() || name.size() > 9 || name[0] == '0') return false;
    int value = 0;
    for (char c : name) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    *n = value;
    return true;
}
