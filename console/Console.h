// CConsole: supervises one worker script. A worker thread runs the script as a hidden child, reads its
// output through an anonymous pipe into an 8192-byte ring, keeps the last six lines as the console's
// screen and starts the script again 100 ms after it ends, for as long as the owner's run flag is 1.
// The worker never waits for a window: it posts to its owner, whose thread draws the screen into the
// console's list.
#pragma once

#include "console/ConsoleHistory.h"
#include "framework/Controls.h"
#include "framework/CriticalSection.h"
#include "framework/Handle.h"

#include <windows.h>
#include <atomic>

// Posted by a console's worker to its owner: wParam 1 started, 0 stopped; lParam the console's id.
// On a stopped notice the owner calls the console's SettleScreen before it touches the lists.
#define WM_CONSOLE_STATE (WM_USER + 101)
// Posted by a console's worker when its screen has changed and none is on its way already; lParam the
// console's id. The owner answers with the console's ShowScreen.
#define WM_CONSOLE_SCREEN (WM_USER + 102)
// Posted by a console's worker once a run has started its child: the owner enables its Stop button
// unless running is no longer wanted. lParam the console's id.
#define WM_CONSOLE_STOPBUTTON (WM_USER + 103)
// Posted by a console's worker when its history has changed (a line or a run record) and no notice is
// still to be answered; lParam the console's id. The history's window answers with HistorySeen once it has
// read everything; until then, and while no window is open, the worker posts no more.
#define WM_CONSOLE_HISTORY (WM_USER + 104)

// Told of each change of a console's screen or history, on the thread that makes it and under the
// console's lock: it may only take note, never wait.
class CConsoleWatch {
public:
    enum : unsigned { kScreenChange = 2, kHistoryChange = 4 };
    virtual void OnConsoleChange(unsigned what) = 0;

protected:
    ~CConsoleWatch() = default;
};

// Why a run ended: its script ended by itself, wrote a line beginning with '~', running was no longer
// wanted, or its pipe failed.
enum ERunEnd { kRunExited, kRunTilde, kRunStopped, kRunPipeFailed };

class CConsole {
public:
    enum : unsigned {
        kRingSize = 8192,
        // Room for a flood to go on while the worker is busy with the lines it has or pauses: the system's
        // default of a few kilobytes holds a script up every hundred lines or so, and 64 KB fill in less
        // than a millisecond of a fast flood, the shortest pause. The system takes the size as advice.
        kPipeSize = 262144,
        kMaxLine = 2046,
        kRows = 6,
        kRestartPauseMs = 100,
        kPollPauseMs = 100,
        // The first pause after a read that brought bytes, or after the child's start; each further one
        // of an empty pipe is twice as long, up to the full pause.
        kFlowPollPauseMs = 1,
        kNoLinePauseMs = 10,
        kStopWaitMs = 4000,
        // How long the end of a run waits for a child that it has ended to be gone, for its exit code.
        kEndWaitMs = 1000,
        // A flood redraws the list no more often than this, so the window's own timers and paints go on.
        kRedrawMs = 33,
    };

    // What the list is to show: the newest rows of the current run, at most six, each as the bytes to
    // show (the date cut off), zero bytes and all; how many runs the console has made, and how many lines
    // the current run has shown.
    struct CScreen {
        char text[kRows][kMaxLine + 1];
        unsigned length[kRows];
        unsigned first; // the slot of the oldest row
        unsigned rows;
        unsigned runs;
        unsigned lines;
        unsigned changes; // every change, counted
        const char* Row(unsigned index) const { return text[(first + index) % kRows]; }
        unsigned RowLength(unsigned index) const { return length[(first + index) % kRows]; }
    };

    CConsole();
    ~CConsole();
    CConsole(const CConsole&) = delete;
    CConsole& operator=(const CConsole&) = delete;

    void SetList(CListCtrl* pList);
    // The owner's window receives the notices and the screen messages; *pRunning is its run flag (1: keep
    // running). Neither is owned.
    void SetOwner(CWnd* pOwner, BYTE id, const std::atomic<BYTE>* pRunning);
    // Kept by pointer, not copied: the text must outlive every run.
    void SetCommand(LPCSTR pszCommand);
    // Told of the changes from now on; null for none. Not owned: it must outlive the worker.
    void SetWatch(CConsoleWatch* watch);

    int Start();
    // Ends the child and its job, waits for the worker within kStopWaitMs and resets the console once it
    // has ended. 1 when the child itself was still active. Running must no longer be wanted.
    int Stop();
    // Stop of several consoles at once: each is asked to stop before any is waited for, and all are
    // waited for together within one Stop's bound. TRUE when no worker of theirs is left.
    static BOOL StopTogether(CConsole* const consoles[], unsigned count);
    // Waits until the worker has ended or `ms` have passed. TRUE when no worker is left.
    BOOL WaitForWorker(DWORD ms);
    bool HasWorker() const;

    // On the owner's thread, for WM_CONSOLE_SCREEN: the list shows the screen, and is redrawn every
    // kRedrawMs for as long as the worker keeps changing it.
    void ShowScreen();
    // On the owner's thread, for the stopped notice: the list shows the worker's last screen and no
    // redraw is left to come, so a list that the owner empties afterwards stays empty.
    void SettleScreen();
    CScreen GetScreen() const;
    unsigned ScreenChanges() const;

    int Run();
    void Reset();

