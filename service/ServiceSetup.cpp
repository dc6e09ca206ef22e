#include "service/ServiceSetup.h"

#include "app/CommandLine.h"
#include "app/StationLock.h"
#include "console/ConsoleHistory.h"
#include "control/ControlNames.h"
#include "framework/HeapText.h"
#include "service/EventLog.h"
#include "service/FolderAccess.h"
#include "service/ServiceControl.h"
#include "service/ServiceMain.h"

#include <stdarg.h>
#include <stdio.h>
#include <wchar.h>

namespace {

// The system waits this long for a service to start; a stop takes the scripts' bound and a little more.
const DWORD kStartWaitMs = 30000;
const DWORD kStopWaitMs = 20000;
const DWORD kPollMs = 100;
// What the system gives the service at shutdown before it ends it: Stop's bound and room to spare.
const DWORD kPreshutdownMs = 15000;
// Restarted 10 s after a failure, 10 s after the second, a minute after any further one within a day.
const DWORD kRestartMs = 10000;
const DWORD kLaterRestartMs = 60000;
const DWORD kFailureResetSeconds = 86400;
const DWORD kSidTypeUnrestricted = 1;

union CSid {
    SID sid;
    BYTE bytes[SECURITY_MAX_SID_SIZE];
};

// The program's heap buffers, freed with the object.
// A service handle, closed once.
struct CServiceHandle {
    SC_HANDLE handle;
    explicit CServiceHandle(SC_HANDLE h = nullptr) : handle(h) {}
    ~CServiceHandle() {
        if (handle != nullptr)
            ::CloseServiceHandle(handle);
    }
    CServiceHandle(const CServiceHandle&) = delete;
    CServiceHandle& operator=(const CServiceHandle&) = delete;
};

int Say(WCHAR* said, DWORD size, int code, const WCHAR* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    vswprintf(said, size, format, arguments);
    va_end(arguments);
    return code;
}

int Failed(WCHAR* said, DWORD size, const WCHAR* what, DWORD error) {
    WCHAR reason[256];
    CConsoleHistory::SystemText(error, reason, 256);
    return Say(said, size, kSetupFailed, L"%ls: %ls", what, reason);
}

// An administrator with the rights raised: the one who may register services and change a folder's access.
bool IsAdministrator() {
    CSid administrators;
    DWORD size = sizeof administrators;
    BOOL member = FALSE;
    return ::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, &administrators, &size) &&
           ::CheckTokenMembership(nullptr, &administrators, &member) && member;
}

// Waits while the service is on its way from one state to another, at most `ms`. Its state then.
DWORD SettledState(SC_HANDLE service, DWORD ms, SERVICE_STATUS_PROCESS& status) {
    for (const DWORD start = ::GetTickCount();; ::Sleep(kPollMs)) {
        DWORD size = 0;
        if (!::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                    sizeof status, &size))
            return 0;
        const DWORD state = status.dwCurrentState;
        if ((state != SERVICE_START_PENDING && state != SERVICE_STOP_PENDING) ||
            ::GetTickCount() - start >= ms)
            return state;
    }
}

// TRUE once the service has stopped, or was stopped already.
BOOL StopService(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status = {};
    SERVICE_STATUS ignored;
    if (SettledState(service, kStopWaitMs, status) == SERVICE_STOPPED)
        return TRUE;
    ::ControlService(service, SERVICE_CONTROL_STOP, &ignored);
    return SettledState(service, kStopWaitMs, status) == SERVICE_STOPPED;
}

