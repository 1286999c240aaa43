#include "decide/required_files.h"

#include "client/client_app.h"
#include "monitor/monitor_files.h"
#include "platform/handles.h"

size_t GetRequiredFiles(const RunPlan& plan, PlatformClass platform, RequiredFile (&files)[kMaxRequiredFiles]) {
    size_t count = 0;
    auto add = [&](const char* path, const char* name) { files[count++] = RequiredFile{path, name}; };
    const EditionProfile& edition = plan.edition;
    if (plan.sections.fromIniFile) add(plan.sections.configFilePath, edition.iniFileName);
    MonitorFileSet set32 = GetMonitorFileSet(edition, Supported32);
    MonitorFileSet set64 = GetMonitorFileSet(edition, Supported64);
    const char* cairo = platform == Supported64 ? set64.cairoDll : set32.cairoDll;
    add(cairo, cairo);
    if (platform == Supported32 || platform == Supported64) {
        const MonitorFileSet& set = platform == Supported64 ? set64 : set32;
        add(set.monitorDll, set.monitorDll);
        add(set.uiDll, set.uiDll);
    }
    if (edition.shipsClient)
        for (const char* name : kClientFilesChecked) add(name, name);
    return count;
}

bool IsReadable(const char* path) {
    platform::KernelHandle file(
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid();
}
