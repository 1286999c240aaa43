#include "base/run_plan.h"

#include <cstdio>
#include <cstring>

void SetConfigFilePath(PortSectionSource* source, const char* path) {
    char* stored = source->configFilePath;
    stored[0] = '\0';
    if (path) {
        size_t n = std::strlen(path);
        if (n > kConfigFilePathSize - 1) n = kConfigFilePathSize - 1;
        std::memcpy(stored, path, n);
        stored[n] = '\0';
    }
    bool hasFolder = std::strchr(stored, '\\') != nullptr || std::strchr(stored, '/') != nullptr;
    bool hasDrive = stored[0] != '\0' && stored[1] == ':';
    if (stored[0] == '\0' || hasFolder || hasDrive)
        std::snprintf(source->iniReadPath, sizeof source->iniReadPath, "%s", stored);
    else
        std::snprintf(source->iniReadPath, sizeof source->iniReadPath, ".\\%s", stored);
}

void SetPrintServer(RunPlan* plan, const char* serverName) {
    plan->spoolerServer = serverName;
    plan->xcvServer = serverName && serverName[0] != '\0' ? serverName : nullptr;
}
