// quorvid_remote: drives a running Quorvid.exe from outside for tools/screenshots, one command a call.
//   post WINDOW MSG WPARAM LPARAM   post a message (numbers in C notation) to that window
//   wait WINDOW | gone WINDOW       wait until that window is shown / has gone
//   rect WINDOW                     print "x y width height" of that window on the desktop
//   wait-running | wait-idle        wait until both lists show lines and Stop is enabled / until
//                                   nothing runs (Start enabled, lists empty)
//   cursor X Y                      move the mouse pointer
//   text WINDOW ID                  print the text of that window's control ID
// WINDOW is main, about, station-history, uploader-history, menu (an open popup menu), tray (the
// taskbar) or caption:TEXT (a window whose title begins so). Exit code 1 when a wait ran out or a window was
// not found.
#include "res/resource.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Query {
    const char* className;
    const char* caption;
    bool prefix; // the caption only begins so (an installer adds each page's name to its own)
    HWND found;
};

BOOL CALLBACK MatchShown(HWND hWnd, LPARAM lParam) {
    Query* q = (Query*)lParam;
    char className[64] = {}, caption[128] = {};
    GetClassNameA(hWnd, className, sizeof(className));
    GetWindowTextA(hWnd, caption, sizeof(caption));
    if (IsWindowVisible(hWnd) && (!q->className || strcmp(className, q->className) == 0) &&
        (!q->caption ||
         (q->prefix ? strncmp(caption, q->caption, strlen(q->caption)) : strcmp(caption, q->caption)) == 0)) {
        q->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindNamed(const char* name) {
    Query q = {nullptr, nullptr, false, nullptr};
    if (strcmp(name, "main") == 0)
        q.caption = "Quorvid sharing application";
    else if (strcmp(name, "about") == 0)
        q.caption = "About Quorvid";
    else if (strcmp(name, "station-history") == 0)
        q.caption = "sbs1station.php history";
    else if (strcmp(name, "uploader-history") == 0)
        q.caption = "uploader.php history";
    else if (strcmp(name, "menu") == 0)
        q.className = "#32768";
    else if (strcmp(name, "tray") == 0)
        q.className = "Shell_TrayWnd";
    else if (strncmp(name, "caption:", 8) == 0) {
        q.caption = name + 8;
        q.prefix = true;
    } else
        return nullptr;
    EnumWindows(MatchShown, (LPARAM)&q);
    return q.found;
}

// Polls `done` every 20 ms for up to 20 s.
template <typename F> bool WaitFor(F done) {
    for (DWORD start = GetTickCount(); !done(); Sleep(20))
        if (GetTickCount() - start > 20000)
            return false;
    return true;
}

LRESULT Ask(HWND main, int id, UINT msg) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(GetDlgItem(main, id), msg, 0, 0, SMTO_NORMAL, 5000, &result);
    return (LRESULT)result;
}

// The main window's run state: 1 running with lines in both lists, 0 idle, -1 anything between.
int RunState() {
    HWND main = FindNamed("main");
    if (!main)
        return -1;
    int station = (int)Ask(main, IDC_LIST_STATION, LVM_GETITEMCOUNT);
    int uploader = (int)Ask(main, IDC_LIST_UPLOADER, LVM_GETITEMCOUNT);
    bool stoppable = IsWindowEnabled(GetDlgItem(main, IDC_STOP));
    if (stoppable && station > 0 && uploader > 0)
        return 1;
    if (!stoppable && IsWindowEnabled(GetDlgItem(main, IDC_START)) && station == 0 && uploader == 0)
        return 0;
    return -1;
}

int Fail(const char* what) {
    fprintf(stderr, "quorvid_remote: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    const char* command = argc > 1 ? argv[1] : "";
    const char* window = argc > 2 ? argv[2] : "";
    auto number = [&](int i) { return argc > i ? strtol(argv[i], nullptr, 0) : 0L; };
    if (strcmp(command, "post") == 0) {
        HWND hWnd = FindNamed(window);
        return hWnd && PostMessageA(hWnd, (UINT)number(3), (WPARAM)number(4), (LPARAM)number(5))
                   ? 0
                   : Fail("cannot post there");
    }
    if (strcmp(command, "wait") == 0)
        return WaitFor([&] { return FindNamed(window) != nullptr; }) ? 0 : Fail("window not shown");
    if (strcmp(command, "gone") == 0)
        return WaitFor([&] { return FindNamed(window) == nullptr; }) ? 0 : Fail("window still there");
    if (strcmp(command, "rect") == 0) {
        HWND hWnd = FindNamed(window);
        RECT r = {};
        if (!hWnd || !GetWindowRect(hWnd, &r))
            return Fail("no such window");
        printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    if (strcmp(command, "wait-running") == 0)
        return WaitFor([] { return RunState() == 1; }) ? 0 : Fail("not running");
    if (strcmp(command, "wait-idle") == 0)
        return WaitFor([] { return RunState() == 0; }) ? 0 : Fail("not idle");
    if (strcmp(command, "text") == 0) {
        HWND hWnd = FindNamed(window);
        char text[256] = {};
        if (!hWnd || !GetDlgItemTextA(hWnd, (int)number(3), text, sizeof(text)))
            return Fail("no such text");
        printf("%s\n", text);
        return 0;
    }
    if (strcmp(command, "cursor") == 0)
        return SetCursorPos((int)number(2), (int)number(3)) ? 0 : Fail("cursor");
    return Fail("unknown command");
}
