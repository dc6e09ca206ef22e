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

    // ... private members: see the implementation notes in Console.cpp
};