// What the system runs it as and how: delayed at boot, restarted after a failure (also one it reports
// itself), its own SID, time to stop its scripts at shutdown. A setting the system does not have
// (ERROR_INVALID_LEVEL: before Vista, or under Wine) is left out.
DWORD Configure(SC_HANDLE service, const WCHAR* folder) {
    WCHAR text[1024];
    swprintf(
        text, 1024,
        L"Runs the station's PHP scripts sbs1station.php and uploader.php in %.800ls and starts them again "
        L"when they end. Quorvid.exe started in that folder shows them.",
        folder);
    SERVICE_DESCRIPTIONW description = {text};
    SC_ACTION actions[3] = {{SC_ACTION_RESTART, kRestartMs},
                            {SC_ACTION_RESTART, kRestartMs},
                            {SC_ACTION_RESTART, kLaterRestartMs}};
    SERVICE_FAILURE_ACTIONSW failure = {kFailureResetSeconds, nullptr, nullptr, 3, actions};
    // Each of these is a record of one BOOL or DWORD.
    const DWORD on = TRUE, sidType = kSidTypeUnrestricted, preshutdown = kPreshutdownMs;
    const struct {
        DWORD level;
        const void* info;
    } settings[] = {
        {SERVICE_CONFIG_DESCRIPTION, &description},  {SERVICE_CONFIG_FAILURE_ACTIONS, &failure},
        {SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &on},  {SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &on},
        {SERVICE_CONFIG_SERVICE_SID_INFO, &sidType}, {SERVICE_CONFIG_PRESHUTDOWN_INFO, &preshutdown}};
    for (const auto& setting : settings)
        if (!::ChangeServiceConfig2W(service, setting.level, const_cast<void*>(setting.info)) &&
            ::GetLastError() != ERROR_INVALID_LEVEL)
            return ::GetLastError();
    return ERROR_SUCCESS;
}

// Why a service that was started stopped again, as it reported it.
void StopReason(const SERVICE_STATUS_PROCESS& status, WCHAR* text, DWORD size) {
    if (status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR &&
        status.dwServiceSpecificExitCode == kServiceHeldCode)
        swprintf(text, size, L"a copy of Quorvid supervises the station folder");
    else if (status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR)
        swprintf(text, size, L"it stopped with its code %lu", status.dwServiceSpecificExitCode);
    else
        CConsoleHistory::SystemText(status.dwWin32ExitCode != NO_ERROR ? status.dwWin32ExitCode
                                                                       : ERROR_SERVICE_NOT_ACTIVE,
                                    text, size);
}

} // namespace

