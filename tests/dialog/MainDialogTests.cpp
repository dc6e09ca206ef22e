// The main dialog as the user first sees it: template, controls, icons, lists, slider, settings, system
// menu and About box, all through real windows of this process.
#include "DialogTemplate.h"
#include "DialogTestSupport.h"

#include "console/Console.h"
#include "res/resource.h"
#include "ui/QuorvidDlg.h"

#include <gtest/gtest.h>

#include <commctrl.h>

namespace {

struct CExpectedControl {
    int id;
    LPCSTR className;
    LPCSTR title; // null: not compared (the edits show config.ini)
    short x, y, cx, cy;
    DWORD style;
};

// Template order, which is also the tab order.
const CExpectedControl kMainControls[] = {
    {IDC_CLOSE, "Button", "Close", 182, 243, 50, 16, 0x50010000},
    {IDC_STATIC, "Button", "Configuration", 6, 3, 226, 81, 0x50000007},
    {IDC_STATIC, "Button", "Console-1 - Station", 6, 85, 226, 76, 0x50000007},
    {IDC_STATIC, "Button", "Console-2 - Uploader", 6, 163, 226, 76, 0x50000007},
    {IDC_START, "Button", "Start", 76, 243, 50, 16, 0x50010000},
    {IDC_STOP, "Button", "Stop", 129, 243, 50, 16, 0x58010000},
    {IDC_LIST_STATION, "SysListView32", "", 14, 97, 209, 57, 0x5881E801},
    {IDC_LIST_UPLOADER, "SysListView32", "", 14, 176, 209, 57, 0x5881E801},
    {IDC_LOGIN, "Edit", nullptr, 55, 17, 40, 12, 0x58810088},
    {IDC_STATIC, "Static", "Login/Code", 12, 20, 37, 8, 0x50020000},
    {IDC_PASSWORD, "Edit", nullptr, 55, 35, 40, 12, 0x588100A8},
    {IDC_STATIC, "Static", "Password", 12, 36, 32, 8, 0x50020000},
    {IDC_INTERVAL, "msctls_trackbar32", "", 100, 28, 113, 20, 0x58010004},
    {IDC_INTERVAL_LABEL, "Static", nullptr, 108, 19, 73, 8, 0x50020000},
    {IDC_STATIC, "Static", "UDP Server", 12, 55, 38, 8, 0x50020000},
    {IDC_UDP_SERVER, "Edit", nullptr, 55, 52, 159, 12, 0x58810090},
    {IDC_HTTP_SERVER, "Edit", nullptr, 55, 67, 159, 12, 0x58810090},
    {IDC_STATIC, "Static", "HTTP Server", 12, 68, 41, 8, 0x50020000},
};

std::string WindowText(HWND wnd) {
    char text[512] = "";
    ::GetWindowTextA(wnd, text, sizeof text);
    return text;
}

std::string ClassOf(HWND wnd) {
    char name[128] = "";
    ::GetClassNameA(wnd, name, sizeof name);
    return name;
}

void ExpectSameRect(const RECT& expected, const RECT& actual, const std::string& what) {
    EXPECT_EQ(expected.left, actual.left) << what;
    EXPECT_EQ(expected.top, actual.top) << what;
    EXPECT_EQ(expected.right, actual.right) << what;
    EXPECT_EQ(expected.bottom, actual.bottom) << what;
}

} // namespace

