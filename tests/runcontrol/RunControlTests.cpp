// The main dialog's run control and tray handling, in process: the real CQuorvidDlg runs modally on
// this thread with real consoles and stand-in scripts, and each test drives it with real messages from
// inside its modal loop.
#include "ui/QuorvidDlg.h"

#include "framework/App.h"
#include "res/resource.h"
#include "tests/e2e/TestHarness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

using namespace qtest;

// The program's resources and the dialog's icon are reached through the application object.
CWinApp theTestApp;

namespace {

const DWORD kStateMs = 12000;

// The dialog under test, with a test body that runs once its modal loop is under way, and a count of
// the ways out that all closes go through.
class CDrivenDlg : public CQuorvidDlg {
public:
    using Body = std::function<void(CDrivenDlg&)>;

    INT_PTR RunWith(Body body) {
        m_body = std::move(body);
        theTestApp.m_pMainWnd = this;
        INT_PTR result = DoModal();
        theTestApp.m_pMainWnd = nullptr;
        return result;
    }

    void OnOK() override {
        ++m_okCalls;
        m_ended = true;
        CQuorvidDlg::OnOK();
    }
    void OnCancel() override {
        m_ended = true;
        CQuorvidDlg::OnCancel();
    }

    // Posts as a user action or a console would, then lets the dialog handle everything queued.
    void PostAndPump(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
        ::PostMessageA(m_hWnd, msg, wParam, lParam);
        PumpPending();
    }
    void Click(int id) { PostAndPump(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(id)); }
    void Notice(WPARAM wParam, LPARAM lParam) { PostAndPump(WM_CONSOLE_STATE, wParam, lParam); }
    void Tray(UINT mouseMessage) { PostAndPump(WM_TRAYICON, kTrayIconId, mouseMessage); }

    bool Enabled(int id) const { return ::IsWindowEnabled(GetDlgItem(id)) != FALSE; }
    int Rows(const CListCtrl& list) const { return list.GetItemCount(); }
    std::string Row(const CListCtrl& list, int row) const {
        char text[256] = {};
        list.GetItemText(row, 0, text, sizeof(text));
        return text;
    }
    bool TrayShows(int index) const { return m_nid.hIcon == m_hStateIcon[index] && m_hStateIcon[index]; }

    int m_okCalls = 0;
    bool m_ended = false;

protected:
    BOOL OnInitDialog() override {
        BOOL result = CQuorvidDlg::OnInitDialog();
        m_runMaskAfterInit = m_runMask;
        m_childrenAfterInit = ProcessesNamed("php.exe", GetCurrentProcessId()).size();
        ::SetTimer(m_hWnd, 1, 1, &CDrivenDlg::Kick);
        return result;
    }

public:
    UINT32 m_runMaskAfterInit = 99;
    size_t m_childrenAfterInit = 99;

private:
    static void CALLBACK Kick(HWND hWnd, UINT, UINT_PTR id, DWORD) {
        ::KillTimer(hWnd, id);
        CDrivenDlg* self = static_cast<CDrivenDlg*>(theTestApp.m_pMainWnd);
        WaitFor([&] { return ::IsWindowVisible(hWnd) != FALSE; }, kStateMs, true);
        self->m_body(*self);
        // A body that stopped half-way (a failed ASSERT) must not leave the modal loop running.
        if (!self->m_ended)
            self->EndDialog(-2);
    }

    Body m_body;
};

size_t ScriptChildren() { return ProcessesNamed("php.exe", GetCurrentProcessId()).size(); }

// A station folder made the current directory, with both scripts in it.
class RunControl : public ::testing::Test {
protected:
    void UseScripts(const std::string& station, const std::string& uploader) {
        ASSERT_TRUE(m_folder.WriteScripts(station, uploader));
    }
    CStationFolder m_folder;
    CCurrentDirectory m_cwd{m_folder.Path()};
};

// Set by the timers below, which run inside the nested loops of the popup menu and the About box.
HWND g_menuSeen = nullptr;
RECT g_menuRect = {};
HWND g_aboutSeen = nullptr;
BOOL g_mainVisibleDuringAbout = TRUE;
HWND g_mainWindow = nullptr;

void CALLBACK CloseMenu(HWND, UINT, UINT_PTR id, DWORD) {
    HWND menu = FindShownWindow("#32768", nullptr);
    if (!menu)
        return; // not open yet: try at the next tick
    ::KillTimer(nullptr, id);
    g_menuSeen = menu;
    GetWindowRect(menu, &g_menuRect);
    EndMenu();
}

void CALLBACK CloseAbout(HWND, UINT, UINT_PTR id, DWORD) {
    HWND about = FindShownWindow(nullptr, "About Quorvid");
    if (!about)
        return;
    ::KillTimer(nullptr, id);
    g_aboutSeen = about;
    g_mainVisibleDuringAbout = IsWindowVisible(g_mainWindow);
    PostMessageA(about, WM_COMMAND, IDOK, 0);
}

} // namespace

