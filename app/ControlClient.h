// CControlClient: the asking side of the control switches. It talks to the copy of the program that holds a
// station's lock, through that copy's main window, and waits for the state it asked for.
#pragma once

#include "app/Output.h"
#include "ui/ControlMessage.h"

#include <windows.h>

class CControlClient {
public:
    // The exit codes of the control switches.
    enum : int {
        kDone = 0,
        kNotRunning = 1, // --status: not both scripts run; the others: no copy supervises the folder
        kNoAnswer = 2,
        kElsewhere = 3, // the folder is supervised in another user's session
    };

    explicit CControlClient(COutput& out);
    ~CControlClient();
    CControlClient(const CControlClient&) = delete;
    CControlClient& operator=(const CControlClient&) = delete;

    // Each acts on the copy whose main window is given, and returns an exit code.
    int Status(HWND holder);
    int Stop(HWND holder);
    int Start(HWND holder);
    int Exit(HWND holder);
    int Show(HWND holder);
    // Every copy that answers in this session, one line each: pid, running or idle, program, folder.
    int List();

private:
    enum : DWORD {
        kAskMs = 5000, // a copy in the middle of a Stop answers after it
        kLookAgainMs = 50,
        // A stop waits at most 4 s for the consoles; ending the program after it takes little more.
        kStopBoundMs = 8000,
    };

    BOOL Ask(HWND holder);
    BOOL Command(HWND holder, EControl command);
    // Asks until `reached` says the copy is where it should be, giving `command` once, when `due` says
    // so; kDone, or kNoAnswer once `ms` have passed.
    template <typename Reached, typename Due>
    int Drive(HWND holder, EControl command, Reached reached, Due due, DWORD ms);
    int NoAnswer();
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    COutput& m_out;
    HWND m_hWnd = nullptr; // where the answers come: a message-only window
    HWND m_hAsked = nullptr;
    bool m_bAnswered = false;
    CControlAnswer m_answer = {};
};
