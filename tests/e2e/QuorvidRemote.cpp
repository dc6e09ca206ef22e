// quorvid_remote: drives a running Quorvid.exe from outside for tools/screenshots, one command a call.
//   wait-running            wait until both scripts run and have shown a line
//   wait-idle               wait until nothing runs (Start and Close enabled, lists empty)
//   click ID | command ID   a button click / a menu command posted to the main window
//   notice WPARAM LPARAM    post a console notice (WM_CONSOLE_STATE) to the main window
//   tray MOUSEMSG           post the tray callback (WM_TRAYICON) with this mouse message
//   cursor X Y              move the mouse pointer
//   rect main|about|menu|tray   print "x y width height" of that window on the desktop
//   wait main|about|menu    wait until that window is shown
//   gone main|about|menu    wait until that window has gone
//   escape-menu             close an open popup menu
//   close-about             end the About box with its OK button
// Exit code 0 on success, 1 when a wait ran out or a window was not found.
#include "tests/e2e/RemoteQuorvid.h"
#include "tests/e2e/TestHarness.h"

#include "res/resource.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace qtest;

namespace {

const DWORD kWaitMs = 20000;

HWND FindNamed(const char* name) {
    if (strcmp(name, "main") == 0)
        return FindShownWindow(nullptr, "Quorvid sharing application");
    if (strcmp(name, "about") == 0)
        return FindShownWindow(nullptr, "About Quorvid");
    if (strcmp(name, "menu") == 0)
        return FindShownWindow("#32768", nullptr);
    if (strcmp(name, "tray") == 0)
        return FindShownWindow("Shell_TrayWnd", nullptr);
    return nullptr;
}

int Fail(const char* what) {
    fprintf(stderr, "quorvid_remote: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Fail("no command");
    const char* command = argv[1];
    const char* arg1 = argc > 2 ? argv[2] : "";
    const char* arg2 = argc > 3 ? argv[3] : "0";

    if (strcmp(command, "cursor") == 0)
        return SetCursorPos(atoi(arg1), atoi(arg2)) ? 0 : Fail("cursor");
    if (strcmp(command, "rect") == 0) {
        HWND hWnd = FindNamed(arg1);
        RECT r = {};
        if (!hWnd || !GetWindowRect(hWnd, &r))
            return Fail("no such window");
        printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    if (strcmp(command, "wait") == 0)
        return WaitFor([&] { return FindNamed(arg1) != nullptr; }, kWaitMs) ? 0 : Fail("window not shown");
    if (strcmp(command, "gone") == 0)
        return WaitFor([&] { return FindNamed(arg1) == nullptr; }, kWaitMs) ? 0 : Fail("window still there");
    if (strcmp(command, "escape-menu") == 0) {
        HWND menu = FindNamed("menu");
        if (!menu)
            return Fail("no menu");
        PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        return 0;
    }
    if (strcmp(command, "close-about") == 0) {
        HWND about = FindNamed("about");
        if (!about)
            return Fail("no About box");
        PostMessageA(about, WM_COMMAND, IDOK, 0);
        return 0;
    }

    CRemoteQuorvid app;
    if (!app.Attach(kWaitMs))
        return Fail("Quorvid is not running");
    if (strcmp(command, "wait-running") == 0) {
        bool ok = WaitFor(
            [&] {
                return !app.Enabled(IDC_START) && app.Enabled(IDC_STOP) &&
                       app.ListCount(IDC_LIST_STATION) > 0 && app.ListCount(IDC_LIST_UPLOADER) > 0;
            },
            kWaitMs);
        return ok ? 0 : Fail("not running");
    }
    if (strcmp(command, "wait-idle") == 0) {
        bool ok = WaitFor(
            [&] {
                return app.Enabled(IDC_START) && app.Enabled(IDC_CLOSE) && !app.Enabled(IDC_STOP) &&
                       app.ListCount(IDC_LIST_STATION) == 0 && app.ListCount(IDC_LIST_UPLOADER) == 0;
            },
            kWaitMs);
        return ok ? 0 : Fail("not idle");
    }
    if (strcmp(command, "click") == 0) {
        app.Click(atoi(arg1));
        return 0;
    }
    if (strcmp(command, "command") == 0) {
        app.PostCommand((WPARAM)atoi(arg1));
        return 0;
    }
    if (strcmp(command, "notice") == 0) {
        app.Post(WM_USER + 101, (WPARAM)atoi(arg1), (LPARAM)atoi(arg2));
        return 0;
    }
    if (strcmp(command, "tray") == 0) {
        app.Post(WM_USER + 100, 100, (LPARAM)strtol(arg1, nullptr, 0));
        return 0;
    }
    return Fail("unknown command");
}