TEST(MainDialogTemplate, IsBuiltAsDesigned) {
    CDialogTemplate dlg = LoadDialogTemplate(IDD_MAIN_DIALOG);
    ASSERT_TRUE(dlg.valid);
    EXPECT_EQ(0x90CA00C8u, dlg.style);
    EXPECT_EQ((DWORD)WS_EX_APPWINDOW, dlg.exStyle);
    EXPECT_EQ(0, dlg.x);
    EXPECT_EQ(0, dlg.y);
    EXPECT_EQ(239, dlg.cx);
    EXPECT_EQ(266, dlg.cy);
    EXPECT_EQ("Quorvid sharing application", dlg.title);
    EXPECT_EQ("", dlg.menu);
    EXPECT_EQ("", dlg.className);
    EXPECT_EQ(8, dlg.pointSize);
    EXPECT_EQ(0, dlg.weight);
    EXPECT_EQ(0, dlg.italic);
    EXPECT_EQ(DEFAULT_CHARSET, dlg.charset);
    EXPECT_EQ("MS Shell Dlg", dlg.typeface);

    ASSERT_EQ(std::size(kMainControls), dlg.items.size());
    for (size_t i = 0; i < dlg.items.size(); ++i) {
        const CTemplateItem& item = dlg.items[i];
        const CExpectedControl& want = kMainControls[i];
        SCOPED_TRACE("control #" + std::to_string(i + 1) + " " + item.title);
        EXPECT_EQ(want.id, item.id);
        EXPECT_EQ(0, lstrcmpiA(want.className, item.className.c_str())) << item.className;
        EXPECT_EQ(want.style, item.style);
        EXPECT_EQ(0u, item.exStyle);
        EXPECT_EQ(want.x, item.x);
        EXPECT_EQ(want.y, item.y);
        EXPECT_EQ(want.cx, item.cx);
        EXPECT_EQ(want.cy, item.cy);
        if (want.title) {
            EXPECT_EQ(want.title, item.title);
        }
    }
    EXPECT_EQ("Update interval [ 10s ]", dlg.items[13].title);
}

TEST(AboutBoxTemplate, IsBuiltAsDesigned) {
    CDialogTemplate dlg = LoadDialogTemplate(IDD_ABOUTBOX);
    ASSERT_TRUE(dlg.valid);
    EXPECT_EQ(0x80C800C8u, dlg.style);
    EXPECT_EQ(0u, dlg.exStyle);
    EXPECT_EQ(172, dlg.cx);
    EXPECT_EQ(69, dlg.cy);
    EXPECT_EQ("About Quorvid", dlg.title);
    EXPECT_EQ("MS Shell Dlg", dlg.typeface);
    ASSERT_EQ(4u, dlg.items.size());
    EXPECT_EQ("Static", dlg.items[0].className);
    EXPECT_EQ("#" + std::to_string(IDI_APP), dlg.items[0].title);
    EXPECT_EQ(0x50000003u, dlg.items[0].style);
    EXPECT_EQ("Quorvid Sharing Application Version 1.0", dlg.items[1].title);
    EXPECT_EQ(0x50020080u, dlg.items[1].style);
    EXPECT_NE(std::string::npos, dlg.items[2].title.find("2010"));
    EXPECT_EQ(0x50020000u, dlg.items[2].style);
    EXPECT_EQ(IDOK, dlg.items[3].id);
    EXPECT_EQ("OK", dlg.items[3].title);
    EXPECT_EQ(0x50030001u, dlg.items[3].style);
    const short rects[4][4] = {{11, 11, 21, 20}, {40, 11, 124, 8}, {40, 23, 119, 8}, {110, 42, 50, 16}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(rects[i][0], dlg.items[i].x);
        EXPECT_EQ(rects[i][1], dlg.items[i].y);
        EXPECT_EQ(rects[i][2], dlg.items[i].cx);
        EXPECT_EQ(rects[i][3], dlg.items[i].cy);
    }
}