int InstallStationService(bool force, WCHAR* said, DWORD size) {
    CStationLock lock;
    WCHAR name[kServiceNameSize], account[kServiceNameSize + 16];
    StationServiceName(lock.StationId(), name);
    swprintf(account, kServiceNameSize + 16, L"NT SERVICE\\%ls", name);
    CHeapText folder(kLongPath), program(kLongPath), line(3 * kLongPath + 64), display(256);
    if (!folder || !program || !line || !display || !FullLongPath(L".", folder.Get(), kLongPath) ||
        ::GetModuleFileNameW(nullptr, program.Get(), kLongPath) >= kLongPath)
        return Failed(said, size, L"the service could not be registered", ERROR_NOT_ENOUGH_MEMORY);
    if (!IsAdministrator())
        return Say(said, size, kSetupDenied,
                   L"installing the service needs an administrator's rights: run it as administrator");

    CSid sid;
    bool others = true;
    if (!ServiceSid(name, &sid) || !FolderOthersMayWrite(folder.Get(), &sid, &others))
        return Failed(said, size, L"the station folder's access could not be read", ::GetLastError());
    if (others && !force)
        return Say(
            said, size, kSetupDenied,
            L"users other than Administrators and SYSTEM may change %ls, and the service would run what they "
            L"put there: let only those change it, or install with --force",
            folder.Get());
    DWORD pid = 0;
    const BOOL installed = FindStationService(lock.StationId(), &pid);
    if (lock.Take() != CStationLock::kTaken && !(installed && pid != 0))
        return Say(said, size, kSetupHeld, L"a copy of Quorvid supervises %ls: close it first", folder.Get());
    lock.Release();

    CServiceHandle manager(
        ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
    if (manager.handle == nullptr)
        return ::GetLastError() == ERROR_ACCESS_DENIED
                   ? Say(said, size, kSetupDenied,
                         L"the system refused to register a service: run it as administrator")
                   : Failed(said, size, L"the service could not be registered", ::GetLastError());
    // The program is quoted always, as the system reads an image path whole only so; the folder as the
    // program reads it back.
    swprintf(line.Get(), 3 * kLongPath + 64, L"\"%ls\" --service ", program.Get());
    CHeapText station(kLongPath + 16);
    if (!station)
        return Failed(said, size, L"the service could not be registered", ERROR_NOT_ENOUGH_MEMORY);
    swprintf(station.Get(), kLongPath + 16, L"--station=%ls", folder.Get());
    QuoteArgument(station.Get(), line.Get() + wcslen(line.Get()));
    swprintf(display.Get(), 256, L"Quorvid station: %.230ls", folder.Get());

    CServiceHandle service(::OpenServiceW(manager.handle, name, SERVICE_ALL_ACCESS));
    const bool update = service.handle != nullptr;
    if (update && !::ChangeServiceConfigW(service.handle, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                          SERVICE_ERROR_NORMAL, line.Get(), nullptr, nullptr, nullptr,
                                          account, nullptr, display.Get()))
        return Failed(said, size, L"the service could not be updated", ::GetLastError());
    if (!update)
        service.handle = ::CreateServiceW(manager.handle, name, display.Get(), SERVICE_ALL_ACCESS,
                                          SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                          line.Get(), nullptr, nullptr, nullptr, account, nullptr);
    if (service.handle == nullptr)
        return Failed(said, size, L"the service could not be registered", ::GetLastError());
    DWORD error = Configure(service.handle, folder.Get());
    if (error == ERROR_SUCCESS)
        error = GrantFolder(folder.Get(), &sid);
    if (error == ERROR_SUCCESS)
        error = CEventLog::RegisterSource(program.Get());
    if (error != ERROR_SUCCESS)
        return Failed(said, size, L"the service could not be set up", error);

    // An update takes effect when the service starts again.
    if (update && !StopService(service.handle))
        return Say(said, size, kSetupFailed, L"the service %ls did not stop within %lu s to start again",
                   name, kStopWaitMs / 1000);
    if (!::StartServiceW(service.handle, 0, nullptr))
        return Failed(said, size, L"the service could not be started", ::GetLastError());
    SERVICE_STATUS_PROCESS status = {};
    const DWORD state = SettledState(service.handle, kStartWaitMs, status);
    if (state != SERVICE_RUNNING) {
        WCHAR reason[256] = L"it did not start in time";
        if (state == SERVICE_STOPPED)
            StopReason(status, reason, 256);
        return Say(said, size, kSetupFailed, L"the service %ls was %ls but did not start: %ls", name,
                   update ? L"updated" : L"registered", reason);
    }
    return Say(said, size, kSetupDone, L"%ls the service %ls for %ls: it runs as %ls (process %lu)",
               update ? L"updated and restarted" : L"installed", name, folder.Get(), account,
               status.dwProcessId);
}

int RemoveStationService(WCHAR* said, DWORD size) {
    WCHAR id[kStationIdSize], name[kServiceNameSize];
    CurrentStationId(id);
    StationServiceName(id, name);
    CHeapText folder(kLongPath);
    if (!folder || !FullLongPath(L".", folder.Get(), kLongPath))
        return Failed(said, size, L"the service could not be removed", ERROR_NOT_ENOUGH_MEMORY);
    if (!IsAdministrator())
        return Say(said, size, kSetupDenied,
                   L"removing the service needs an administrator's rights: run it as administrator");
    CServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    CServiceHandle service(
        manager.handle != nullptr
            ? ::OpenServiceW(manager.handle, name, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE)
            : nullptr);
    if (service.handle == nullptr) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_SERVICE_DOES_NOT_EXIST)
            return Say(said, size, kSetupNoService, L"no service runs %ls", folder.Get());
        if (error == ERROR_ACCESS_DENIED)
            return Say(said, size, kSetupDenied,
                       L"the system refused to remove the service: run it as administrator");
        return Failed(said, size, L"the service could not be removed", error);
    }
    const BOOL stopped = StopService(service.handle);
    if (!::DeleteService(service.handle) && ::GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
        return Failed(said, size, L"the service could not be removed", ::GetLastError());
    CSid sid;
    if (ServiceSid(name, &sid))
        RevokeFolder(folder.Get(), &sid);
    // The log's source is the program's, not one station's: it goes with the last station's service.
    bool others = false;
    ForEachStationService(
        [&](const CStationService& other) { others |= ::lstrcmpiW(other.name, name) != 0; });
    if (!others)
        CEventLog::RemoveSource();
    if (!stopped)
        return Say(said, size, kSetupNotStopped,
                   L"the service %ls of %ls is removed, but it did not stop within %lu s: the system removes "
                   L"it once it has",
                   name, folder.Get(), kStopWaitMs / 1000);
    return Say(said, size, kSetupDone, L"the service %ls of %ls is stopped and removed", name, folder.Get());
}
