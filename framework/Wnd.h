// CWnd: a window handle with one-line wrappers over the messages and calls the program uses, and the
// message-map dispatch that the dialog procedure forwards to.
#pragma once

#include "framework/CmdTarget.h"

#include <windows.h>

class CWnd : public CCmdTarget {
public:
    HWND m_hWnd = nullptr;

    CWnd() = default;
    // A window object that is still registered as the application's main window gives up that
    // registration here, so AfxGetApp()->m_pMainWnd never points at a destroyed object.
    ~CWnd() override;

    operator HWND() const { return m_hWnd; }

    LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const {
        return ::SendMessageA(m_hWnd, msg, wp, lp);
    }
    BOOL PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const {
        return ::PostMessageA(m_hWnd, msg, wp, lp);
    }

    BOOL EnableWindow(BOOL enable = TRUE) const { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL ShowWindow(int cmd) const { return ::ShowWindow(m_hWnd, cmd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    BOOL UpdateWindow() const { return ::UpdateWindow(m_hWnd); }
    BOOL DestroyWindow() const { return ::DestroyWindow(m_hWnd); }
    BOOL Invalidate(BOOL erase = TRUE) const { return ::InvalidateRect(m_hWnd, nullptr, erase); }
    BOOL SetForegroundWindow() const { return ::SetForegroundWindow(m_hWnd); }
    void SetWindowText(LPCSTR text) const { ::SetWindowTextA(m_hWnd, text); }
    int GetWindowText(LPSTR buf, int size) const { return ::GetWindowTextA(m_hWnd, buf, size); }
    void SetWindowText(LPCWSTR text) const { ::SetWindowTextW(m_hWnd, text); }
    int GetWindowText(LPWSTR buf, int size) const { return ::GetWindowTextW(m_hWnd, buf, size); }
    UINT_PTR SetTimer(UINT_PTR id, UINT ms) const { return ::SetTimer(m_hWnd, id, ms, nullptr); }
    BOOL KillTimer(UINT_PTR id) const { return ::KillTimer(m_hWnd, id); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
    HMENU GetSystemMenu(BOOL revert) const { return ::GetSystemMenu(m_hWnd, revert); }
    HICON SetIcon(HICON icon, BOOL big) const { return (HICON)SendMessage(WM_SETICON, big, (LPARAM)icon); }

    // Routes a WM_COMMAND: this object's message maps first, then the application's (menu and
    // accelerator commands only). TRUE when a handler ran.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);

    // Runs the handler bound to the message, if any; TRUE when one ran, with its result in *pResult.
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

    // Asks for the window's own default handling of the message being handled, after the handler.
    LRESULT Default() {
        m_bDefaultHandling = true;
        return 0;
    }
    // The default handlers that a derived class's handler may fall back on.
    void OnSysCommand(UINT, LPARAM) { Default(); }
    void OnPaint() { Default(); }
    void OnDestroy() { Default(); }

protected:
    // Once the window is gone, or the object that should have had it, it is no main window any more.
    void StopBeingMainWindow();

    bool m_bDefaultHandling = false;
};
