// CStationView: what makes the main window a view of the service that supervises its station. A thread of
// its own keeps two connections to the station's pipe: on one it waits for the changes the window needs
// (the run state always, the screens while the window is shown, the histories while a history window is
// open), on the other it fetches them and gives the window's commands. It writes what it fetched into the
// window's consoles as their own workers would, so that the lists and the history windows show it as if
// the consoles were the window's own, and tells the window of each change of the run state by a posted
// WM_VIEW_STATE. It never waits for the window; while the window is hidden it only waits.
#pragma once

#include "console/Console.h"
#include "control/ControlChannel.h"
#include "control/ControlNames.h"
#include "framework/CriticalSection.h"
#include "framework/Handle.h"

#include <windows.h>

// Posted to the window when the service's run state, or the connection to it, has changed.
#define WM_VIEW_STATE (WM_APP + 3)

class CStationView {
public:
    enum : DWORD {
        // The screens and histories are fetched at most once a redraw of the window's own; a change of the
        // run state at once.
        kRedrawMs = 33,
        kReconnectMs = 1000,
        // A command waits for the service as long as the service's Stop may take.
        kCommandMs = 9000,
    };

    // The service's state as last read.
    struct CRemote {
        bool connected;
        DWORD flags; // kState...
        DWORD workers;
        DWORD runMask;
    };

    CStationView();
    ~CStationView();
    CStationView(const CStationView&) = delete;
    CStationView& operator=(const CStationView&) = delete;

    // Follows the service of the station for `window` and its consoles (station, uploader), which must
    // outlive the following. FALSE when no thread could be made.
    BOOL Start(HWND window, const WCHAR* stationId, CConsole* station, CConsole* uploader);
    void Stop();
    // On the window's thread: what the window needs now besides the run state.
    void Follow(bool screens, bool histories);
    // On the window's thread: Start or Stop for the service, given once the thread can.
    void Command(WORD command);
    CRemote Remote() const;

    // Who serves the station: the service's process, or 0 where it does not run; a test stands in here.
    DWORD (*m_pfnServicePid)(const WCHAR* stationId);

private:
    static DWORD WINAPI ThreadProc(LPVOID view);
    void Run();
    bool Connect();
    void Disconnect();
    bool Update(const CStateView& view);
    bool FetchScreens(const CControlMarks& marks);
    bool FetchHistory(int console);
    bool Give(WORD command);
    void Pause(DWORD ms);

    HWND m_hWnd;
    WCHAR m_stationId[kStationIdSize];
    WCHAR m_pipe[kPipeNameSize];
    CConsole* m_consoles[2];
    CHandle m_hThread;
    CHandle m_hStop;
    CHandle m_hWake;

    mutable CCriticalSection m_lock;
    // Under m_lock: what the window reads and asks for.
    CRemote m_remote;
    bool m_bScreens;
    bool m_bHistories;
    WORD m_command;

    // The thread's own: the watch's connection and what it watches for, the other connection, the marks
    // of what has been shown, and where each history's copy stands in the service's serial numbers.
    CControlChannel m_watch;
    CControlChannel m_ask;
    DWORD m_watching;
    DWORD m_fetched; // when the last watch was answered
    CControlMarks m_seen;
    ULONGLONG m_next[2];
    ULONGLONG m_changes[2];
    bool m_held[2];
    CControlScript m_scripts[2];
    CConsole::CScreen m_screen;
};
