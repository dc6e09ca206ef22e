#include "service/ServiceStation.h"

#include "framework/App.h"

#include "ServiceEvents.h"

namespace {

const char kWindowClass[] = "Quorvid.ServiceStation";

} // namespace

BEGIN_MESSAGE_MAP(CServiceStation, CWnd)
ON_MESSAGE(WM_CONSOLE_STATE, &CServiceStation::OnConsoleState)
ON_MESSAGE(WM_CONSOLE_HISTORY, &CServiceStation::OnConsoleHistory)
ON_MESSAGE(WM_CONTROL_PENDING, &CServiceStation::OnControlPending)
ON_WM_TIMER()
END_MESSAGE_MAP()

CServiceStation::CServiceStation(CEventLog& log)
    : m_log(log), m_failures(log), m_folder(kLongPath), m_bLookDue(false) {
    if (m_folder && !FullLongPath(L".", m_folder.Get(), kLongPath))
        ::GetCurrentDirectoryW(kLongPath, m_folder.Get());
}

CServiceStation::~CServiceStation() {
    if (m_hWnd != nullptr) {
        ::DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
    }
}

LRESULT CALLBACK CServiceStation::WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CServiceStation* station = reinterpret_cast<CServiceStation*>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    LRESULT result = 0;
    if (station != nullptr && station->OnWndMsg(message, wParam, lParam, &result))
        return result;
    return ::DefWindowProcA(hWnd, message, wParam, lParam);
}

void CServiceStation::CannotRun(DWORD error) {
    ReportCannotRun(m_log, m_folder ? m_folder.Get() : L".", error);
    ::SetLastError(error);
}

void ReportCannotRun(CEventLog& log, const WCHAR* folder, DWORD error) {
    WCHAR reason[300];
    CConsoleHistory::SystemText(error, reason, 300);
    const WCHAR* strings[] = {folder, reason};
    log.Report(MSG_STATION_NOT_RUN, strings, 2);
}

CServiceStation::EStart CServiceStation::Start() {
    const WCHAR* folder = m_folder ? m_folder.Get() : L".";
    if (m_lock.Take() != CStationLock::kTaken) {
        m_log.Report(MSG_STATION_HELD, &folder, 1);
        return kHeld;
    }
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = AfxGetResourceHandle();
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassA(&windowClass);
    m_hWnd = ::CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               windowClass.hInstance, nullptr);
    if (m_hWnd == nullptr) {
        CannotRun(::GetLastError());
        return kFailed;
    }
    ::SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    OwnConsoles(this);
    ServeControl(m_hWnd, m_lock.StationId(), true);
    StartScripts();
    return kRunning;
}

void CServiceStation::RunUntil(HANDLE stop) {
    while (::MsgWaitForMultipleObjects(1, &stop, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageA(&msg);
    }
}

BOOL CServiceStation::StopStation() { return StopScripts(); }

void CServiceStation::Close() {
    EndControl();
    m_lock.Release();
}

// A run that has just ended is looked at at once: its stopped notice may be the last the host hears of it.
LRESULT CServiceStation::OnConsoleState(WPARAM wParam, LPARAM lParam) {
    FollowConsole(wParam, lParam);
    if (wParam == 0)
        LookForFailures();
    PublishState();
    return 0;
}

// A script's history changes with every line: it is looked at a few times a second at most.
LRESULT CServiceStation::OnConsoleHistory(WPARAM, LPARAM) {
    if (!m_bLookDue)
        m_bLookDue = SetTimer(kLookTimer, kLookMs) != 0;
    return 0;
}

void CServiceStation::OnTimer(UINT_PTR id) {
    if (id != kLookTimer)
        return;
    KillTimer(kLookTimer);
    m_bLookDue = false;
    LookForFailures();
}

// Each history is told it has been read: its next change brings a notice; a change that came meanwhile
// is looked at again on the timer.
void CServiceStation::LookForFailures() {
    const WCHAR* folder = m_folder ? m_folder.Get() : L".";
    const UINT ids[] = {kStationId, kUploaderId};
    for (UINT id : ids) {
        CConsole& console = *ConsoleOf(id);
        const unsigned long long changes = console.HistoryChanges();
        m_failures.Look(console, id - 1, ScriptOf(id), folder);
        if (!console.HistorySeen(changes))
            OnConsoleHistory(0, id);
    }
}

// As the window's buttons would: Start while idle, Stop while a script runs. A service is not closed
// through its pipe: the system stops it.
LRESULT CServiceStation::OnControlPending(WPARAM, LPARAM) {
    WORD command = 0;
    if (!m_desk.TakePending(command))
        return 0;
    if (command == kControlStart && m_runMask == 0)
        StartScripts();
    else if (command == kControlStop && m_runMask != 0)
        StopScripts();
    m_desk.Done();
    return 0;
}