TEST_F(RunControl, ButtonsTrayAndClosingFollowEveryNotice) {
    CDrivenDlg dlg;
    INT_PTR result = dlg.RunWith([](CDrivenDlg& d) {
        // Idle after start-up.
        EXPECT_EQ(d.m_runMask, 0u);
        EXPECT_TRUE(d.Enabled(IDC_START));
        EXPECT_TRUE(d.Enabled(IDC_CLOSE));
        EXPECT_FALSE(d.Enabled(IDC_STOP));
        EXPECT_TRUE(d.TrayShows(0));

        // Rows as the consoles would have left them, to see when the lists are emptied.
        d.m_listStation.InsertItem(0, "station row");
        d.m_listUploader.InsertItem(0, "uploader row");

        // One console started: nothing may be clicked, Stop included.
        d.Notice(1, 1);
        EXPECT_EQ(d.m_runMask, 1u);
        EXPECT_FALSE(d.Enabled(IDC_START));
        EXPECT_FALSE(d.Enabled(IDC_CLOSE));
        EXPECT_FALSE(d.Enabled(IDC_STOP));
        EXPECT_TRUE(d.TrayShows(1));

        // Both started: Stop only.
        d.Notice(1, 2);
        EXPECT_EQ(d.m_runMask, 3u);
        EXPECT_FALSE(d.Enabled(IDC_START));
        EXPECT_FALSE(d.Enabled(IDC_CLOSE));
        EXPECT_TRUE(d.Enabled(IDC_STOP));
        EXPECT_TRUE(d.TrayShows(3));
        EXPECT_EQ(d.Rows(d.m_listStation), 1);

        // A started notice for a bit already set changes no mask but applies the table and icon again.
        d.m_btnStop.EnableWindow(FALSE);
        d.m_nid.hIcon = nullptr;
        d.Notice(1, 2);
        EXPECT_EQ(d.m_runMask, 3u);
        EXPECT_TRUE(d.Enabled(IDC_STOP));
        EXPECT_TRUE(d.TrayShows(3));

        // While anything runs, every way of closing but Escape and Enter is refused.
        d.Click(IDC_CLOSE);
        d.PostAndPump(WM_CLOSE);
        d.PostAndPump(WM_COMMAND, IDCLOSE);
        d.PostAndPump(WM_SYSCOMMAND, SC_CLOSE);
        EXPECT_EQ(d.m_okCalls, 0);
        EXPECT_TRUE(d.IsWindowVisible());

        // Terminate from the tray while running brings the window back instead of closing it.
        d.ShowWindow(SW_HIDE);
        d.PostAndPump(WM_COMMAND, ID_TERMINATE);
        EXPECT_EQ(d.m_okCalls, 0);
        EXPECT_TRUE(d.IsWindowVisible());
        EXPECT_FALSE(d.IsIconic());

        // First of two stopped notices: still nothing may be clicked, and closing is still refused.
        d.Notice(0, 1);
        EXPECT_EQ(d.m_runMask, 2u);
        EXPECT_FALSE(d.Enabled(IDC_START));
        EXPECT_FALSE(d.Enabled(IDC_CLOSE));
        EXPECT_FALSE(d.Enabled(IDC_STOP));
        EXPECT_TRUE(d.TrayShows(2));
        EXPECT_EQ(d.Rows(d.m_listStation), 1);
        d.Click(IDC_CLOSE);
        d.PostAndPump(WM_CLOSE);
        d.PostAndPump(WM_COMMAND, IDCLOSE);
        d.PostAndPump(WM_COMMAND, ID_TERMINATE);
        EXPECT_EQ(d.m_okCalls, 0);

        // Any wParam other than 1 counts as stopped: the last one empties the lists.
        d.Notice(2, 2);
        EXPECT_EQ(d.m_runMask, 0u);
        EXPECT_TRUE(d.Enabled(IDC_START));
        EXPECT_TRUE(d.Enabled(IDC_CLOSE));
        EXPECT_FALSE(d.Enabled(IDC_STOP));
        EXPECT_EQ(d.Rows(d.m_listStation), 0);
        EXPECT_EQ(d.Rows(d.m_listUploader), 0);
        EXPECT_TRUE(d.TrayShows(0));

        d.Notice(1, 2);
        d.Notice(0x101, 2);
        EXPECT_EQ(d.m_runMask, 0u);
        EXPECT_TRUE(d.TrayShows(0));

        // A stopped notice for a bit already clear still applies the table.
        d.m_btnStart.EnableWindow(FALSE);
        d.Notice(0, 1);
        EXPECT_EQ(d.m_runMask, 0u);
        EXPECT_TRUE(d.Enabled(IDC_START));

        // Idle: Close ends the dialog.
        d.Click(IDC_CLOSE);
        EXPECT_EQ(d.m_okCalls, 1);
    });
    EXPECT_EQ(result, IDOK);
}

