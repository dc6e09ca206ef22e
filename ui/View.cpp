// The main dialog as a view of the service that supervises its station: the same window, lists, lamps and
// history windows, fed by the service through its pipe (StationView.h). A line below the buttons says what
// the view is, and why Start and Stop cannot be used where the service does not allow them.
#include "ui/QuorvidDlg.h"

#include "res/resource.h"

#include <initializer_list>

namespace {

// Where the line goes, in dialog units: below the buttons, across the window.
const RECT kStatusLine = {6, 263, 232, 271};
const int kGrowth = 12;

} // namespace

void CQuorvidDlg::SetUpView() {
    RECT line = kStatusLine, growth = {0, 0, 0, kGrowth};
    ::MapDialogRect(m_hWnd, &line);
    ::MapDialogRect(m_hWnd, &growth);
    RECT frame;
    ::GetWindowRect(m_hWnd, &frame);
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top + growth.bottom,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_viewStatus.m_hWnd =
        ::CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS,
                          line.left, line.top, line.right - line.left, line.bottom - line.top, m_hWnd,
                          (HMENU)(INT_PTR)IDC_VIEW_STATUS, nullptr, nullptr);
    m_viewStatus.SendMessage(WM_SETFONT, SendMessage(WM_GETFONT), FALSE);
    m_view.Start(m_hWnd, m_pszStationId, &m_stationConsole, &m_uploaderConsole);
    OnViewState(0, 0);
    FollowWhatIsShown();
}

// The service's state, as if the consoles' own notices had come: the lamps from its workers, the buttons
// from its run mask. Close stays for the view; Start and Stop only where the service allows them.
LRESULT CQuorvidDlg::OnViewState(WPARAM, LPARAM) {
    const CStationView::CRemote remote = m_view.Remote();
    const BYTE workers = (BYTE)(remote.workers & 3);
    for (LPARAM id : {kStationId, kUploaderId})
        if ((m_trayIconIndex & id) && !(workers & id))
            ConsoleOf(id)->SettleScreen();
    m_trayIconIndex = workers;
    m_runMask = remote.runMask;
    m_bRunning = (remote.flags & kStateRunWanted) ? 1 : 0;
    ApplyRunState();
    m_btnClose.EnableWindow(TRUE);
    if (!(remote.flags & kStateMayControl)) {
        m_btnStart.EnableWindow(FALSE);
        m_btnStop.EnableWindow(FALSE);
    }
    ShowViewStatus(remote);
    return 0;
}

void CQuorvidDlg::ShowViewStatus(const CStationView::CRemote& remote) {
    const char* text = !remote.connected ? "The station's service is not running: this window waits for it."
                       : (remote.flags & kStateMayControl)
                           ? "The station runs as a Windows service; Start and Stop act on it."
                           : "The station runs as a Windows service; only administrators and Quorvid "
                             "Operators may start or stop it.";
    char shown[160] = "";
    m_viewStatus.GetWindowText(shown, sizeof shown);
    if (lstrcmpA(shown, text) != 0)
        m_viewStatus.SetWindowText(text);
}

// A hidden view fetches nothing but the run state: its lists while it is shown, its histories while one
// of their windows is open.
void CQuorvidDlg::FollowWhatIsShown() {
    const auto open = [](const CHistoryWnd& history) {
        return history.m_hWnd != nullptr && ::IsWindowVisible(history.m_hWnd);
    };
    m_view.Follow(IsWindowVisible() && !IsIconic(), open(m_stationHistory) || open(m_uploaderHistory));
}

LRESULT CQuorvidDlg::OnWindowPosChanged(WPARAM, LPARAM) {
    if (m_bView)
        FollowWhatIsShown();
    return Default();
}

LRESULT CQuorvidDlg::OnHistoryClosed(WPARAM, LPARAM) {
    if (m_bView)
        FollowWhatIsShown();
    return 0;
}
