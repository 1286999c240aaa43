// Reading port sections from the INI file or the registry.
#include <cstdio>
#include <cstring>

#include "base/registry_read.h"
#include "portcfg/port_settings.h"

namespace {

// One section of the run's source: its name is its number in decimal.
class SectionReader {
public:
    SectionReader(int n, const RunPlan& plan) : plan_(plan) { std::snprintf(section_, sizeof section_, "%d", n); }

    // The key's text into buffer: terminated, zero from the terminator on.
    void Text(const char* key, const char* defaultText, char* buffer, DWORD bufferSize) const {
        if (plan_.sections.fromIniFile)
            GetPrivateProfileStringA(section_, key, defaultText, buffer, bufferSize, plan_.sections.iniReadPath);
        else
            GetHklmSubkeyString(section_, key, defaultText, buffer, bufferSize, plan_.edition.portInstallCfgKey, 0);
        buffer[bufferSize - 1] = '\0';
        size_t length = static_cast<const char*>(std::memchr(buffer, '\0', bufferSize)) - buffer;
        std::memset(buffer + length, 0, bufferSize - length);
    }

    DWORD Number(const char* key, DWORD defaultValue) const {
        if (plan_.sections.fromIniFile)
            return GetPrivateProfileIntA(section_, key, static_cast<INT>(defaultValue), plan_.sections.iniReadPath);
        return GetHklmSubkeyDword(section_, key, defaultValue, plan_.edition.portInstallCfgKey);
    }

private:
    const RunPlan& plan_;
    char section_[sizeof "-2147483648"];
};

}  // namespace

bool FormatPortName(const EditionProfile& edition, int n, char (&portName)[kPortNameSize]) {
    int length = n < 0 ? -1 : std::snprintf(portName, sizeof portName, edition.portNameFormat, n);
    if (length < 0 || static_cast<size_t>(length) >= sizeof portName) {
        std::memset(portName, 0, sizeof portName);
        return false;
    }
    return true;
}

void ReadPortSectionString(int n, const RunPlan& plan, const char* key, const char* defaultText, char* buffer,
                           DWORD bufferSize) {
    if (!buffer || bufferSize == 0) return;
    SectionReader(n, plan).Text(key, defaultText ? defaultText : "", buffer, bufferSize);
}

bool ReadPortSection(int n, const RunPlan& plan, PortSettings* s) {
    if (!s) return false;
    std::memset(s, 0, sizeof *s);
    SectionReader section(n, plan);
    for (size_t i = 0; i < kPortFieldCount; ++i) {
        // Description and all ten list pairs are read whatever they hold
        // (entries may be empty between filled ones); without ServerIP the
        // section does not exist and nothing more is read.
        if (i == kPortFieldsBeforeServerCheck && s->ServerIP[0][0] == '\0') return false;
        const PortField& field = kPortFields[i];
        if (field.kind == PortFieldKind::Text)
            section.Text(field.key, field.textDefault, TextIn(s, field), kPortStringSize);
        else
            *NumberIn(s, field) = section.Number(field.key, field.numberDefault);
    }
    // A port that works without the server neither encrypts nor refreshes
    // its server list, where the edition says so.
    if (plan.edition.serverlessPortRule && s->DisableServerCommunication != 0) {
        s->Encryption = 0;
        s->RefreshIPList = 0;
    }
    return true;
}

SectionScan ScanPortSection(int n, const RunPlan& plan, PortSettings* settings) {
    if (!ReadPortSection(n, plan, settings)) return SectionScan::End;
    return FormatPortName(plan.edition, n, settings->PortName) ? SectionScan::Port : SectionScan::PastLastName;
}