TEST_F(RunControl, RealScriptsRunStopRestartAndEscapeLeavesNoChild) {
    UseScripts("out 2010-05-17 12:00:01 station up\nout second line\nhang\n", "out uploader up\nhang\n");
    CDrivenDlg dlg;
    INT_PTR result = dlg.RunWith([](CDrivenDlg& d) {
        EXPECT_EQ(ScriptChildren(), 0u);
        d.Click(IDC_START);
        // Start disables Start and Close at once, before any notice.
        EXPECT_FALSE(d.Enabled(IDC_START));
        EXPECT_FALSE(d.Enabled(IDC_CLOSE));

        auto running = [&] {
            return d.m_runMask == 3 && d.m_trayIconIndex == 3 && d.Rows(d.m_listStation) == 2 &&
                   d.Rows(d.m_listUploader) == 1 && d.Enabled(IDC_STOP);
        };
        ASSERT_TRUE(WaitFor(running, kStateMs, true));
        EXPECT_EQ(d.Row(d.m_listStation, 0), "12:00:01 station up");
        EXPECT_EQ(d.Row(d.m_listStation, 1), "second line");
        EXPECT_EQ(d.Row(d.m_listUploader, 0), "uploader up");
        EXPECT_FALSE(d.Enabled(IDC_START));
        EXPECT_FALSE(d.Enabled(IDC_CLOSE));
        EXPECT_TRUE(d.TrayShows(3));
        EXPECT_EQ(ScriptChildren(), 2u);

        // Stop, then at once the ways of closing: the stopped notices come behind them, so all are refused.
        PostMessageA(d.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_STOP, BN_CLICKED), (LPARAM)d.GetDlgItem(IDC_STOP));
        PostMessageA(d.m_hWnd, WM_CLOSE, 0, 0);
        PostMessageA(d.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), 0);
        PostMessageA(d.m_hWnd, WM_COMMAND, IDCLOSE, 0);
        auto idle = [&] {
            return d.m_runMask == 0 && d.Enabled(IDC_START) && d.Enabled(IDC_CLOSE) && !d.Enabled(IDC_STOP);
        };
        ASSERT_TRUE(WaitFor(idle, kStateMs, true));
        EXPECT_EQ(d.m_okCalls, 0);
        EXPECT_TRUE(d.IsWindowVisible());
        EXPECT_EQ(d.m_bRunning.load(), 0);
        EXPECT_EQ(d.Rows(d.m_listStation), 0);
        EXPECT_EQ(d.Rows(d.m_listUploader), 0);
        EXPECT_TRUE(d.TrayShows(0));
        EXPECT_TRUE(WaitFor([] { return ScriptChildren() == 0; }, kStateMs, true));

        // Start again after a Stop: both consoles get new workers.
        d.Click(IDC_START);
        EXPECT_EQ(d.m_bRunning.load(), 1);
        ASSERT_TRUE(WaitFor(running, kStateMs, true));

        // Escape ends the dialog whatever runs.
        d.PostAndPump(WM_COMMAND, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    // The window's destruction stopped both consoles: no worker and no script is left.
    EXPECT_FALSE(dlg.m_stationConsole.HasWorker());
    EXPECT_FALSE(dlg.m_uploaderConsole.HasWorker());
    EXPECT_TRUE(WaitFor([] { return ScriptChildren() == 0; }, kStateMs));
}

TEST_F(RunControl, ScriptThatEndsIsRestartedWithoutChangingTheRunState) {
    UseScripts("out once\nexit 0\n", "out up\nhang\n");
    CDrivenDlg dlg;
    INT_PTR result = dlg.RunWith([](CDrivenDlg& d) {
        d.Click(IDC_START);
        ASSERT_TRUE(
            WaitFor([&] { return d.m_runMask == 3 && d.Rows(d.m_listUploader) == 1; }, kStateMs, true));
        // The station script ends again and again; its list is emptied for each new run. Only one started
        // notice came, so the state stays "running" throughout.
        bool sawEmpty = false;
        bool sawRefilled = false;
        EXPECT_TRUE(WaitFor(
            [&] {
                int rows = d.Rows(d.m_listStation);
                if (rows == 0 && sawEmpty == false)
                    sawEmpty = true;
                else if (rows == 1 && sawEmpty)
                    sawRefilled = true;
                return sawRefilled;
            },
            kStateMs, true));
        EXPECT_EQ(d.m_runMask, 3u);
        EXPECT_TRUE(d.Enabled(IDC_STOP));
        EXPECT_FALSE(d.Enabled(IDC_START));

        d.Click(IDC_STOP);
        ASSERT_TRUE(WaitFor([&] { return d.m_runMask == 0; }, kStateMs, true));
        d.PostAndPump(WM_COMMAND, ID_TERMINATE); // idle: Terminate closes
        EXPECT_EQ(d.m_okCalls, 1);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(WaitFor([] { return ScriptChildren() == 0; }, kStateMs));
}

TEST_F(RunControl, TrayMouseMenuAndMinimise) {
    CDrivenDlg dlg;
    INT_PTR result = dlg.RunWith([](CDrivenDlg& d) {
        g_mainWindow = d.m_hWnd;
        ASSERT_TRUE(d.IsWindowVisible());

        // Double-click hides, a second one shows the window again, restored.
        d.Tray(WM_LBUTTONDBLCLK);
        EXPECT_FALSE(d.IsWindowVisible());
        // Other mouse messages do nothing, whether hidden or shown.
        for (UINT mouse : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONUP, WM_RBUTTONDBLCLK, WM_MOUSEMOVE})
            d.Tray(mouse);
        EXPECT_FALSE(d.IsWindowVisible());
        d.Tray(WM_LBUTTONDBLCLK);
        EXPECT_TRUE(d.IsWindowVisible());
        EXPECT_FALSE(d.IsIconic());
        for (UINT mouse : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONUP, WM_RBUTTONDBLCLK, WM_MOUSEMOVE})
            d.Tray(mouse);
        EXPECT_TRUE(d.IsWindowVisible());

        // The right button's press opens the popup at the pointer; a timer inside the menu's loop closes it.
        SetCursorPos(300, 200);
        g_menuSeen = nullptr;
        UINT_PTR timer = ::SetTimer(nullptr, 0, 20, CloseMenu);
        d.Tray(WM_RBUTTONDOWN);
        ::KillTimer(nullptr, timer);
        ASSERT_NE(g_menuSeen, nullptr) << "no popup menu appeared";
        EXPECT_EQ(g_menuRect.left, 300);
        EXPECT_EQ(g_menuRect.top, 200);
        HMENU popup = GetSubMenu(d.m_hTrayMenu, 0);
        ASSERT_NE(popup, nullptr);
        EXPECT_EQ(GetMenuItemID(popup, 1), (UINT)ID_ABOUT);
        EXPECT_EQ(GetMenuItemID(popup, 3), (UINT)ID_SHOW_WINDOW);
        EXPECT_EQ(GetMenuItemID(popup, 5), (UINT)ID_TERMINATE);
        EXPECT_TRUE(GetMenuState(popup, ID_TRAY_TITLE, MF_BYCOMMAND) & MF_GRAYED);

        // Minimising hides the window; Show Window brings it back restored, and leaves a shown one shown.
        d.ShowWindow(SW_MINIMIZE);
        PumpPending();
        EXPECT_FALSE(d.IsWindowVisible());
        d.PostAndPump(WM_COMMAND, ID_SHOW_WINDOW);
        EXPECT_TRUE(d.IsWindowVisible());
        EXPECT_FALSE(d.IsIconic());
        d.PostAndPump(WM_COMMAND, ID_SHOW_WINDOW);
        EXPECT_TRUE(d.IsWindowVisible());
        // The grayed title is not a command: nothing happens.
        d.PostAndPump(WM_COMMAND, ID_TRAY_TITLE);
        EXPECT_TRUE(d.IsWindowVisible());
        EXPECT_EQ(d.m_okCalls, 0);

        // About... while hidden shows the About box and leaves the main window hidden.
        d.ShowWindow(SW_HIDE);
        g_aboutSeen = nullptr;
        g_mainVisibleDuringAbout = TRUE;
        timer = ::SetTimer(nullptr, 0, 20, CloseAbout);
        d.PostAndPump(WM_COMMAND, ID_ABOUT);
        ::KillTimer(nullptr, timer);
        EXPECT_NE(g_aboutSeen, nullptr) << "no About box appeared";
        EXPECT_FALSE(g_mainVisibleDuringAbout);
        EXPECT_FALSE(d.IsWindowVisible());
        EXPECT_FALSE(IsWindow(g_aboutSeen));

        // Terminate while idle ends the dialog.
        d.PostAndPump(WM_COMMAND, ID_TERMINATE);
        EXPECT_EQ(d.m_okCalls, 1);
    });
    EXPECT_EQ(result, IDOK);
}

TEST(StartSwitch, FoundAnywhereCaseSensitively) {
    EXPECT_TRUE(HasStartSwitch("Quorvid.exe --start"));
    EXPECT_TRUE(HasStartSwitch("\"C:\\x--start\\Quorvid.exe\""));
    EXPECT_TRUE(HasStartSwitch("Quorvid.exe /a=b--starting"));
    EXPECT_FALSE(HasStartSwitch("Quorvid.exe --START"));
    EXPECT_FALSE(HasStartSwitch("Quorvid.exe --star t"));
    EXPECT_FALSE(HasStartSwitch(""));
}

// Run in a child process of this program, whose command line holds "--start" (see the next test).
TEST_F(RunControl, StartSwitchChild) {
    if (!getenv("QUORVID_RUNCONTROL_CHILD"))
        GTEST_SKIP() << "runs only as the child of StartSwitchStartsBothOnceTheLoopRuns";
    UseScripts("out station up\nhang\n", "out uploader up\nhang\n");
    CDrivenDlg dlg;
    INT_PTR result = dlg.RunWith([](CDrivenDlg& d) {
        EXPECT_TRUE(WaitFor(
            [&] { return d.m_runMask == 3 && d.Rows(d.m_listStation) == 1 && d.Rows(d.m_listUploader) == 1; },
            kStateMs, true));
        d.PostAndPump(WM_COMMAND, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    // Nothing was started from within the dialog's initialisation: only the modal loop started them.
    EXPECT_EQ(dlg.m_runMaskAfterInit, 0u);
    EXPECT_EQ(dlg.m_childrenAfterInit, 0u);
    EXPECT_TRUE(WaitFor([] { return ScriptChildren() == 0; }, kStateMs));
}

TEST(StartSwitch, StartsBothOnceTheLoopRuns) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string commandLine =
        std::string("\"") + self + "\" --gtest_filter=RunControl.StartSwitchChild --start";
    SetEnvironmentVariableA("QUORVID_RUNCONTROL_CHILD", "1");
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    BOOL started =
        CreateProcessA(self, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableA("QUORVID_RUNCONTROL_CHILD", nullptr);
    ASSERT_TRUE(started);
    DWORD waited = WaitForSingleObject(pi.hProcess, 30000);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    if (waited != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_EQ(waited, WAIT_OBJECT_0);
    EXPECT_EQ(code, 0u) << "the child's run of RunControl.StartSwitchChild failed";
}
