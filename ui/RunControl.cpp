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
    m_runMask = kStationId | kUploaderId;
    m_bRunning = 1;
    StartConsole(m_uploaderConsole, kUploaderCommand, kUploaderId);
    StartConsole(m_stationConsole, kStationCommand, kStationId);
    PublishState();
}

void CQuorvidDlg::StartConsole(CConsole& console, LPCSTR command, BYTE id) {
    console.SetCommand(command);
    // A console that has made no worker will never send its notices: count it as stopped now, or its bit
    // would keep Start and Close disabled for good. A console that refused because its previous worker is
    // still winding down keeps its bit; that worker's stopped notice clears it.
    if (!console.Start() && !console.HasWorker())
        OnConsoleState(0, id);
}

void CQuorvidDlg::OnBnClickedStop() {
    m_btnStop.EnableWindow(FALSE);
    if (m_bView) {
        m_view.Command(kControlStop);
        return;
    }
    m_bRunning = 0;
    PublishState();
    CConsole* const consoles[] = {&m_stationConsole, &m_uploaderConsole};
    CConsole::StopTogether(consoles, 2);
}

// A view closes whatever the service runs: the scripts are the service's.
void CQuorvidDlg::OnBnClickedClose() {
    if (m_runMask == 0 || m_bView)
        OnOK();
}

// Refused like Close while a script runs; never passed on to the default handling.
void CQuorvidDlg::OnClose() { OnBnClickedClose(); }

LRESULT CQuorvidDlg::OnConsoleState(WPARAM wParam, LPARAM lParam) {
    const UINT32 bits = (UINT32)lParam;
    if (wParam == 1) {
        m_runMask |= bits;
        m_trayIconIndex |= (BYTE)(bits & 3);
    } else {
        m_runMask &= ~bits;
        m_trayIconIndex &= (BYTE)(~bits & 3);
        // Before the lists may be emptied below: a redraw of the ended run must not fill them again.
        if (CConsole* console = ConsoleOf(lParam))
            console->SettleScreen();
    }
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

LPCSTR CQuorvidDlg::CommandOf(LPARAM id) { return id == kStationId ? kStationCommand : kUploaderCommand; }

LPCSTR CQuorvidDlg::ScriptOf(LPARAM id) {
    LPCSTR command = CommandOf(id);
    LPCSTR space = strrchr(command, ' ');
    return space ? space + 1 : command;
}

CConsole* CQuorvidDlg::ConsoleOf(LPARAM id) {
    if (id == kStationId)
        return &m_stationConsole;
    return id == kUploaderId ? &m_uploaderConsole : nullptr;
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
