#include "service/ServiceMain.h"

#include "framework/App.h"
#include "framework/Handle.h"
#include "service/ServiceStation.h"

namespace {

// The longest a step of the start or the stop may take before the system hears of the service again.
const DWORD kStartHintMs = 10000;
const DWORD kStopHintMs = CConsole::kStopWaitMs + 2000;
const DWORD kCloseHintMs = 5000;

// The service's dealings with the system: the state it reports, and the event its handler sets.
class CServiceReport {
public:
    CServiceReport() : m_handle(nullptr), m_status(), m_hStop(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        m_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    }
    CServiceReport(const CServiceReport&) = delete;
    CServiceReport& operator=(const CServiceReport&) = delete;

    BOOL Register(const WCHAR* name) {
        m_handle = ::RegisterServiceCtrlHandlerExW(name, Handler, this);
        return m_handle != nullptr;
    }
    // A pending state counts its checkpoints; a settled one has none. Stop, shutdown and the warning before
    // it are taken while the service runs; a system without the warning (before Vista) refuses to hear of
    // it, and is told again without.
    void Report(DWORD state, DWORD hintMs = 0, DWORD error = NO_ERROR, DWORD ownCode = 0) {
        const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
        m_status.dwCurrentState = state;
        m_status.dwWaitHint = hintMs;
        m_status.dwCheckPoint = pending ? m_status.dwCheckPoint + 1 : 0;
        m_status.dwWin32ExitCode = ownCode != 0 ? ERROR_SERVICE_SPECIFIC_ERROR : error;
        m_status.dwServiceSpecificExitCode = ownCode;
        m_status.dwControlsAccepted =
            state == SERVICE_RUNNING
                ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN
                : 0;
        if (!::SetServiceStatus(m_handle, &m_status) && state == SERVICE_RUNNING) {
            m_status.dwControlsAccepted &= ~SERVICE_ACCEPT_PRESHUTDOWN;
            ::SetServiceStatus(m_handle, &m_status);
        }
    }
    HANDLE Stop() const { return m_hStop.Get(); }

private:
    // On the dispatcher's thread: it only signals, and the service's own thread does the rest.
    static DWORD WINAPI Handler(DWORD control, DWORD, void*, void* context) {
        switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
        case SERVICE_CONTROL_PRESHUTDOWN:
            ::SetEvent(static_cast<CServiceReport*>(context)->m_hStop.Get());
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
        }
    }

    SERVICE_STATUS_HANDLE m_handle;
    SERVICE_STATUS m_status;
    CHandle m_hStop;
};

// The station folder, from the program's command line: the system passes ServiceMain its own arguments
// only, so it is kept here for the one service of the process.
const WCHAR* g_station = nullptr;

void WINAPI ServiceMain(DWORD, LPWSTR* arguments) {
    CServiceReport report;
    if (!report.Register(arguments != nullptr && arguments[0] != nullptr ? arguments[0] : L""))
        return;
    report.Report(SERVICE_START_PENDING, kStartHintMs);
    CEventLog log;
    if (g_station != nullptr && !::SetCurrentDirectoryW(g_station)) {
        const DWORD error = ::GetLastError();
        ReportCannotRun(log, g_station, error);
        report.Report(SERVICE_STOPPED, 0, error);
        return;
    }
    CServiceStation station(log);
    switch (station.Start()) {
    case CServiceStation::kRunning:
        break;
    case CServiceStation::kHeld:
        report.Report(SERVICE_STOPPED, 0, NO_ERROR, kServiceHeldCode);
        return;
    default:
        report.Report(SERVICE_STOPPED, 0, ::GetLastError());
        return;
    }
    report.Report(SERVICE_RUNNING);
    station.RunUntil(report.Stop());
    report.Report(SERVICE_STOP_PENDING, kStopHintMs);
    const BOOL stopped = station.StopStation();
    report.Report(SERVICE_STOP_PENDING, kCloseHintMs);
    station.Close();
    // A worker that outlived Stop's bound still uses its console: the process ends at once instead, and
    // the system ends the scripts' jobs with it.
    if (!stopped) {
        report.Report(SERVICE_STOPPED, 0, ERROR_PROCESS_ABORTED);
        AfxEndProcessNow(ERROR_PROCESS_ABORTED);
    }
    report.Report(SERVICE_STOPPED);
}

} // namespace

DWORD RunStationService(const WCHAR* station) {
    g_station = station;
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(L""), ServiceMain}, {nullptr, nullptr}};
    return ::StartServiceCtrlDispatcherW(table) ? NO_ERROR : ::GetLastError();
}