// What the window shows once it is up: every control where the template puts it, in tab order, with
// the designed enabled states, and the focus on Close.
TEST(MainDialog, OpensWithTheDesignedControlsAndState) {
    CTempCurrentDir dir; // no config.ini
    CQuorvidDlg dlg;
    TestApp().m_pMainWnd = &dlg;
    INT_PTR result = RunDialog(dlg, [&dlg] {
        HWND wnd = dlg.m_hWnd;
        EXPECT_EQ(&dlg, AfxGetApp()->m_pMainWnd);
        EXPECT_EQ("Quorvid sharing application", WindowText(wnd));
        EXPECT_TRUE(::IsWindowVisible(wnd));
        EXPECT_EQ(nullptr, ::GetWindow(wnd, GW_OWNER));
        EXPECT_TRUE(::GetWindowLongA(wnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
        const DWORD style = ::GetWindowLongA(wnd, GWL_STYLE);
        EXPECT_EQ((DWORD)(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
                  style &
                      (WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));

        RECT client;
        ::GetClientRect(wnd, &client);
        RECT size = DialogUnitsToPixels(wnd, 0, 0, 239, 266);
        EXPECT_EQ(size.right, client.right);
        EXPECT_EQ(size.bottom, client.bottom);

        HWND child = ::GetWindow(wnd, GW_CHILD);
        for (const CExpectedControl& want : kMainControls) {
            ASSERT_NE(nullptr, child);
            const std::string what = std::to_string(want.id) + " " + (want.title ? want.title : "");
            EXPECT_EQ(want.id, (int)(short)::GetDlgCtrlID(child)) << what;
            EXPECT_EQ(0, lstrcmpiA(want.className, ClassOf(child).c_str()))
                << what << " is " << ClassOf(child);
            if (want.title) {
                EXPECT_EQ(want.title, WindowText(child)) << what;
            }
            ExpectSameRect(DialogUnitsToPixels(wnd, want.x, want.y, want.cx, want.cy),
                           ControlRect(wnd, child), what);
            EXPECT_EQ((want.style & WS_DISABLED) == 0, ::IsWindowEnabled(child) != FALSE) << what;
            EXPECT_TRUE(::IsWindowVisible(child)) << what;
            child = ::GetWindow(child, GW_HWNDNEXT);
        }
        EXPECT_EQ(nullptr, child);

        EXPECT_EQ(dlg.GetDlgItem(IDC_CLOSE), ::GetFocus());
        // Only Close and Start are enabled tab stops, in that order.
        HWND next = ::GetNextDlgTabItem(wnd, dlg.GetDlgItem(IDC_CLOSE), FALSE);
        EXPECT_EQ(dlg.GetDlgItem(IDC_START), next);
        EXPECT_EQ(dlg.GetDlgItem(IDC_CLOSE), ::GetNextDlgTabItem(wnd, next, FALSE));

        // Every control object is bound to its own control.
        const std::pair<int, const CWnd*> bound[] = {{IDC_LIST_STATION, &dlg.m_listStation},
                                                     {IDC_LIST_UPLOADER, &dlg.m_listUploader},
                                                     {IDC_STOP, &dlg.m_btnStop},
                                                     {IDC_START, &dlg.m_btnStart},
                                                     {IDC_CLOSE, &dlg.m_btnClose},
                                                     {IDC_LOGIN, &dlg.m_editLogin},
                                                     {IDC_PASSWORD, &dlg.m_editPassword},
                                                     {IDC_UDP_SERVER, &dlg.m_editUdpServer},
                                                     {IDC_HTTP_SERVER, &dlg.m_editHttpServer},
                                                     {IDC_INTERVAL, &dlg.m_sliderInterval},
                                                     {IDC_INTERVAL_LABEL, &dlg.m_staticInterval}};
        for (const auto& [id, control] : bound)
            EXPECT_EQ(dlg.GetDlgItem(id), control->m_hWnd) << id;

        EXPECT_EQ(1, dlg.m_bRunning.load());
        EXPECT_EQ(0u, dlg.m_runMask);
        EXPECT_EQ(0, dlg.m_trayIconIndex);
        dlg.EndDialog(IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(nullptr, TestApp().m_pMainWnd);
}

TEST(MainDialog, SetsUpIconsListsSliderAndTrayResources) {
    CTempCurrentDir dir;
    CQuorvidDlg dlg;
    ASSERT_NE(nullptr, dlg.m_hIcon);
    RunDialog(dlg, [&dlg] {
        EXPECT_EQ((LRESULT)dlg.m_hIcon, dlg.SendMessage(WM_GETICON, ICON_BIG));
        EXPECT_EQ((LRESULT)dlg.m_hIcon, dlg.SendMessage(WM_GETICON, ICON_SMALL));
        EXPECT_EQ((LRESULT)dlg.m_hIcon, dlg.SendMessage(WM_QUERYDRAGICON));

        for (CListCtrl* list : {&dlg.m_listStation, &dlg.m_listUploader}) {
            const DWORD extended = list->GetExtendedStyle();
            EXPECT_EQ((DWORD)(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT),
                      extended & (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT));
            EXPECT_EQ(400, (int)list->SendMessage(LVM_GETCOLUMNWIDTH, 0));
            LVCOLUMNA column = {};
            char heading[64] = "x";
            column.mask = LVCF_FMT | LVCF_TEXT;
            column.pszText = heading;
            column.cchTextMax = sizeof heading;
            ASSERT_TRUE(list->SendMessage(LVM_GETCOLUMNA, 0, (LPARAM)&column));
            EXPECT_EQ(LVCFMT_LEFT, column.fmt & LVCFMT_JUSTIFYMASK);
            EXPECT_STREQ("", heading);
            EXPECT_FALSE(list->SendMessage(LVM_GETCOLUMNA, 1, (LPARAM)&column)) << "only one column";
            EXPECT_EQ(0, list->GetItemCount());
        }

        EXPECT_EQ(5, dlg.m_sliderInterval.GetRangeMin());
        EXPECT_EQ(30, dlg.m_sliderInterval.GetRangeMax());

        for (HICON icon : dlg.m_hStateIcon)
            EXPECT_NE(nullptr, icon);
        ASSERT_NE(nullptr, dlg.m_hTrayMenu);
        EXPECT_EQ(6, ::GetMenuItemCount(::GetSubMenu(dlg.m_hTrayMenu, 0)));

        EXPECT_EQ(dlg.m_hStateIcon[0], dlg.m_nid.hIcon);
        dlg.EndDialog(IDCANCEL);
    });
}

TEST(MainDialog, ShowsTheSettingsOfConfigIni) {
    CTempCurrentDir dir;
    dir.WriteFile("config.ini", "name=abc123\npass=secret\nudp_host=feed.example.org\nudp_port=30003\n"
                                "host=http://www.example.org/upload\ninterval=20\n");
    CQuorvidDlg dlg;
    RunDialog(dlg, [&dlg] {
        EXPECT_EQ("ABC123", WindowText(dlg.m_editLogin)); // the edit's ES_UPPERCASE
        EXPECT_EQ("SECRET", WindowText(dlg.m_editPassword));
        EXPECT_EQ('*', (char)dlg.m_editPassword.SendMessage(EM_GETPASSWORDCHAR));
        EXPECT_EQ("udp://feed.example.org:30003", WindowText(dlg.m_editUdpServer));
        EXPECT_EQ("http://www.example.org/upload", WindowText(dlg.m_editHttpServer));
        EXPECT_EQ(20, dlg.m_sliderInterval.GetPos());
        EXPECT_EQ("Update interval [ 20s ]", WindowText(dlg.m_staticInterval));
        dlg.EndDialog(IDCANCEL);
    });
}

// The range is set before the file is read, so an interval beyond it lands on the nearest end.
TEST(MainDialog, ShowsNothingWithoutConfigIniAndClampsTheSlider) {
    {
        CTempCurrentDir dir;
        CQuorvidDlg dlg;
        RunDialog(dlg, [&dlg] {
            EXPECT_EQ("", WindowText(dlg.m_editLogin));
            EXPECT_EQ("", WindowText(dlg.m_editPassword));
            EXPECT_EQ("", WindowText(dlg.m_editUdpServer));
            EXPECT_EQ("", WindowText(dlg.m_editHttpServer));
            EXPECT_EQ("Update interval [ 10s ]", WindowText(dlg.m_staticInterval));
            EXPECT_EQ(5, dlg.m_sliderInterval.GetPos());
            dlg.EndDialog(IDCANCEL);
        });
    }
    {
        CTempCurrentDir dir;
        dir.WriteFile("config.ini", "interval=45\n");
        CQuorvidDlg dlg;
        RunDialog(dlg, [&dlg] {
            EXPECT_EQ(30, dlg.m_sliderInterval.GetPos());
            EXPECT_EQ("Update interval [ 45s ]", WindowText(dlg.m_staticInterval));
            dlg.EndDialog(IDCANCEL);
        });
    }
}

// The About entry at the end of the system menu, and the mask that lets 0x10..0x1F open it. The box is
// owned by the main window, which it disables, and OK or Escape end only the box.
TEST(MainDialog, SystemMenuOpensTheAboutBox) {
    CTempCurrentDir dir;
    CQuorvidDlg dlg;
    TestApp().m_pMainWnd = &dlg;
    RunDialog(dlg, [&dlg] {
        HMENU sysMenu = ::GetSystemMenu(dlg.m_hWnd, FALSE);
        ASSERT_NE(nullptr, sysMenu);
        const int count = ::GetMenuItemCount(sysMenu);
        ASSERT_GE(count, 2);
        EXPECT_TRUE(::GetMenuState(sysMenu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);
        EXPECT_EQ(IDM_ABOUTBOX, (int)::GetMenuItemID(sysMenu, count - 1));
        char text[64] = "";
        ::GetMenuStringA(sysMenu, count - 1, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ("&About Quorvid...", text);

        struct CCase {
            WPARAM command;
            UINT closeWith;
        };
        for (CCase c : {CCase{0x0010, IDOK}, CCase{0x001F, IDCANCEL}}) {
            SCOPED_TRACE(c.command);
            bool seen = false;
            HWND main = dlg.m_hWnd;
            RunLater(200, [main, &seen, c] {
                HWND about = FindThreadWindow("About Quorvid");
                ASSERT_NE(nullptr, about);
                seen = true;
                EXPECT_TRUE(::IsWindowVisible(about));
                EXPECT_EQ(main, ::GetWindow(about, GW_OWNER));
                EXPECT_FALSE(::IsWindowEnabled(main));
                EXPECT_EQ("Quorvid Sharing Application Version 1.0",
                          WindowText(::GetWindow(::GetWindow(about, GW_CHILD), GW_HWNDNEXT)));
                ::SendMessageA(about, WM_COMMAND, c.closeWith, 0);
            });
            dlg.SendMessage(WM_SYSCOMMAND, c.command, 0); // returns when the About box has ended
            EXPECT_TRUE(seen);
            EXPECT_EQ(nullptr, FindThreadWindow("About Quorvid"));
            EXPECT_TRUE(::IsWindow(main));
            EXPECT_TRUE(::IsWindowEnabled(main));
        }

        // 0x20 is outside the mask: no About box.
        RunLater(200, [] {
            HWND about = FindThreadWindow("About Quorvid");
            EXPECT_EQ(nullptr, about);
            if (about)
                ::SendMessageA(about, WM_COMMAND, IDOK, 0);
        });
        dlg.SendMessage(WM_SYSCOMMAND, 0x0020, 0);
        RunLater(300, [&dlg] { dlg.EndDialog(IDCANCEL); });
    });
}

TEST(StartSwitch, IsFoundCaseSensitivelyAnywhere) {
    EXPECT_TRUE(HasStartSwitch("Quorvid.exe --start"));
    EXPECT_TRUE(HasStartSwitch("\"C:\\x --start y\\Quorvid.exe\""));
    EXPECT_TRUE(HasStartSwitch("Quorvid.exe /a--starting"));
    EXPECT_FALSE(HasStartSwitch("Quorvid.exe --START"));
    EXPECT_FALSE(HasStartSwitch("Quorvid.exe -start --Start"));
    EXPECT_FALSE(HasStartSwitch(""));
    EXPECT_FALSE(HasStartSwitch(nullptr));
}

// Signed and truncated toward zero: a client narrower than the icon puts the icon left of the edge.
TEST(MinimisedPaint, CentresTheIconWithSignedTruncation) {
    EXPECT_EQ(-5, CenteredIconOrigin(20, 32));
    EXPECT_EQ(1, CenteredIconOrigin(33, 32));
    EXPECT_EQ(34, CenteredIconOrigin(100, 32));
    EXPECT_EQ(0, CenteredIconOrigin(30, 32)); // -1 / 2 is 0, not -1
    EXPECT_EQ(-15, CenteredIconOrigin(0, 32));
}

// When the shell restarts, the icons it showed are gone; its broadcast brings ours back, with the
// picture of the current run state.
TEST(MainDialog, TrayIconComesBackWhenTheShellRestarts) {
    CTempCurrentDir dir;
    CQuorvidDlg dlg;
    RunDialog(dlg, [&dlg] {
        NOTIFYICONDATAA probe = dlg.m_nid;
        probe.uFlags = NIF_ICON;
        ASSERT_TRUE(::Shell_NotifyIconA(NIM_MODIFY, &probe)) << "the icon was not added";
        dlg.SendMessage(WM_CONSOLE_STATE, 1, CQuorvidDlg::kUploaderId);

        NOTIFYICONDATAA gone = dlg.m_nid;
        ASSERT_TRUE(::Shell_NotifyIconA(NIM_DELETE, &gone)); // as a restarting shell loses it
        EXPECT_FALSE(::Shell_NotifyIconA(NIM_MODIFY, &probe));

        dlg.SendMessage(::RegisterWindowMessageA("TaskbarCreated"));
        probe = dlg.m_nid;
        EXPECT_TRUE(::Shell_NotifyIconA(NIM_MODIFY, &probe)) << "the icon did not come back";
        EXPECT_EQ(dlg.m_hStateIcon[2], dlg.m_nid.hIcon);
        dlg.SendMessage(WM_CONSOLE_STATE, 0, CQuorvidDlg::kUploaderId);
        dlg.EndDialog(IDCANCEL);
    });
}
