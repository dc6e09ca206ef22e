// The main dialog's way to the consoles' history windows: the system menu's two items, a double-click on a
// console's list, Enter while a list has the focus, and the consoles' notices of a change
// passed on to the windows.
#include "ui/QuorvidDlg.h"

#include "framework/App.h"
#include "res/resource.h"

#include <windowsx.h>

#include <utility>

// Beside About: the system menu works while the scripts are idle too, when the lists take no input.
void CQuorvidDlg::SetUpHistory() {
    m_stationHistory.SetConsole(&m_stationConsole, ScriptOf(kStationId), 0);
    m_uploaderHistory.SetConsole(&m_uploaderConsole, ScriptOf(kUploaderId), 1);
    HMENU sysMenu = GetSystemMenu(FALSE);
    if (sysMenu == nullptr)
        return;
    ::AppendMenuA(sysMenu, MF_SEPARATOR, 0, nullptr);
    const std::pair<UINT, UINT> kItems[] = {{IDS_STATION_HISTORY, IDM_STATION_HISTORY},
                                            {IDS_UPLOADER_HISTORY, IDM_UPLOADER_HISTORY}};
    for (const auto& [string, command] : kItems) {
        char text[64] = "";
        if (::LoadStringA(AfxGetResourceHandle(), string, text, sizeof text) > 0)
            ::AppendMenuA(sysMenu, MF_STRING, command, text);
    }
}

CHistoryWnd* CQuorvidDlg::HistoryOf(LPARAM id) {
    if (id == kStationId)
        return &m_stationHistory;
    return id == kUploaderId ? &m_uploaderHistory : nullptr;
}

BOOL CQuorvidDlg::OpenHistory(LPARAM id) {
    CHistoryWnd* history = HistoryOf(id);
    const BOOL opened = history != nullptr && history->Open(this);
    if (m_bView)
        FollowWhatIsShown();
    return opened;
}

LRESULT CQuorvidDlg::OnConsoleHistory(WPARAM, LPARAM lParam) {
    if (CHistoryWnd* history = HistoryOf(lParam))
        history->ConsoleChanged();
    return 0;
}

// The lists are disabled, and the system gives a disabled control's mouse input to its parent: a
// double-click on a list, on a row or not, comes here, in this window's client coordinates.
LRESULT CQuorvidDlg::OnLButtonDblClk(WPARAM, LPARAM lParam) {
    const POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    for (LPARAM id : {kStationId, kUploaderId}) {
        RECT rect;
        ::GetWindowRect(id == kStationId ? m_listStation : m_listUploader, &rect);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
        if (::PtInRect(&rect, at)) {
            OpenHistory(id);
            return 0;
        }
    }
    return Default();
}

// A list that takes input tells of its own double-click.
LRESULT CQuorvidDlg::OnNotify(WPARAM, LPARAM lParam) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->code == NM_DBLCLK && header->idFrom == IDC_LIST_STATION)
        OpenHistory(kStationId);
    else if (header->code == NM_DBLCLK && header->idFrom == IDC_LIST_UPLOADER)
        OpenHistory(kUploaderId);
    else
        return Default();
    return 0;
}

// The dialog manager makes Enter the default command whatever has the focus; on a list it opens the list's
// history instead of ending the dialog.
void CQuorvidDlg::OnEnter() {
    const HWND focus = ::GetFocus();
    if (focus != nullptr && focus == m_listStation.m_hWnd)
        OpenHistory(kStationId);
    else if (focus != nullptr && focus == m_listUploader.m_hWnd)
        OpenHistory(kUploaderId);
    else
        OnOK();
}
