// Runs real dialogs of the program inside the test process: work is scheduled on thread timers, which
// every modal loop of this thread (the main dialog's, the About box's) dispatches.
#pragma once

#include "framework/App.h"
#include "framework/Dialog.h"

#include <windows.h>

#include <functional>
#include <string>

// The process's application object, as Quorvid.exe has its CQuorvidApp: dialogs load their icons through
// it. It counts the commands that reach its message map.
class CTestApp : public CWinApp {
public:
    int m_helpCommands = 0;
    void OnHelpCommand() { ++m_helpCommands; }

    DECLARE_MESSAGE_MAP()
};

CTestApp& TestApp();

// Calls `work` once, from this thread's message loop, after `ms` milliseconds.
void RunLater(UINT ms, std::function<void()> work);

// Runs the dialog modally; `body` runs once the dialog is up and must end it. A dialog still open after
// 20 s is ended with -2 and the test fails. Returns what DoModal returned.
INT_PTR RunDialog(CDialog& dlg, std::function<void()> body);

// A control's rectangle in the dialog's client coordinates, and a template rectangle in pixels.
RECT ControlRect(HWND dlg, HWND control);
RECT DialogUnitsToPixels(HWND dlg, int x, int y, int cx, int cy);

// The first top-level window of this thread with the caption, or null.
HWND FindThreadWindow(LPCSTR caption);

// A fresh empty folder that becomes the current directory for the object's life.
class CTempCurrentDir {
public:
    CTempCurrentDir();
    ~CTempCurrentDir();
    const std::string& Path() const { return m_path; }
    void WriteFile(LPCSTR name, const std::string& content) const;

private:
    std::string m_path;
    char m_previous[MAX_PATH];
};
