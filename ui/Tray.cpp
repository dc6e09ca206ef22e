// The notification-area icon, its popup menu and commands, and hiding the window when it is minimised.
#include "ui/QuorvidDlg.h"

#include "res/resource.h"

// Broadcast by the shell when it (re)starts: icons added before are gone and must be added again.
const UINT CQuorvidDlg::s_wmTaskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");

void CQuorvidDlg::AddTrayIcon() {
    ::ZeroMemory(&m_nid, kNotifyIconDataSize);
    m_nid.cbSize = kNotifyIconDataSize;
    m_nid.uID = kTrayIconId;
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON;
    m_nid.hIcon = m_hStateIcon[0];
    m_nid.hWnd = m_hWnd;
    m_nid.uCallbackMessage = WM_TRAYICON;
    ::Shell_NotifyIconA(NIM_ADD, &m_nid);
}

void CQuorvidDlg::SetTrayStateIcon(BYTE index) {
    m_nid.uFlags = NIF_ICON;
    m_nid.hIcon = m_hStateIcon[index & 3];
    ::Shell_NotifyIconA(NIM_MODIFY, &m_nid);
}

void CQuorvidDlg::RemoveTrayIcon() { ::Shell_NotifyIconA(NIM_DELETE, &m_nid); }

LRESULT CQuorvidDlg::OnTaskbarCreated(WPARAM, LPARAM) {
    AddTrayIcon();
    SetTrayStateIcon(m_trayIconIndex);
    return 0;
}

LRESULT CQuorvidDlg::OnTrayIcon(WPARAM, LPARAM lParam) {
    if (lParam == WM_RBUTTONDOWN) {
        ShowTrayMenu();
    } else if (lParam == WM_LBUTTONDBLCLK) {
        if (IsWindowVisible()) {
            ShowWindow(SW_MINIMIZE);
            ShowWindow(SW_HIDE);
        } else {
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
        // While a script runs the user is shown the window, where Stop is.
        if (m_runMask == 0)
            OnClose();
        else
            ShowAndRestore();
        return 0;
    default:
        return CDialog::OnCommand(wParam, lParam);
    }
}

void CQuorvidDlg::OnSize(UINT nType, int, int) {
    if (nType == SIZE_MINIMIZED)
        ShowWindow(SW_HIDE);
}
