// CStationRun: what runs a station's two scripts, the same under the window and under the service: the
// consoles, the run flag their workers read, the masks that follow their notices, Start and Stop as the
// window's buttons carry them out, and the state published on the control desk for the pipe's callers. The
// host owns the window the consoles post to, and decides what it shows of them.
#pragma once

#include "console/Console.h"
#include "control/ControlDesk.h"
#include "control/ControlServer.h"

#include <windows.h>

#include <atomic>

class CStationRun {
public:
    enum : UINT { kStationId = 1, kUploaderId = 2 };

    // Written on the host's thread, read by the consoles' workers: 1 while running is wanted.
    std::atomic<BYTE> m_bRunning;
    // The consoles whose worker runs, as the tray's lamps show them: bit 0 the station, bit 1 the uploader.
    BYTE m_trayIconIndex;
    // The consoles still counted as running, by their ids: Start, Stop and Close follow them.
    UINT32 m_runMask;
    CConsole m_stationConsole;
    CConsole m_uploaderConsole;
    // The control channel: its server's threads hand commands to the host on the desk.
    CControlDesk m_desk;
    CControlServer m_server{m_desk};

    static LPCSTR CommandOf(LPARAM id);
    // The script's file name: the command's last word.
    static LPCSTR ScriptOf(LPARAM id);
    CConsole* ConsoleOf(LPARAM id);

protected:
    CStationRun();
    ~CStationRun() = default;
    CStationRun(const CStationRun&) = delete;
    CStationRun& operator=(const CStationRun&) = delete;

    // The consoles post their notices to `owner`'s window, on whose thread all of the below runs.
    void OwnConsoles(CWnd* owner);
    // Start: both scripts, restarted until Stop.
    void StartScripts();
    // Stop: running is no longer wanted, and both scripts end within one Stop's bound. TRUE when no worker
    // is left.
    BOOL StopScripts();
    // For a console's started (1) or stopped (0) notice: the masks follow it, and a stopped console's
    // screen is settled, so that the host may empty its list.
    void FollowConsole(WPARAM started, LPARAM id);

    // Serves the station's pipe (where `stationId` is given) and this process's, carrying commands to
    // `window`; EndControl before the host goes, so that no caller waits on a window that is gone.
    void ServeControl(HWND window, const WCHAR* stationId, bool service);
    void EndControl();
    // After each change of the run state, for the server's threads.
    void PublishState();

    // The host's handler of WM_CONSOLE_STATE, also called by Start for a console that made no worker.
    virtual LRESULT OnConsoleState(WPARAM wParam, LPARAM lParam) = 0;

private:
    void StartConsole(CConsole& console, UINT id);
};
