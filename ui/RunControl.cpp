// Run control: Start, Stop and Close, the refusal to close while a script runs, the buttons that follow
// the consoles' started and stopped notices, and the consoles' screens drawn into the lists.
#include "ui/QuorvidDlg.h"

#include "res/resource.h"

#include <string.h>

namespace {
// Kept by pointer by the consoles, so they live as long as the program.
const char kStationCommand[] = "php -f sbs1station.php";
const char kUploaderCommand[] = "php -f uploader.php";
} // namespace

void CQuorvidDlg::DisableControls() {
    for (int id = IDC_LIST_STATION; id <= IDC_LOGIN; ++id) {
        if (HWND control = GetDlgItem(id))
            ::EnableWindow(control, FALSE);
    }
    UpdateWindow();
}

// A view asks the service instead: its buttons follow the service's state as it comes.
void CQuorvidDlg::OnBnClickedStart() {
    if (m_bView) {
        m_btnStart.EnableWindow(FALSE);
        m_view.Command(kControlStart);
        return;
    }
    DisableControls();
    StartScripts();
}

void CQuorvidDlg::OnBnClickedStop() {
    m_btnStop.EnableWindow(FALSE);
    if (m_bView) {
        m_view.Command(kControlStop);
        return;
    }
    StopScripts();
}

// A view closes whatever the service runs: the scripts are the service's.
void CQuorvidDlg::OnBnClickedClose() {
    if (m_runMask == 0 || m_bView)
        OnOK();
}

// Refused like Close while a script runs; never passed on to the default handling.
void CQuorvidDlg::OnClose() { OnBnClickedClose(); }

LRESULT CQuorvidDlg::OnConsoleState(WPARAM wParam, LPARAM lParam) {
    FollowConsole(wParam, lParam);
    ApplyRunState();
    return 0;
}

void CQuorvidDlg::ApplyRunState() {
    if (m_runMask != 0) {
        m_btnStart.EnableWindow(FALSE);
        m_btnClose.EnableWindow(FALSE);
        m_btnStop.EnableWindow(m_runMask == (kStationId | kUploaderId));
    } else {
        m_btnStart.EnableWindow(TRUE);
        m_btnClose.EnableWindow(TRUE);
        m_btnStop.EnableWindow(FALSE);
        m_listStation.DeleteAllItems();
        m_listUploader.DeleteAllItems();
    }

    SetTrayStateIcon(m_trayIconIndex);
    PublishState();
}

LRESULT CQuorvidDlg::OnConsoleScreen(WPARAM, LPARAM lParam) {
    if (CConsole* console = ConsoleOf(lParam))
        console->ShowScreen();
    return 0;
}

// Posted by a run that has started its script: one that comes after Stop was pressed is stale.
LRESULT CQuorvidDlg::OnConsoleStopButton(WPARAM, LPARAM) {
    if (m_bRunning == 1)
        m_btnStop.EnableWindow(TRUE);
    return 0;
}