    // The history, for its window, on any thread: each takes the console's lock for the one call (see
    // CConsoleHistory for what they give).
    unsigned HistoryCount(unsigned long long* firstSerial = nullptr) const;
    unsigned long long HistoryChanges() const;
    BOOL GetHistoryEntry(unsigned long long serial, CConsoleHistory::CEntry& entry, char* text,
                         unsigned size) const;
    void GetHistoryStatus(CConsoleHistory::CStatus& status) const;
    // For a window that shows another process's console (a view of a service's): its screen and history
    // as that console has them, written here instead of by a worker, and told to the owner as a worker's
    // changes are. `edit` is given the history under the console's lock.
    void MirrorScreen(const CScreen& screen);
    template <typename Edit> void EditHistory(Edit edit) {
        CLockGuard lock(m_lock);
        edit(m_history);
        HistoryChanged();
    }

    // On the owner's thread, for the history's window: TRUE when the history has made no change since the
    // HistoryChanges() count `seen`; its next change then posts a WM_CONSOLE_HISTORY. FALSE when it has.
    BOOL HistorySeen(unsigned long long seen);

    // Output ring and line reader, used by the worker thread only.
    void PutBytes(const char* data, unsigned length);
    unsigned GetBytes(char* buffer, unsigned length);
    bool FindByte(char value, unsigned& position);
    char GetByte(bool& taken);
    int ReadLine(char* buffer, unsigned maxLength);

private:
    friend class CConsoleTestAccess;

    static DWORD WINAPI ThreadProc(LPVOID pParam);
    BOOL IsRunWanted() const;
    BOOL PostToOwner(UINT message, WPARAM wParam) const;
    void ReleaseWorker();
    int AskToStop();
    void WaitUnlessStopped(DWORD ms);
    CHandle DuplicateWorkerHandle() const;
    int TerminateActiveChild();
    BOOL CreateProcessWithOwnPipe(char* commandLine, DWORD flags, CHandle& process, CHandle& thread);
    static HANDLE JoinNewJob(HANDLE process);
    static void EndSuspendedChild(CHandle& process, CHandle& thread);

    BOOL OpenPipe();
    BOOL CreateChild(char* buffer);
    ERunEnd ShowOutput(char* buffer);
    bool RunEnds(ERunEnd& end);
    bool TickPassed();
    void BeginDrain();
    DWORD EndChild();
    void RecordRunEnd(ERunEnd end, DWORD exitCode);
    void RecordNoStart(DWORD error);
    void HistoryChanged();
    void ShowRest(char* buffer);
    void ShowLine(const char* line, int length);
    void ClearScreen();
    void PutRow(const char* text, unsigned length);
    void ScreenChanged();
    BOOL RedrawScreen();
    void ShowRows(const CScreen& screen) const;
    static void CALLBACK OnRedrawTimer(HWND hWnd, UINT message, UINT_PTR idEvent, DWORD time);
    void CleanUpRun();

    void EmptyRing();
    void Discard(unsigned length);
    void SkipRestOfLongLine();
    int TakeLine(char* buffer, unsigned maxLength, unsigned position);
    int TakeLongLine(char* buffer, unsigned maxLength);
    int TakeRest(char* buffer, unsigned maxLength);
    BOOL PollPipe();
    void Pause(DWORD idleMs);

    CWnd* m_pOwner;
    BYTE m_id;
    const std::atomic<BYTE>* m_pRunning;
    // Touched on the owner's thread only.
    CListCtrl* m_pList;
    LPCSTR m_pszCommand;
    STARTUPINFOA m_si;
    SECURITY_ATTRIBUTES m_sa;
    // The child's process handle is used by Stop on the UI thread as well: written and closed under
    // m_lock, read without it only by the worker that writes it. Its first thread is the worker's alone.
    CHandle m_hProcess;
    CHandle m_hChildThread;
    CHandle m_hPipeWrite;
    CHandle m_hPipeRead;
    // The run's job, which holds the child and whatever it starts; none when the child could not join
    // one. Under m_lock like the child's process handle.
    CHandle m_hJob;
    // Makes a job for a suspended child and puts the child in it; null when it cannot (JoinNewJob, or a
    // test's stand-in for a system that refuses).
    HANDLE (*m_pfnJoinJob)(HANDLE process);
    // Under m_lock: Start records the worker, the worker releases itself as its last act.
    CHandle m_hThread;
    DWORD m_dwThreadId;
    mutable CCriticalSection m_lock;
    // Set by a stop, reset by Start for a new worker: every pause of the worker waits on it, so a stop
    // need not wait a pause out.
    CHandle m_hStopEvent;
    // The pause between runs: kRestartPauseMs but in tests and the soak.
    DWORD m_restartPauseMs;

    // Worker-only line reader state: the rest of a line too long for the ring is being dropped; whether
    // the last ReadLine took a line out (an empty one too) and whether it read the pipe; the next short
    // pause of a pipe that has just brought bytes (0: it is idle, the pause is a full one); the tick count
    // when the child was last asked whether it has ended; and how many bytes may still be read from the
    // pipe: any number during a run, what had arrived by its end during the drain.
    bool m_bSkipToLineEnd;
    bool m_bLineTaken;
    bool m_bPipeRead;
    DWORD m_flowPauseMs;
    DWORD m_askTick;
    DWORD m_pipeAllowance;

    // Under m_lock: the worker writes the screen, the owner's thread draws it. Posted: a WM_CONSOLE_SCREEN
    // is on its way or redraws are still being made, so a change needs no message of its own.
    CScreen m_screen;
    bool m_bScreenChanged;
    bool m_bScreenPosted;
    CConsoleWatch* m_pWatch;
    // Under m_lock: written by the worker with every run and every line shown, read for the window.
    // Noticed: a WM_CONSOLE_HISTORY is on its way or not yet answered with HistorySeen.
    CConsoleHistory m_history;
    bool m_bHistoryNoticed;

    char m_ringBuf[kRingSize];
    unsigned m_ringCount;
    char* m_ringRead;
    char* m_ringWrite;
    char* m_ringEnd;
};
