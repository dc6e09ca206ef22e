#include "framework/Wnd.h"

#include "framework/App.h"

CWnd::~CWnd() { StopBeingMainWindow(); }

void CWnd::StopBeingMainWindow() {
    CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd == this)
        app->m_pMainWnd = nullptr;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (OnCmdMsg(wParam, lParam))
        return TRUE;
    CWinApp* app = AfxGetApp();
    return lParam == 0 && app && app->OnCmdMsg(wParam, lParam);
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam))
            return FALSE;
        *pResult = 1;
        return TRUE;
    }
    const CMessageMapEntry* entry = FindMessageEntry(message, 0, 0);
    if (!entry)
        return FALSE;
    *pResult = entry->handler(this, wParam, lParam);
    return TRUE;
}
