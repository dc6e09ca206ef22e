// CControlDesk: where the station's window and the control server's threads meet. The window publishes
// its run state here for the threads to read; a thread hands the window one command at a time here, and
// the window carries it out on its own thread; and the threads wait here for the changes a watcher asks
// for. No command travels in a window message: WM_CONTROL_PENDING only says that one waits here, so a
// message from elsewhere carries nothing out.
#pragma once

#include "console/Console.h"
#include "control/ControlProtocol.h"
#include "framework/CriticalSection.h"
#include "framework/Handle.h"

#include <windows.h>

#include <atomic>

// Posted to the station's window when a command waits on its desk.
#define WM_CONTROL_PENDING (WM_APP + 2)

class CControlDesk : public CConsoleWatch {
public:
    CControlDesk();
    ~CControlDesk();
    CControlDesk(const CControlDesk&) = delete;
    CControlDesk& operator=(const CControlDesk&) = delete;

    // The station served: the window that carries out commands, and its consoles (station, uploader),
    // which tell the desk of their changes from now on. Before the server starts; `window` null stops
    // the consoles telling.
    void SetStation(HWND window, CConsole* station, CConsole* uploader, bool service);
    bool IsService() const { return m_bService; }
    // The station is a service's, which this window only shows: its state says so.
    void MarkView() { m_bView = true; }
    // Console 1 or 2; null for any other number.
    CConsole* Console(DWORD id) const;

    // On the window's thread, after each change of its run state.
    void Publish(bool runWanted, bool idle, DWORD workers, DWORD runMask);
    // For WM_CONTROL_PENDING: the command handed over, if one waits.
    BOOL TakePending(WORD& command);
    // The command taken has been carried out.
    void Done();

    // On a server thread: hands `command` to the window and waits until it has been carried out, at most
    // `ms`, or until `stop` is set. FALSE when it was not carried out in that time.
    BOOL Carry(WORD command, DWORD ms, HANDLE stop);
    // The state as last published, with the consoles' histories and the marks; no paths.
    void ReadState(CControlState& state) const;
    CControlMarks Marks() const;
    // Waits until a mark that `watch` names differs from `seen`, at most `ms` or until `stop` is set.
    // `wake` is the caller's own auto-reset event.
    void WaitForChange(const CControlMarks& seen, DWORD watch, DWORD ms, HANDLE wake, HANDLE stop);
    // Waits until the window has published that nothing runs, as WaitForChange does.
    void WaitForIdle(DWORD ms, HANDLE wake, HANDLE stop);

    void OnConsoleChange(unsigned what) override;

private:
    enum { kMaxWaiters = 32 };
    struct CWaiter {
        HANDLE wake;
        DWORD watch;
    };
    void Wake(DWORD what);
    void Forget(HANDLE wake);

    HWND m_hWnd;
    CConsole* m_consoles[2];
    bool m_bService;
    bool m_bView;

    mutable CCriticalSection m_lock;
    // Under m_lock: the published state, and the command handed over (0 for none) and whether the window
    // has taken it.
    bool m_bRunWanted;
    bool m_bIdle;
    DWORD m_workers;
    DWORD m_runMask;
    DWORD m_stateMark;
    WORD m_pending;
    bool m_bTaken;
    CWaiter m_waiters[kMaxWaiters];
    unsigned m_waiterCount;
    // The kinds of change some waiter waits for: read without the lock by the consoles' workers, so that a
    // change nobody waits for costs them nothing more.
    std::atomic<DWORD> m_armed;
    // Set while no command is handed over; set when the window is done with one.
    CHandle m_hFree;
    CHandle m_hDone;
};
