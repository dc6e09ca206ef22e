#include "service/ServiceControl.h"

#include "app/CommandLine.h"

#include <wchar.h>

namespace {

// The station id's own beginning ("Quorvid.Station."), by which a station's service is told from others.
const WCHAR kPrefix[] = L"Quorvid.Station.";

void* Allocate(DWORD bytes) { return ::HeapAlloc(::GetProcessHeap(), 0, bytes); }
void Free(void* memory) {
    if (memory != nullptr)
        ::HeapFree(::GetProcessHeap(), 0, memory);
}

// The service's configuration, in a buffer of the heap; null when it cannot be read.
QUERY_SERVICE_CONFIGW* ReadConfig(SC_HANDLE manager, const WCHAR* name) {
    SC_HANDLE service = ::OpenServiceW(manager, name, SERVICE_QUERY_CONFIG);
    if (service == nullptr)
        return nullptr;
    DWORD size = 0;
    ::QueryServiceConfigW(service, nullptr, 0, &size);
    QUERY_SERVICE_CONFIGW* config = size != 0 ? static_cast<QUERY_SERVICE_CONFIGW*>(Allocate(size)) : nullptr;
    if (config != nullptr && !::QueryServiceConfigW(service, config, size, &size)) {
        Free(config);
        config = nullptr;
    }
    ::CloseServiceHandle(service);
    return config;
}

// The program and the station folder of the service's command line, read as the program reads its own.
void Describe(SC_HANDLE manager, const ENUM_SERVICE_STATUS_PROCESSW& entry,
              void (*each)(const CStationService&, void*), void* context) {
    QUERY_SERVICE_CONFIGW* config = ReadConfig(manager, entry.lpServiceName);
    CCommandLine line;
    if (config != nullptr && config->lpBinaryPathName != nullptr)
        ParseCommandLine(config->lpBinaryPathName, line);
    const DWORD state = entry.ServiceStatusProcess.dwCurrentState;
    const CStationService service = {
        entry.lpServiceName, state != SERVICE_STOPPED ? entry.ServiceStatusProcess.dwProcessId : 0,
        line.program != nullptr ? line.program : L"", line.station != nullptr ? line.station : L""};
    each(service, context);
    Free(config);
}

} // namespace

void StationServiceName(const WCHAR* stationId, WCHAR* name) {
    ::lstrcpynW(name, stationId, kServiceNameSize);
}

bool IsStationServiceName(const WCHAR* name) {
    return wcsncmp(name, kPrefix, sizeof kPrefix / sizeof kPrefix[0] - 1) == 0;
}

BOOL FindStationService(const WCHAR* stationId, DWORD* pid) {
    *pid = 0;
    WCHAR name[kServiceNameSize];
    StationServiceName(stationId, name);
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr)
        return FALSE;
    SC_HANDLE service = ::OpenServiceW(manager, name, SERVICE_QUERY_STATUS);
    // A service this user may not even ask about is there all the same.
    const BOOL found = service != nullptr || ::GetLastError() == ERROR_ACCESS_DENIED;
    SERVICE_STATUS_PROCESS status = {};
    DWORD size = 0;
    if (service != nullptr &&
        ::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                               sizeof status, &size) &&
        status.dwCurrentState != SERVICE_STOPPED)
        *pid = status.dwProcessId;
    if (service != nullptr)
        ::CloseServiceHandle(service);
    ::CloseServiceHandle(manager);
    return found;
}

// The system hands out its list in pieces as large as the buffer; each piece is read before the next.
BOOL EnumStationServices(void (*each)(const CStationService& service, void* context), void* context) {
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE);
    if (manager == nullptr)
        return FALSE;
    DWORD bufferSize = 64 * 1024;
    BYTE* buffer = static_cast<BYTE*>(Allocate(bufferSize));
    DWORD resume = 0;
    BOOL read = buffer != nullptr;
    for (bool more = read; more;) {
        DWORD needed = 0, count = 0;
        const BOOL whole =
            ::EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, buffer,
                                    bufferSize, &needed, &count, &resume, nullptr);
        more = !whole && ::GetLastError() == ERROR_MORE_DATA;
        if (!whole && !more) {
            read = FALSE;
            break;
        }
        const ENUM_SERVICE_STATUS_PROCESSW* entries = reinterpret_cast<ENUM_SERVICE_STATUS_PROCESSW*>(buffer);
        for (DWORD i = 0; i < count; ++i)
            if (IsStationServiceName(entries[i].lpServiceName))
                Describe(manager, entries[i], each, context);
        // Not one entry fitted: the next piece is asked for with room for it.
        if (more && count == 0 && needed > bufferSize) {
            Free(buffer);
            bufferSize = needed;
            buffer = static_cast<BYTE*>(Allocate(bufferSize));
            if (buffer == nullptr)
                read = FALSE, more = false;
        }
    }
    Free(buffer);
    ::CloseServiceHandle(manager);
    return read;
}
