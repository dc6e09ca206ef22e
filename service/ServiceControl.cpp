#include "service/ServiceControl.h"

#include <string.h>

void StationServiceName(const WCHAR* stationId, WCHAR* name) { lstrcpyW(name, stationId); }

BOOL FindStationService(const WCHAR* stationId, DWORD* pid) {
    *pid = 0;
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr)
        return FALSE;
    WCHAR name[128];
    StationServiceName(stationId, name);
    SC_HANDLE service = OpenServiceW(manager, name, SERVICE_QUERY_STATUS);
    SERVICE_STATUS_PROCESS status = {};
    DWORD size = 0;
    if (service != nullptr &&
        QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (BYTE*)&status, sizeof status, &size) &&
        status.dwCurrentState == SERVICE_RUNNING)
        *pid = status.dwProcessId;
    const BOOL found = service != nullptr;
    if (service != nullptr)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return found;
}
