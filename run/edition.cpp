#include "run/edition.h"

#include <cstring>

const EditionProfile kStandardEdition = {
    "SOFTWARE\\Oxlen Corporation\\Vormo\\PortInstallCfg",
    "Vormo",
    "Vormo%03d",
    "Vormo.ini",
    "VORMOUI.DLL",
    "VORMO64UI.DLL",
    "VORMOVS.DLL",
    "VORMOVS64.DLL",
    "VormoCairoLib.DLL",
    "VormoCairoLib64.DLL",
    "Oxlen\\Vormo Client\\Font",
    "Oxlen\\Vormo Client",
};

const EditionProfile kEnterpriseEdition = {
    "SOFTWARE\\Oxlen Corporation\\VormoE\\PortInstallCfg",
    "VormoE",
    "VormoE%03d",
    "Vormo.ini",
    "VORMOEUI.DLL",
    "VORMOE64UI.DLL",
    "VORMOE.DLL",
    "VORMOE64.DLL",
    "VormoECairoLib.DLL",
    "VormoECairoLib64.DLL",
    "Oxlen\\Vormo Client Enterprise\\Font",
    "Oxlen\\Vormo Client Enterprise",
};

bool enterpriseEdition = false;

namespace {
EditionProfile g_profile = kStandardEdition;
char g_configFilePath[1024];
}  // namespace

const EditionProfile& Edition() { return g_profile; }

void UseEnterpriseEdition() { g_profile = kEnterpriseEdition; }

void ResetEdition() {
    g_profile = kStandardEdition;
    enterpriseEdition = false;
    g_configFilePath[0] = '\0';
}

void SetConfigFilePath(const char* path) {
    g_configFilePath[0] = '\0';
    if (!path) return;
    size_t n = std::strlen(path);
    if (n > sizeof g_configFilePath - 1) n = sizeof g_configFilePath - 1;
    std::memcpy(g_configFilePath, path, n);
    g_configFilePath[n] = '\0';
}

const char* GetConfigFilePath() { return g_configFilePath; }
