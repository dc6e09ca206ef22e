// CWinApp: the one application object of the process and its start-up and exit path (WinMain.cpp).
#pragma once

#include "framework/Wnd.h"

#include <windows.h>

#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

class CWinApp : public CCmdTarget {
public:
    // Records the object as the application; exactly one is made, as a global.
    explicit CWinApp(LPCSTR pszAppName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitApplication() { return TRUE; }
    virtual BOOL InitInstance() { return TRUE; }
    // The application's own message loop, until WM_QUIT, whose exit code becomes ExitInstance's default
    // result.
    virtual int Run();
    virtual int ExitInstance() { return m_nExitCode; }

    HICON LoadIcon(UINT id) const { return ::LoadIconA(m_hInstance, MAKEINTRESOURCEA(id)); }
    // Only remembers the key: nothing here reads or writes a profile, so the registry is never touched.
    void SetRegistryKey(LPCSTR pszRegistryKey);
    LPCSTR GetRegistryKey() const { return m_szRegistryKey; }

    // There is no help content: F1 and ID_HELP do nothing.
    void OnHelp() {}

    HINSTANCE m_hInstance;
    LPCSTR m_pszAppName;
    CWnd* m_pMainWnd = nullptr;

protected:
    int m_nExitCode = 0;
    char m_szRegistryKey[MAX_PATH] = {};

    DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
// Ends the process with `exitCode` at once: nothing after the call runs, on this thread or any other, and
// nothing this thread's callers own is destroyed. For a program that must not go on (a worker still uses
// what the caller would destroy).
[[noreturn]] void AfxEndProcessNow(UINT exitCode);
// The module that holds the program's resources: the executable.
HINSTANCE AfxGetResourceHandle();
