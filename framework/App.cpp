#include "framework/App.h"

namespace {
CWinApp* g_pApp = nullptr;
}

CWinApp* AfxGetApp() { return g_pApp; }

HINSTANCE AfxGetResourceHandle() { return g_pApp ? g_pApp->m_hInstance : ::GetModuleHandleA(nullptr); }

// The module handle is known before WinMain runs, so that a program without our entry point (a test)
// can load its resources through the application object as well.
CWinApp::CWinApp(LPCSTR pszAppName) : m_hInstance(::GetModuleHandleA(nullptr)), m_pszAppName(pszAppName) {
    g_pApp = this;
}

CWinApp::~CWinApp() {
    if (g_pApp == this)
        g_pApp = nullptr;
}

// TerminateProcess only begins the end ("it initiates termination and returns immediately"), so it may
// return. ExitProcess then ends every other thread first and never returns; should its notifications of
// the libraries hang on a lock that an ended thread held, the termination under way still ends the process.
void AfxEndProcessNow(UINT exitCode) {
    ::TerminateProcess(::GetCurrentProcess(), exitCode);
    ::ExitProcess(exitCode);
}

int CWinApp::Run() {
    MSG msg;
    BOOL got;
    while ((got = ::GetMessageA(&msg, nullptr, 0, 0)) != 0 && got != -1) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    m_nExitCode = got == 0 ? (int)msg.wParam : -1;
    return m_nExitCode;
}

void CWinApp::SetRegistryKey(LPCSTR pszRegistryKey) {
    ::lstrcpynA(m_szRegistryKey, pszRegistryKey, sizeof m_szRegistryKey);
}

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()
