// The spooler's monitor calls, as far as they can be seen without installing
// a real monitor DLL.
#include "check.h"

namespace {

char kNoSuchMonitor[] = "winsim conformance monitor";
char kNoSuchDll[] = "winsim_no_such_monitor.dll";
char kEmpty[] = "";
char kUnknownEnvironment[] = "winsim unknown environment";
char kNoSuchServer[] = "\\\\winsim-no-such-server";

MONITOR_INFO_2A Record(LPSTR name, LPSTR environment, LPSTR dll) {
    MONITOR_INFO_2A record;
    record.pName = name;
    record.pEnvironment = environment;
    record.pDLLName = dll;
    return record;
}

}  // namespace

CONFORMANCE_CASE(DeleteMonitorOfAnUnknownMonitorGives3000) {
    SetLastError(0);
    CHECK(!DeleteMonitorA(nullptr, nullptr, kNoSuchMonitor));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINT_MONITOR));
    // The environment is not looked at.
    CHECK(!DeleteMonitorA(nullptr, kUnknownEnvironment, kNoSuchMonitor));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINT_MONITOR));
}

CONFORMANCE_CASE(DeleteMonitorWithoutANameGives87) {
    CHECK(!DeleteMonitorA(nullptr, nullptr, nullptr));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CHECK(!DeleteMonitorA(nullptr, nullptr, kEmpty));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

CONFORMANCE_CASE(AddMonitorTakesOnlyLevel2) {
    MONITOR_INFO_2A record = Record(kNoSuchMonitor, nullptr, kNoSuchDll);
    for (DWORD level : {0u, 1u, 3u}) {
        SetLastError(0);
        CHECK(!AddMonitorA(nullptr, level, reinterpret_cast<LPBYTE>(&record)));
        CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    }
}

CONFORMANCE_CASE(AddMonitorRefusesAnEmptyRecordWith87) {
    MONITOR_INFO_2A empty = Record(nullptr, nullptr, nullptr);
    CHECK(!AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&empty)));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    MONITOR_INFO_2A emptyName = Record(kEmpty, nullptr, kNoSuchDll);
    CHECK(!AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&emptyName)));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    MONITOR_INFO_2A noDll = Record(kNoSuchMonitor, nullptr, nullptr);
    CHECK(!AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&noDll)));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    MONITOR_INFO_2A emptyDll = Record(kNoSuchMonitor, nullptr, kEmpty);
    CHECK(!AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&emptyDll)));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

CONFORMANCE_CASE(AddMonitorRefusesAnUnknownEnvironmentWith1805) {
    MONITOR_INFO_2A record = Record(kNoSuchMonitor, kUnknownEnvironment, kNoSuchDll);
    CHECK(!AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&record)));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT));
}

CONFORMANCE_CASE(AddMonitorWithAMissingDllFails) {
    MONITOR_INFO_2A record = Record(kNoSuchMonitor, nullptr, kNoSuchDll);
    CHECK(!AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&record)));
    DWORD error = GetLastError();
    // Windows answers 87 when the spooler cannot load the DLL; Wine 126.
    DWORD expected = conformance::UnderWine() ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_PARAMETER;
    CHECK_EQ(error, expected);
    // Nothing was registered.
    CHECK(!DeleteMonitorA(nullptr, nullptr, kNoSuchMonitor));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINT_MONITOR));
}

CONFORMANCE_CASE(UnknownServerIsRefused) {
    MONITOR_INFO_2A record = Record(kNoSuchMonitor, nullptr, kNoSuchDll);
    BOOL added = AddMonitorA(kNoSuchServer, 2, reinterpret_cast<LPBYTE>(&record));
    DWORD addError = GetLastError();
    BOOL deleted = DeleteMonitorA(kNoSuchServer, nullptr, kNoSuchMonitor);
    DWORD deleteError = GetLastError();
    CHECK(!added);
    CHECK(!deleted);
    if (conformance::UnderWine()) {
        // Wine has no remote spooler and answers with codes of its own.
        CHECK_EQ(addError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
        CHECK_EQ(deleteError, static_cast<DWORD>(ERROR_INVALID_NAME));
    } else {
        CHECK_EQ(addError, static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
        CHECK_EQ(deleteError, static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    }
}
