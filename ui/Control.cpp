// The main dialog's side of the control channel: it serves its station's pipe (on the server's own
// threads) and carries out, on its own thread, the commands handed over on its desk, as its buttons would.
// Nothing here reads a command from a window message.
#include "ui/QuorvidDlg.h"

#include <string.h>

namespace {

// A dialog box of this thread that runs a loop of its own above the window (the About box, a message
// box, the history's Save dialog) would hold the program's end until someone closed it.
struct CBoxesAbove {
    HWND main;
    HWND histories[2];
};

BOOL CALLBACK EndBoxAbove(HWND hWnd, LPARAM param) {
    const CBoxesAbove* keep = reinterpret_cast<const CBoxesAbove*>(param);
    char name[16] = "";
    if (hWnd != keep->main && hWnd != keep->histories[0] && hWnd != keep->histories[1] &&
        ::GetClassNameA(hWnd, name, sizeof name) && strcmp(name, "#32770") == 0)
        ::EndDialog(hWnd, IDCANCEL);
    return TRUE;
}

} // namespace

// A view serves the name of this session's view of the station, not the station's, which is the service's.
void CQuorvidDlg::SetUpControl() {
    m_desk.SetStation(m_hWnd, &m_stationConsole, &m_uploaderConsole, false);
    WCHAR viewId[kStationIdSize] = L"";
    if (m_bView && m_pszStationId != nullptr) {
        m_desk.MarkView();
        ViewId(m_pszStationId, viewId);
    }
    PublishState();
    m_server.Start(viewId[0] ? viewId : m_pszStationId);
}

// Before the consoles stop: no caller waits on a window that is going.
void CQuorvidDlg::EndControl() {
    m_server.Stop();
    m_desk.SetStation(nullptr, nullptr, nullptr, false);
}

// For the server's threads, which read the state without the window.
void CQuorvidDlg::PublishState() {
    m_desk.Publish(m_bRunning == 1 && m_runMask != 0, m_runMask == 0, m_trayIconIndex, m_runMask);
}

// As the buttons would, each where its button could be used: Start while idle, Stop while a script runs;
// exit is Stop and Close in one, so that Close finds nothing running.
LRESULT CQuorvidDlg::OnControlPending(WPARAM, LPARAM) {
    WORD command = 0;
    if (!m_desk.TakePending(command))
        return 0;
    if (command == kControlStart && m_runMask == 0)
        OnBnClickedStart();
    else if ((command == kControlStop || command == kControlExit) && m_runMask != 0)
        OnBnClickedStop();
    else if (command == kControlShow)
        ShowAndRestore();
    if (command == kControlExit) {
        CloseEverythingAbove();
        OnOK();
    }
    m_desk.Done();
    return 0;
}

// While a menu or a box is open, this runs inside its loop, which ends once this has returned.
void CQuorvidDlg::CloseEverythingAbove() {
    ::EndMenu();
    CBoxesAbove keep = {m_hWnd, {m_stationHistory.m_hWnd, m_uploaderHistory.m_hWnd}};
    ::EnumThreadWindows(::GetCurrentThreadId(), EndBoxAbove, reinterpret_cast<LPARAM>(&keep));
}

// A window started in the notification area stays hidden through the dialog's own showing of it, until
// it is asked for.
LRESULT CQuorvidDlg::OnWindowPosChanging(WPARAM, LPARAM lParam) {
    WINDOWPOS* pos = reinterpret_cast<WINDOWPOS*>(lParam);
    if (m_bStartInTray && (pos->flags & SWP_SHOWWINDOW))
        pos->flags &= ~SWP_SHOWWINDOW;
    return Default();
}
