#include "check/section_source.h"

#include <cstring>
#include <unordered_set>

#include "decide/names.h"
#include "platform/handles.h"

namespace {

// A profile function's list in a buffer that grows until the list fits: an
// answer of size - 2 means it was cut. The list's entries, each ended by a
// zero. The buffer is kept from one list to the next.
template <class Fill>
std::vector<std::string> ProfileList(std::vector<char>* buffer, Fill fill) {
    // The profile functions hand out at most 32767 characters at once on
    // older Windows; larger buffers are asked for up to 16 MB.
    const DWORD kLargest = 16u << 20;
    std::vector<std::string> entries;
    if (buffer->size() < 32768) buffer->assign(32768, '\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(buffer->size());
        DWORD n = fill(buffer->data(), size);
        if (n == size - 2 && size < kLargest) {
            buffer->assign(size * 2, '\0');
            continue;
        }
        if (n > size - 2) n = size - 2;  // never past the list's end
        for (DWORD at = 0; at < n;) {
            const char* entry = buffer->data() + at;
            const void* zero = std::memchr(entry, '\0', n - at);
            size_t length = zero ? static_cast<size_t>(static_cast<const char*>(zero) - entry) : n - at;
            if (length > 0) entries.emplace_back(entry, length);  // an empty one is no entry
            at += static_cast<DWORD>(length) + 1;
        }
        return entries;
    }
}

void ListIniSections(const PortSectionSource& source, std::vector<SourceSection>* sections) {
    const char* file = source.iniReadPath;
    std::vector<char> buffer;
    std::vector<std::string> names = ProfileList(
        &buffer, [file](char* list, DWORD size) { return GetPrivateProfileSectionNamesA(list, size, file); });
    // The profile functions find the first section of a name, names compared
    // by their upper-case forms.
    std::unordered_set<std::string> seen;
    for (const std::string& name : names) {
        SourceSection section;
        section.name = name;
        section.repeated = !seen.insert(UpperCaseForm(name)).second;
        if (!section.repeated) {
            std::vector<std::string> lines = ProfileList(&buffer, [file, &name](char* list, DWORD size) {
                return GetPrivateProfileSectionA(name.c_str(), list, size, file);
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
