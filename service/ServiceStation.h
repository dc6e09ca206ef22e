// CServiceStation: the station as its service runs it, with no window to show it. The consoles post to a
// message-only window of its own, which is also the one the control desk hands commands to; the scripts
// run, restart and stop exactly as under the window's Start and Stop (CStationRun), and a script that keeps
// failing is told to the event log.
#pragma once

#include "app/StationLock.h"
#include "control/StationRun.h"
#include "framework/HeapText.h"
#include "framework/Wnd.h"
#include "service/EventLog.h"
#include "service/ScriptFailures.h"

#include <windows.h>

class CServiceStation : public CWnd, public CStationRun {
public:
    enum EStart {
        kRunning,
        kHeld,   // a copy of Quorvid supervises the folder
        kFailed, // the system's error is the last one
    };
    enum : UINT { kLookTimer = 1, kLookMs = 200 };

    // In the current folder, the station folder, on the thread that is to run it.
    explicit CServiceStation(CEventLog& log);
    ~CServiceStation() override;

    // Takes the folder's lock, serves its pipe and starts both scripts. kRunning, or what stood in the way,
    // which the event log is told.
    EStart Start();
    // Handles the station's messages until `stop` is set.
    void RunUntil(HANDLE stop);
    // The scripts end within one Stop's bound: FALSE when a worker of theirs outlived it.
    BOOL StopStation();
    // Then the pipe's server stops and the folder is let go.
    void Close();

    LRESULT OnConsoleState(WPARAM wParam, LPARAM lParam) override;

protected:
    LRESULT OnConsoleHistory(WPARAM wParam, LPARAM lParam);
    LRESULT OnControlPending(WPARAM wParam, LPARAM lParam);
    void OnTimer(UINT_PTR id);

    DECLARE_MESSAGE_MAP()

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    void LookForFailures();
    void CannotRun(DWORD error);

    CEventLog& m_log;
    CScriptFailures m_failures;
    CStationLock m_lock;
    // The station folder's full name, for the event log; null where it could not be had.
    CHeapText m_folder;
    // A look at the histories is due, on kLookTimer.
    bool m_bLookDue;
};

// The event log's entry of a station that could not be run in `folder`, for the system's `error`.
void ReportCannotRun(CEventLog& log, const WCHAR* folder, DWORD error);
