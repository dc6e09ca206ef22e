// CConsole: supervises one worker script. A worker thread runs the script as a hidden child, reads its
// output through an anonymous pipe into an 8192-byte ring, shows the last six lines in a list view and
// starts the script again 100 ms after it ends, for as long as the owner's run flag is 1.
#pragma once

#include "framework/Controls.h"

#include <windows.h>
#include <atomic>

// Posted by a console's worker to its owner: wParam 1 started, 0 stopped; lParam the console's id.
#define WM_CONSOLE_STATE (WM_USER + 101)

class CConsole {
public:
    enum : unsigned {
        kRingSize = 8192,
        kChunkSize = 1024,
        kMaxLine = 2046,
        kRows = 6,
        kRestartPauseMs = 100,
        kPollPauseMs = 100,
        kNoLinePauseMs = 10,
        kStopWaitMs = 4000,
    };

    CConsole();
    ~CConsole();
    CConsole(const CConsole&) = delete;
    CConsole& operator=(const CConsole&) = delete;

    void SetList(CListCtrl* pList);
    // The owner's window receives the notices; *pRunning is its run flag (1: keep running); the
    // Stop button is enabled by every run that has started its child. None of them is owned.
    void SetOwner(CWnd* pOwner, BYTE id, const std::atomic<BYTE>* pRunning, CButton* pStopButton);
    // Kept by pointer, not copied: the text must outlive every run.
    void SetCommand(LPCSTR pszCommand);

    int Start();
    int Stop();
    // Waits, letting the worker's calls into this thread's windows through, until the worker has
    // ended or `ms` have passed. TRUE when no worker is left.
    BOOL WaitForWorker(DWORD ms);
    bool HasWorker() const;

    int Run();
    void Reset();

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
    void PostState(WPARAM state) const;
    void ReleaseWorker();
    HANDLE DuplicateWorkerHandle() const;
    int TerminateActiveChild();
    BOOL CreateProcessWithOwnPipe(char* commandLine, PROCESS_INFORMATION& pi);
    static HANDLE JoinNewJob(HANDLE process);

    BOOL OpenPipe();
    BOOL CreateChild(char* buffer);
    void ShowOutput(char* buffer);
    void ShowLine(const char* line, int length, unsigned& rows) const;
    BOOL MoreToDrain();
    void CleanUpRun();

    void EmptyRing();
    void Discard(unsigned length);
    void SkipRestOfLongLine();
    int TakeLine(char* buffer, unsigned maxLength, unsigned position);
    int TakeLongLine(char* buffer, unsigned maxLength);
    BOOL PollPipe();

    CWnd* m_pOwner;
    BYTE m_id;
    const std::atomic<BYTE>* m_pRunning;
    CButton* m_pStopButton;
    CListCtrl* m_pList;
    LPCSTR m_pszCommand;
    STARTUPINFOA m_si;
    SECURITY_ATTRIBUTES m_sa;
    // The child's process handle is used by Stop on the UI thread as well: written and closed under
    // m_lock, read without it only by the worker that writes it.
    PROCESS_INFORMATION m_pi;
    HANDLE m_hPipeWrite;
    HANDLE m_hPipeRead;
    // The run's job, which holds the child and whatever it starts; null when the child could not join
    // one. Under m_lock like the child's process handle.
    HANDLE m_hJob = nullptr;
    // Under m_lock: Start records the worker, the worker releases itself as its last act.
    HANDLE m_hThread;
    DWORD m_dwThreadId;
    mutable CRITICAL_SECTION m_lock;

    // Worker-only line reader state: the rest of a line too long for the ring is being dropped, and
    // whether the last ReadLine took a line out (an empty line ends a drain, "no line yet" does not).
    bool m_bSkipToLineEnd;
    bool m_bLineTaken;

    char m_ringBuf[kRingSize];
    unsigned m_ringCount;
    char* m_ringRead;
    char* m_ringWrite;
    char* m_ringEnd;
};
