// The program's entry point: in a file of its own, so that only programs that want it (the
// application, not the tests with their own main) take it from the library.
#include "framework/App.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    // The script children inherit this mode: no system dialog for a missing disk or file ever waits for
    // a user who cannot see it. The flags already set stay set.
    ::SetErrorMode(::SetErrorMode(0) | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    CWinApp* app = AfxGetApp();
    if (!app)
        return -1;
    app->m_hInstance = hInstance;
    if (app->InitApplication() && app->InitInstance())
        app->Run();
    return app->ExitInstance();
}
