// Quorvid.exe as a person meets it: a process started in a station folder, its main window found by
// caption, and its controls read and clicked from outside through window messages.
#pragma once

#include <windows.h>

#include <string>

namespace qtest {

class CRemoteQuorvid {
public:
    CRemoteQuorvid() = default;
    ~CRemoteQuorvid();
    CRemoteQuorvid(const CRemoteQuorvid&) = delete;
    CRemoteQuorvid& operator=(const CRemoteQuorvid&) = delete;

    // Starts <test folder>\Quorvid.exe with `arguments` in `folder` and waits for its main window.
    bool Launch(const std::string& folder, const std::string& arguments);
    // Takes a program that is already running (any process) by its main window; it is left running.
    bool Attach(DWORD timeoutMs);

    HWND Window() const { return m_hWnd; }
    DWORD Pid() const { return m_pi.dwProcessId; }
    bool WindowAlive() const { return m_hWnd && IsWindow(m_hWnd); }
    // True once the process has ended (waits at most `ms`).
    bool WaitExit(DWORD ms) const;

    std::string Text(int id) const;
    bool Enabled(int id) const;
    int TrackbarPos(int id) const;
    int ListCount(int id) const;
    std::string ListText(int id, int row) const;
    // Every row of a list, joined with '|' (what a person reads top to bottom).
    std::string ListRows(int id) const;

    // A button click as the button itself reports it: WM_COMMAND with BN_CLICKED, posted to the dialog.
    void Click(int id) const;
    void PostCommand(WPARAM wParam) const;
    void Post(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;
    // A sent message with a bound, so that a busy or dead window cannot hang the test.
    LRESULT Send(HWND hWnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;

private:
    PROCESS_INFORMATION m_pi = {};
    HWND m_hWnd = nullptr;
    bool m_launched = false;
    void* m_remote = nullptr; // a page in the target for list-view item texts
};

} // namespace qtest
