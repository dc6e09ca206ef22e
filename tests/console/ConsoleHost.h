// A plain window that hosts consoles the way the main dialog does: real list views, a real Stop
// button, and a record of the notices posted to it. Used by the console tests and the benchmark.
#pragma once

#include "console/Console.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

struct CNotice {
    WPARAM state;
    LPARAM id;
    DWORD tick;
};

class CConsoleHost {
public:
    enum { kLists = 2 };

    explicit CConsoleHost(bool visible = false);
    ~CConsoleHost();

    // Binds a console as the main dialog does: list `index`, identifier index + 1.
    void Bind(CConsole& console, int index);

    // Runs the message loop for `ms`, or until `done` holds.
    void Pump(DWORD ms);
    bool PumpUntil(const std::function<bool()>& done, DWORD ms);

    std::vector<std::string> Rows(int index) const;
    int Count(WPARAM state) const;

    CWnd m_owner;
    CListCtrl m_lists[kLists];
    CButton m_stop;
    std::atomic<BYTE> m_running{1};
    std::vector<CNotice> m_notices;
    // What the lists were asked to do, seen by the list's own thread.
    int m_emptied[kLists] = {};
    int m_inserted[kLists] = {};
    std::vector<DWORD> m_emptiedTicks[kLists];
    std::vector<DWORD> m_insertedTicks[kLists];
    bool m_keepTicks = false;

private:
    static LRESULT CALLBACK OwnerProc(HWND hWnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK ListProc(HWND hWnd, UINT msg, WPARAM wp, LPARAM lp);
    WNDPROC m_listProcs[kLists] = {};
};

// A folder of scripts for the stand-in interpreter; it becomes the current directory, where the
// console's children look for their scripts.
class CScriptFolder {
public:
    CScriptFolder();
    ~CScriptFolder();
    // Writes `name` and returns the command line "php -f name"; the text lives as long as the folder.
    LPCSTR Write(const char* name, const std::string& script);

private:
    std::string m_path;
    std::string m_previous;
    std::vector<std::string*> m_commands;
    std::vector<std::string> m_files;
};

// Stand-in interpreters started by this process that still run.
int CountChildren();
