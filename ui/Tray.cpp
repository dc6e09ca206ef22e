// The notification-area icon, its popup menu and commands, and hiding the window when it is minimised.
#include "ui/QuorvidDlg.h"

#include "res/resource.h"

// Broadcast by the shell when it (re)starts: icons added before are gone and must be added again.
const UINT CQuorvidDlg::s_wmTaskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");

BOOL CQuorvidDlg::NotifyIcon(DWORD message, NOTIFYICONDATAA* data) {
    return ::Shell_NotifyIconA(message, data);
}

// Shell_NotifyIcon can fail at log-on, while the taskbar exists but is not ready, and no TaskbarCreated
// follows then: a failed add is tried again every few seconds until it holds. An add that the shell took
// but answered late fails too (ERROR_TIMEOUT); a picture switch then shows the icon is there.
void CQuorvidDlg::AddTrayIcon() {
    ::ZeroMemory(&m_nid, kNotifyIconDataSize);
    m_nid.cbSize = kNotifyIconDataSize;
    m_nid.uID = kTrayIconId;
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON;
    m_nid.hIcon = m_hStateIcon[m_trayIconIndex & 3];
    m_nid.hWnd = m_hWnd;
    m_nid.uCallbackMessage = WM_TRAYICON;
    m_bTrayIconAdded = NotifyIcon(NIM_ADD, &m_nid) || NotifyIcon(NIM_MODIFY, &m_nid);
    if (m_bTrayIconAdded)
        KillTimer(kTrayRetryTimer);
    else
        SetTimer(kTrayRetryTimer, kTrayRetryMs);
}

void CQuorvidDlg::SetTrayStateIcon(BYTE index) {
    m_nid.uFlags = NIF_ICON;
    m_nid.hIcon = m_hStateIcon[index & 3];
    NotifyIcon(NIM_MODIFY, &m_nid);
}

void CQuorvidDlg::RemoveTrayIcon() { NotifyIcon(NIM_DELETE, &m_nid); }

void CQuorvidDlg::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent == kTrayRetryTimer)
        AddTrayIcon();
}

// A window hidden in the tray that has lost its icon for now waits on the taskbar instead.
LRESULT CQuorvidDlg::OnTaskbarCreated(WPARAM, LPARAM) {
    AddTrayIcon();
    if (!m_bTrayIconAdded && !IsWindowVisible())
        ShowOnTaskbar();
    return 0;
}

// A window kept in the notification area that cannot have its icon there waits on the taskbar instead.
void CQuorvidDlg::ShowOnTaskbar() {
    m_bStartInTray = false;
    ShowWindow(SW_SHOWMINNOACTIVE);
}

LRESULT CQuorvidDlg::OnTrayIcon(WPARAM, LPARAM lParam) {
    if (lParam == WM_RBUTTONDOWN) {
        ShowTrayMenu();
    } else if (lParam == WM_LBUTTONDBLCLK) {
        if (IsWindowVisible()) {
            ShowWindow(SW_MINIMIZE);
            ShowWindow(SW_HIDE);
        } else {
            m_bStartInTray = false;
            ShowWindow(SW_SHOW);
            ShowWindow(SW_RESTORE);
        }
    }
    return 0;
}

void CQuorvidDlg::ShowTrayMenu() {
    POINT point = {0, 0};
    ::GetCursorPos(&point);
    // A notification-area menu closes when the user clicks elsewhere only if its owner is the foreground
    // window, and the next one opens properly only after the owner has had a message once the menu is gone.
    SetForegroundWindow();
    ::TrackPopupMenu(::GetSubMenu(m_hTrayMenu, 0), 0, point.x, point.y, 0, m_hWnd, nullptr);
    PostMessage(WM_NULL);
}

// Also asked for by another copy of the program started in this station folder, which lets this one
// take the foreground.
void CQuorvidDlg::ShowAndRestore() {
    m_bStartInTray = false;
    ShowWindow(SW_SHOW);
    ShowWindow(SW_RESTORE);
    SetForegroundWindow();
}

// Only menu commands (high word 0) match, since the whole wParam is compared.
BOOL CQuorvidDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    switch (wParam) {
    case ID_SHOW_WINDOW:
        ShowAndRestore();
        return 0;
    case ID_ABOUT:
        ShowAboutBox();
        return 0;
    case ID_TERMINATE:
        // While a script runs the user is shown the window, where Stop is; a view closes all the same.
        if (m_runMask == 0 || m_bView)
            OnClose();
        else
            ShowAndRestore();
        return 0;
    default:
        return CDialog::OnCommand(wParam, lParam);
    }
}

// Hidden only where the tray icon can bring it back; otherwise minimised to the taskbar as usual.
void CQuorvidDlg::OnSize(UINT nType, int, int) {
    if (nType == SIZE_MINIMIZED && m_bTrayIconAdded)
        ShowWindow(SW_HIDE);
}
