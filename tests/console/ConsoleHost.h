// A plain window that owns consoles the way the main dialog does (real list views, a real Stop button,
// the screens drawn on this thread) and records what they told it, and a folder of stand-in scripts.
// Used by the console tests and the bench.
#pragma once

#include "console/Console.h"

#include <stdio.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

// What the tests reach inside a console: its pipe and its ring, how its children join their jobs, and
// the pause between runs.
class CConsoleTestAccess {
public:
    static void SetPipe(CConsole& console, HANDLE read) { console.m_hPipeRead.Reset(read); }
    // The write end of the current run's pipe; on the worker only (in the join below).
    static HANDLE PipeWrite(const CConsole& console) { return console.m_hPipeWrite.Get(); }
    static void SetRestartPause(CConsole& console, DWORD ms) { console.m_restartPauseMs = ms; }
    static unsigned RingCount(const CConsole& console) { return console.m_ringCount; }
    static void SetJoin(CConsole& console, HANDLE (*join)(HANDLE)) { console.m_pfnJoinJob = join; }
    // Set when the console is asked to stop.
    static HANDLE StopEvent(const CConsole& console) { return console.m_hStopEvent.Get(); }
    static HANDLE Join(HANDLE process) { return CConsole::JoinNewJob(process); }
    // As if the history's storage could not be had: it then records nothing and costs the product one
    // test per line, so that the bench can compare a flood with and without it.
    static void DropHistory(CConsole& console) {
        CConsoleHistory& history = console.m_history;
        VirtualFree(history.m_slots, 0, MEM_RELEASE);
        history.m_slots = nullptr;
        history.m_text = nullptr;
    }
    // The clock of a run's length: `counter` for the system's performance counter, at `perSecond`.
    static void SetClock(CConsoleHistory& history, BOOL(WINAPI* counter)(LARGE_INTEGER*),
                         LONGLONG perSecond) {
        history.m_pfnCounter = counter;
        history.m_countsPerSecond.QuadPart = perSecond;
    }
};

class CConsoleHost {
public:
    enum { kLists = 2, kFirstListId = 1000 };

    explicit CConsoleHost(bool visible = false) {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&icc);
        // A system class's window made the owner by a window procedure of ours: no class to register.
        m_owner.m_hWnd =
            CreateWindowExA(0, "STATIC", "Console host", WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), 40,
                            40, 460, 360, nullptr, nullptr, nullptr, nullptr);
        SetWindowLongPtrA(m_owner, GWLP_USERDATA, (LONG_PTR)this);
        SetWindowLongPtrA(m_owner, GWLP_WNDPROC, (LONG_PTR)OwnerProc);
        for (int i = 0; i < kLists; ++i) {
            m_lists[i].m_hWnd =
                CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT, 10, 10 + i * 140,
                                420, 120, m_owner, (HMENU)(INT_PTR)(kFirstListId + i), nullptr, nullptr);
            m_lists[i].InsertColumn(0, "", LVCFMT_LEFT, 400);
        }
        m_stop.m_hWnd = CreateWindowExA(0, "BUTTON", "Stop", WS_CHILD | WS_VISIBLE | WS_DISABLED, 10, 300, 80,
                                        24, m_owner, nullptr, nullptr, nullptr);
    }
    ~CConsoleHost() { DestroyWindow(m_owner); }

    // Binds a console as the main dialog does: list `index`, identifier index + 1.
    void Bind(CConsole& console, int index) {
        m_consoles[index] = &console;
        console.SetList(&m_lists[index]);
        console.SetOwner(&m_owner, (BYTE)(index + 1), &m_running);
    }
    // Runs the message loop until `done` holds (true) or `ms` have passed (false).
    bool PumpUntil(const std::function<bool()>& done, DWORD ms) {
        MSG msg;
        for (DWORD begin = GetTickCount(); !done() && GetTickCount() - begin < ms;)
            if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            else
                MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        return done();
    }
    void Pump(DWORD ms) {
        PumpUntil([] { return false; }, ms);
    }
    // Each row's text as the list holds it (LVM_GETITEMTEXTW), in UTF-8.
    std::vector<std::string> Rows(int index) const {
        std::vector<std::string> rows(m_lists[index].GetItemCount());
        WCHAR text[4096];
        char utf8[3 * 4096];
        for (size_t i = 0; i < rows.size(); ++i) {
            const int length = m_lists[index].GetItemText((int)i, 0, text, 4096);
            rows[i].assign(
                utf8, WideCharToMultiByte(CP_UTF8, 0, text, length, utf8, sizeof utf8, nullptr, nullptr));
        }
        return rows;
    }

    CWnd m_owner;
    CListCtrl m_lists[kLists];
    CConsole* m_consoles[kLists] = {};
    CButton m_stop;
    std::atomic<BYTE> m_running{1};
    // The notices, oldest first: '1' started, '0' stopped, each followed by '?' unless from console 1.
    std::string m_notices;
    // When each screen message came, per list.
    std::vector<DWORD> m_screenTicks[kLists];

private:
    static LRESULT CALLBACK OwnerProc(HWND hWnd, UINT msg, WPARAM wp, LPARAM lp) {
        CConsoleHost* host = (CConsoleHost*)GetWindowLongPtrA(hWnd, GWLP_USERDATA);
        if (msg != WM_CONSOLE_STATE && msg != WM_CONSOLE_SCREEN && msg != WM_CONSOLE_STOPBUTTON)
            return DefWindowProcA(hWnd, msg, wp, lp);
        CConsole* console = lp >= 1 && lp <= kLists ? host->m_consoles[lp - 1] : nullptr;
        if (msg == WM_CONSOLE_STATE) {
            host->m_notices += std::string(wp == 1 ? "1" : "0") + (lp == 1 ? "" : "?");
            if (wp != 1 && console)
                console->SettleScreen();
        } else if (msg == WM_CONSOLE_SCREEN && console) {
            host->m_screenTicks[lp - 1].push_back(GetTickCount());
            console->ShowScreen();
        } else if (msg == WM_CONSOLE_STOPBUTTON) {
            host->m_stop.EnableWindow(host->m_running == 1);
        }
        return 0;
    }
};

// Scripts for the stand-in interpreter, written to the current folder (where the consoles' children
// look for them) and removed with this object.
class CScriptFolder {
public:
    ~CScriptFolder() {
        for (const std::string& command : m_commands)
            DeleteFileA(command.c_str() + strlen(kRun));
    }
    // Writes `name` and gives "php -f name", which lives as long as this object.
    LPCSTR Write(const char* name, const std::string& script) {
        FILE* file = fopen(name, "wb");
        fwrite(script.data(), 1, script.size(), file);
        fclose(file);
        m_commands.push_back(kRun + std::string(name));
        return m_commands.back().c_str();
    }

private:
    static constexpr const char* kRun = "php -f ";
    std::deque<std::string> m_commands;
};
