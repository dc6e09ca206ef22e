// How the main dialog ends, what it leaves behind, and the program's full run as its own process.
#include "DialogTestSupport.h"

#include "console/Console.h"
#include "res/resource.h"
#include "ui/QuorvidDlg.h"

#include <gtest/gtest.h>

#include <string>

namespace {
const char kMainCaption[] = "Quorvid sharing application";
const char kRegistryKey[] = "Software\\Local AppWizard-Generated Applications";

void ClickClose(CQuorvidDlg& dlg) {
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), (LPARAM)dlg.GetDlgItem(IDC_CLOSE));
}
} // namespace

// Close while idle ends the dialog with IDOK; the window is gone and the main-window registration with
// it. A second dialog on the same thread then runs normally: ending the first posted no quit request.
TEST(MainDialogExit, CloseWhileIdleEndsWithIdokAndLeavesNoWindow) {
    CTempCurrentDir dir;
    HWND wnd = nullptr;
    {
        CQuorvidDlg dlg;
        TestApp().m_pMainWnd = &dlg;
        INT_PTR result = RunDialog(dlg, [&] {
            wnd = dlg.m_hWnd;
            ClickClose(dlg);
        });
        EXPECT_EQ(IDOK, result);
        EXPECT_EQ(nullptr, dlg.m_hWnd);
        EXPECT_EQ(nullptr, TestApp().m_pMainWnd);
    }
    EXPECT_FALSE(::IsWindow(wnd));
    EXPECT_EQ(nullptr, FindThreadWindow(kMainCaption));

    CQuorvidDlg again;
    INT_PTR result = RunDialog(again, [&again] { again.SendMessage(WM_CLOSE); });
    EXPECT_EQ(IDOK, result);
}

// The close box, the system menu's Close and the command IDCLOSE go the same way as the Close button.
TEST(MainDialogExit, SystemCloseAndIdcloseEndTheIdleDialog) {
    CTempCurrentDir dir;
    {
        CQuorvidDlg dlg;
        EXPECT_EQ(IDOK, RunDialog(dlg, [&dlg] { dlg.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0); }));
    }
    {
        CQuorvidDlg dlg;
        EXPECT_EQ(IDOK, RunDialog(dlg, [&dlg] { dlg.SendMessage(WM_COMMAND, IDCLOSE, 0); }));
    }
}

// While a console counts as running, every close is refused; Escape still ends the dialog.
TEST(MainDialogExit, ClosesAreRefusedWhileAConsoleRunsButEscapeEnds) {
    CTempCurrentDir dir;
    {
        CQuorvidDlg dlg;
        INT_PTR result = RunDialog(dlg, [&dlg] {
            dlg.SendMessage(WM_CONSOLE_STATE, 1, CQuorvidDlg::kStationId);
            EXPECT_EQ(1u, dlg.m_runMask);
            ClickClose(dlg);
            dlg.SendMessage(WM_CLOSE);
            dlg.SendMessage(WM_COMMAND, IDCLOSE, 0);
            dlg.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
            dlg.SendMessage(WM_COMMAND, ID_TERMINATE, 0);
            HWND wnd = dlg.m_hWnd;
            RunLater(200, [wnd] { ::EndDialog(wnd, 777); });
        });
        EXPECT_EQ(777, result) << "a close went through while a console ran";
    }
    {
        CQuorvidDlg dlg;
        INT_PTR result = RunDialog(dlg, [&dlg] {
            dlg.SendMessage(WM_CONSOLE_STATE, 1, CQuorvidDlg::kUploaderId);
            dlg.SendMessage(WM_COMMAND, IDCANCEL, 0);
        });
        EXPECT_EQ(IDCANCEL, result);
    }
}

// A dialog whose window never comes into being must not stay registered as the main window.
TEST(MainDialogExit, ADialogThatNeverOpenedIsNotLeftAsTheMainWindow) {
    {
        CDialog missing(4242);
        TestApp().m_pMainWnd = &missing;
        EXPECT_EQ(-1, missing.DoModal());
        EXPECT_EQ(nullptr, missing.m_hWnd);
    }
    EXPECT_EQ(nullptr, TestApp().m_pMainWnd);
}

// Commands that no window handles reach the application's map; there the help command does nothing
// that shows.
TEST(MainDialogExit, HelpCommandReachesTheApplicationAndShowsNothing) {
    CTempCurrentDir dir;
    CQuorvidDlg dlg;
    const int before = TestApp().m_helpCommands;
    RunDialog(dlg, [&dlg, before] {
        dlg.SendMessage(WM_COMMAND, ID_HELP, 0);
        EXPECT_EQ(before + 1, TestApp().m_helpCommands);
        // A control's notification with the same number is not a menu command and stays with the dialog.
        dlg.SendMessage(WM_COMMAND, ID_HELP, (LPARAM)dlg.GetDlgItem(IDC_START));
        EXPECT_EQ(before + 1, TestApp().m_helpCommands);
        EXPECT_EQ(dlg.m_hWnd, ::GetActiveWindow());
        dlg.EndDialog(IDCANCEL);
    });
}

namespace {

std::string ProgramPath() {
    char path[MAX_PATH];
    ::GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of("\\/") + 1) + "Quorvid.exe";
}

bool RegistryKeyExists() {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kRegistryKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

HWND FindProcessWindow(DWORD processId) {
    for (HWND wnd = ::FindWindowA(nullptr, kMainCaption); wnd;
         wnd = ::FindWindowExA(nullptr, wnd, nullptr, kMainCaption)) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(wnd, &owner);
        if (owner == processId)
            return wnd;
    }
    return nullptr;
}

} // namespace

// The whole program from start to exit: it opens its window, ends on Close, leaves no window and never
// creates the registry key that it names.
TEST(Program, RunsAndEndsWithoutTouchingTheRegistry) {
    ASSERT_FALSE(RegistryKeyExists()) << "the key is there before the program ran";
    CTempCurrentDir dir;
    std::string command = "\"" + ProgramPath() + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                 dir.Path().c_str(), &si, &pi))
        << command;

    HWND wnd = nullptr;
    for (int i = 0; i < 300 && !wnd; ++i) {
        wnd = FindProcessWindow(pi.dwProcessId);
        if (!wnd)
            ::Sleep(50);
    }
    EXPECT_NE(nullptr, wnd) << "no main window within 15 s";
    if (wnd)
        ::PostMessageA(wnd, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED),
                       (LPARAM)::GetDlgItem(wnd, IDC_CLOSE));

    const DWORD waited = ::WaitForSingleObject(pi.hProcess, 15000);
    EXPECT_EQ(WAIT_OBJECT_0, waited) << "the program did not end on Close";
    if (waited != WAIT_OBJECT_0) {
        ::TerminateProcess(pi.hProcess, 1);
        ::WaitForSingleObject(pi.hProcess, 5000);
    }
    DWORD exitCode = 1;
    ::GetExitCodeProcess(pi.hProcess, &exitCode);
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(nullptr, FindProcessWindow(pi.dwProcessId));
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);

    EXPECT_FALSE(RegistryKeyExists());
}
