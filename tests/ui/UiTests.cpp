// The main dialog in process: the real CQuorvidDlg runs modally on this thread, and each test drives it
// from a timer inside its own modal loop with real messages, real consoles and stand-in scripts.
#include "ui/QuorvidDlg.h"

#include "framework/App.h"
#include "framework/Handle.h"
#include "res/resource.h"
#include "tests/console/ConsoleHost.h"
#include "tests/Processes.h"
#include "tests/Station.h"
#include "tests/console/ConsoleHost.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <map>
#include <string>
#include <tuple>
#include <vector>

// Dialogs load their icons through the application object, as in Quorvid.exe.
CWinApp g_app;

namespace {

std::map<UINT_PTR, std::function<void()>> g_later;

void CALLBACK OnLater(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    std::function<void()> work = std::move(g_later[id]);
    g_later.erase(id);
    if (work)
        work();
}

// Runs `work` once from whichever message loop this thread is in after `ms` milliseconds.
UINT_PTR Later(UINT ms, std::function<void()> work) {
    UINT_PTR id = ::SetTimer(nullptr, 0, ms, OnLater);
    g_later[id] = std::move(work);
    return id;
}

// A station folder with the two scripts, current while the object lives.
struct CStation : CStationFolder {
    explicit CStation(const std::string& station = "", const std::string& uploader = "") {
        WriteScripts(station, uploader);
        ::SetCurrentDirectoryW(m_path.c_str());
    }
    ~CStation() { ::SetCurrentDirectoryW(L".."); }
};

// The dialog under test, counting the closes that got through.
class CTestDlg : public CQuorvidDlg {
public:
    int m_ok = 0;
    int m_trayRefusals = 0; // adds the shell is to refuse first, as it can at log-on
    void OnOK() override {
        ++m_ok;
        CQuorvidDlg::OnOK();
    }
    BOOL NotifyIcon(DWORD message, NOTIFYICONDATAA* data) override {
        if (message == NIM_ADD && m_trayRefusals > 0)
            return --m_trayRefusals, FALSE;
        return CQuorvidDlg::NotifyIcon(message, data);
    }

    // Runs the dialog modally; `body` runs once its loop is under way and must end it.
    INT_PTR Run(std::function<void(CTestDlg&)> body) {
        bool ran = false;
        Later(100, [&] { ran = true, body(*this); });
        UINT_PTR watchdog = Later(20000, [this] {
            ADD_FAILURE() << "the dialog was still open after 20 s";
            EndDialog(-2);
        });
        INT_PTR result = DoModal();
        g_later.erase(watchdog);
        EXPECT_TRUE(ran) << "the dialog ended before the test body ran";
        return result;
    }
    // Posted, as a console or the user would, then handled.
    void Post(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
        ::PostMessageA(m_hWnd, msg, wParam, lParam);
        for (MSG queued; ::PeekMessageA(&queued, nullptr, 0, 0, PM_REMOVE);)
            ::DispatchMessageA(&queued);
    }
    void Click(int id) { Post(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(id)); }
    bool Enabled(int id) const { return ::IsWindowEnabled(GetDlgItem(id)) != FALSE; }
    bool TrayShows(int state) const { return m_hStateIcon[state] && m_nid.hIcon == m_hStateIcon[state]; }
};

} // namespace

// The window as a person meets it: every control inside the window and clear of the others, but for the
// group boxes around them; every label's text fits; the settings and lists are display only; Close has
// the focus; each list's one column reaches its right edge at the screen's DPI, so text is cut only there.
TEST(UiTests, DialogIsBuiltAsDesigned) {
    CStation station; // no config.ini
    CTestDlg dlg;
    dlg.Run([&](CTestDlg& d) {
        RECT client, rect, overlap;
        d.GetClientRect(&client);
        HDC dc = ::GetDC(d.m_hWnd);
        ::SelectObject(dc, (HFONT)d.SendMessage(WM_GETFONT));
        std::vector<RECT> placed;
        for (HWND child = ::GetWindow(d.m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
            char text[64] = "", name[64] = "";
            ::GetWindowTextA(child, text, sizeof text);
            ::GetClassNameA(child, name, sizeof name);
            const int id = (short)::GetDlgCtrlID(child);
            SCOPED_TRACE(testing::Message() << id << " " << name << " \"" << text << "\"");
            ::GetWindowRect(child, &rect);
            ::MapWindowPoints(nullptr, d.m_hWnd, (POINT*)&rect, 2);
            EXPECT_TRUE(::IntersectRect(&overlap, &rect, &client) && ::EqualRect(&overlap, &rect));
            const bool box = (::GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
            for (const RECT& placedRect : placed)
                EXPECT_TRUE(box || !::IntersectRect(&overlap, &rect, &placedRect));
            if (!box)
                placed.push_back(rect);
            SIZE extent = {};
            ::GetTextExtentPoint32A(dc, text, lstrlenA(text), &extent);
            const bool label = !lstrcmpiA(name, "Static");
            EXPECT_TRUE(!label || extent.cx <= rect.right - rect.left) << extent.cx;
            EXPECT_EQ(label || box || id == IDC_START || id == IDC_CLOSE, ::IsWindowEnabled(child) != FALSE);
        }
        ::ReleaseDC(d.m_hWnd, dc);
        EXPECT_EQ(15u, placed.size()) << "controls besides the three group boxes";
        EXPECT_NE(0, ::SendMessageA(d.GetDlgItem(IDC_PASSWORD), EM_GETPASSWORDCHAR, 0, 0)) << "shown as dots";
        EXPECT_TRUE(d.m_hIcon && d.GetDlgItem(IDC_CLOSE) == ::GetFocus());
        for (CListCtrl* list : {&d.m_listStation, &d.m_listUploader}) {
            const DWORD want = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;
            EXPECT_EQ(want, list->GetExtendedStyle() & want);
            list->GetClientRect(&rect);
            EXPECT_LE(rect.right, (int)list->SendMessage(LVM_GETCOLUMNWIDTH, 0));
            EXPECT_EQ(0, (int)list->SendMessage(LVM_GETCOLUMNWIDTH, 1)) << "only one column";
        }
        EXPECT_EQ(std::make_tuple(5, 30, (LRESULT)d.m_hIcon, (LRESULT)d.m_hIcon),
                  std::make_tuple(d.m_sliderInterval.GetRangeMin(), d.m_sliderInterval.GetRangeMax(),
                                  d.SendMessage(WM_GETICON, ICON_BIG),
                                  d.SendMessage(WM_GETICON, ICON_SMALL)));
        // The system menu ends in a separator and "&About Quorvid...".
        HMENU sysMenu = ::GetSystemMenu(d.m_hWnd, FALSE);
        const int last = ::GetMenuItemCount(sysMenu) - 1;
        char text[64] = "";
        ::GetMenuStringA(sysMenu, last, text, sizeof text, MF_BYPOSITION);
        EXPECT_TRUE(::GetMenuItemID(sysMenu, last) == IDM_ABOUTBOX && !lstrcmpA(text, "&About Quorvid...") &&
                    ::GetMenuState(sysMenu, last - 1, MF_BYPOSITION) & MF_SEPARATOR)
            << text;
        d.EndDialog(IDCANCEL);
    });
}

// The buttons, the lists, the tray picture and the closes follow the consoles' posted notices.
TEST(UiTests, RunControlFollowsTheNotices) {
    // Notice (state, bits), then the run mask, Start, Stop, Close enabled, and the tray picture.
    const std::tuple<WPARAM, LPARAM, UINT32, bool, bool, bool, int> kSteps[] = {
        {1, CQuorvidDlg::kStationId, 1, false, false, false, 1},
        {1, CQuorvidDlg::kUploaderId, 3, false, true, false, 3},
        {0, CQuorvidDlg::kStationId, 2, false, false, false, 2},
        {2, CQuorvidDlg::kUploaderId, 0, true, false, true, 0}, // any state but 1 counts as stopped
    };
    CStation station;
    CTestDlg dlg;
    EXPECT_EQ(IDOK, dlg.Run([&](CTestDlg& d) {
        // A run that started its script enables Stop, unless Stop was pressed meanwhile.
        for (BYTE running : {0, 1}) {
            d.m_bRunning = running;
            d.Post(WM_CONSOLE_STOPBUTTON, 0, CQuorvidDlg::kStationId);
            EXPECT_EQ(running == 1, d.Enabled(IDC_STOP));
        }
        d.m_listStation.InsertItem(0, "station row");
        d.m_listUploader.InsertItem(0, "uploader row");
        for (const auto& [state, bits, mask, start, stop, close, tray] : kSteps) {
            SCOPED_TRACE("after notice " + std::to_string(state) + "/" + std::to_string(bits));
            d.Post(WM_CONSOLE_STATE, state, bits);
            EXPECT_EQ(std::make_tuple(mask, start, stop, close, true),
                      std::make_tuple(d.m_runMask, d.Enabled(IDC_START), d.Enabled(IDC_STOP),
                                      d.Enabled(IDC_CLOSE), d.TrayShows(tray)));
            EXPECT_EQ(mask ? 2 : 0, d.m_listStation.GetItemCount() + d.m_listUploader.GetItemCount());
            // Each close is refused while anything runs, and each one ends the idle dialog.
            const int before = d.m_ok;
            d.Click(IDC_CLOSE), d.Post(WM_CLOSE), d.Post(WM_COMMAND, IDCLOSE);
            EXPECT_EQ(before + (mask ? 0 : 3), d.m_ok);
        }
    }));
}

// The tray icon refused at first, its mouse messages and commands, minimising, and the shell's restart.
TEST(UiTests, TrayShowsHidesAndComesBack) {
    CStation station;
    CTestDlg dlg;
    dlg.m_trayRefusals = 2;
    dlg.Run([&](CTestDlg& d) {
        // The shell knows the record by its size: the version-3 layout of this build's own pointer width.
        EXPECT_EQ(sizeof(void*) == 4 ? 504u : 520u, d.m_nid.cbSize);
        NOTIFYICONDATAA probe = d.m_nid;
        probe.uFlags = NIF_ICON;
        // Without an icon the window minimises to the taskbar; the add is tried again until it holds, and
        // shows the picture of the moment.
        d.ShowWindow(SW_MINIMIZE);
        EXPECT_TRUE(d.IsWindowVisible() && d.IsIconic());
        d.Post(WM_CONSOLE_STATE, 1, CQuorvidDlg::kUploaderId);
        auto iconAdded = [&] {
            return WaitFor([&] { return d.m_bTrayIconAdded; }, 7000) &&
                   ::Shell_NotifyIconA(NIM_MODIFY, &probe) && d.TrayShows(2);
        };
        EXPECT_FALSE(::Shell_NotifyIconA(NIM_MODIFY, &probe));
        EXPECT_TRUE(iconAdded());
        d.ShowWindow(SW_RESTORE);
        // A double-click hides, the next one shows; other mouse messages change nothing.
        const std::pair<UINT, bool> kMouse[] = {{WM_LBUTTONDBLCLK, false}, {WM_LBUTTONDOWN, false},
                                                {WM_RBUTTONUP, false},     {WM_LBUTTONDBLCLK, true},
                                                {WM_LBUTTONDOWN, true},    {WM_RBUTTONUP, true}};
        for (const auto& [mouse, shown] : kMouse) {
            d.Post(WM_TRAYICON, CQuorvidDlg::kTrayIconId, mouse);
            EXPECT_EQ(shown, d.IsWindowVisible() != FALSE) << mouse;
        }
        EXPECT_FALSE(d.IsIconic());

        d.ShowWindow(SW_MINIMIZE);
        EXPECT_FALSE(d.IsWindowVisible());

        d.Post(WM_COMMAND, ID_TERMINATE); // while a script runs it only shows the window
        EXPECT_TRUE(d.m_ok == 0 && d.IsWindowVisible() && !d.IsIconic());

        // A restarting shell loses the icon; its broadcast brings it back with the current picture. While
        // the shell refuses it, the window hidden in the tray waits on the taskbar.
        d.Post(WM_TRAYICON, CQuorvidDlg::kTrayIconId, WM_LBUTTONDBLCLK);
        ASSERT_TRUE(::Shell_NotifyIconA(NIM_DELETE, &probe));
        d.m_trayRefusals = 1;
        d.SendMessage(::RegisterWindowMessageA("TaskbarCreated"));
        EXPECT_TRUE(d.IsWindowVisible() && d.IsIconic());
        EXPECT_TRUE(iconAdded()) << "the icon did not come back";
        d.EndDialog(IDCANCEL);
    });
}

// Stop and Escape while real scripts flood the lists, a dialog that cannot open, then another dialog on
// the same thread.
TEST(UiTests, ExitPathsLeaveNothingBehind) {
    CStation station("lines 100000000 2010-05-17 station %n\n", "lines 100000000 uploader %n\n");
    {
        CTestDlg dlg;
        g_app.m_pMainWnd = &dlg;
        EXPECT_EQ(IDCANCEL, dlg.Run([](CTestDlg& d) {
            auto rows = [&] { return d.m_listStation.GetItemCount() + d.m_listUploader.GetItemCount(); };
            auto flooding = [&] {
                WaitFor([&] { return d.m_runMask == 3 && d.Enabled(IDC_STOP) && rows() == 12; }, 10000);
                return d.m_runMask == 3 && ScriptChildren() == 2;
            };
            d.Click(IDC_START);
            EXPECT_TRUE(flooding());
            d.Click(IDC_STOP);
            EXPECT_TRUE(d.m_runMask == 0 && d.Enabled(IDC_START)) << "idle as soon as Stop has returned";
            WaitFor([] { return false; }, 300);
            EXPECT_EQ(0, rows()) << "no redraw of the stopped runs fills the emptied lists again";
            d.Click(IDC_START);
            EXPECT_TRUE(flooding());
            d.Post(WM_COMMAND, IDCANCEL);
        }));
        EXPECT_FALSE(dlg.m_stationConsole.HasWorker() || dlg.m_uploaderConsole.HasWorker());
        // Ending a job only asks for the end of its processes: they go a moment later.
        EXPECT_TRUE(WaitFor([] { return ScriptChildren() == 0; }, 5000));
    }
    {
        CDialog missing(4242);
        g_app.m_pMainWnd = &missing;
        EXPECT_EQ(-1, missing.DoModal());
    }
    EXPECT_EQ(nullptr, g_app.m_pMainWnd);

    // No stray quit request ended this one early; the system menu's 0x1F opens the About box.
    CTestDlg again;
    bool aboutSeen = false;
    EXPECT_EQ(IDCANCEL, again.Run([&](CTestDlg& d) {
        Later(300, [&] {
            HWND about = ::FindWindowA(nullptr, "About Quorvid");
            aboutSeen = about && ::IsWindowVisible(about);
            ::PostMessageA(about, WM_COMMAND, IDOK, 0);
        });
        d.SendMessage(WM_SYSCOMMAND, 0x1F, 0);
        EXPECT_TRUE(aboutSeen);
        d.EndDialog(IDCANCEL);
    }));
}

// A worker past Stop's bound as the window goes ends the program there, with an exit code of its own, and
// what the worker uses (the window's consoles) is never destroyed: the dialog does not return.
TEST(UiDeathTest, AWorkerPastStopsBoundEndsTheProgramAsTheWindowGoes) {
    EXPECT_EXIT(
        {
            CStation station("hang\n");
            CTestDlg dlg;
            // The station's first child joins its job, and its worker goes no further.
            CConsoleTestAccess::SetJoin(dlg.m_stationConsole, [](HANDLE process) {
                HANDLE job = CConsoleTestAccess::Join(process);
                Sleep(INFINITE);
                return job;
            });
            dlg.Run([](CTestDlg& d) { d.Click(IDC_START), d.Post(WM_COMMAND, IDCANCEL); });
        },
        ::testing::ExitedWithCode(CQuorvidDlg::kWorkerLeftExitCode), "");
}

// Stop asks both consoles at once and waits for them together. Here each worker is held in its child's
// start until it is asked to stop, and its end then takes a second: Stop takes one, not two.
HANDLE g_stopAsked[2];
template <int i> HANDLE JoinOnceAsked(HANDLE process) {
    ::WaitForSingleObject(g_stopAsked[i], 10000), ::Sleep(1000);
    return CConsoleTestAccess::Join(process);
}

TEST(UiTests, StopWaitsForBothConsolesTogether) {
    CStation station("hang\n", "hang\n");
    CTestDlg().Run([&](CTestDlg& d) {
        g_stopAsked[0] = CConsoleTestAccess::StopEvent(d.m_stationConsole);
        g_stopAsked[1] = CConsoleTestAccess::StopEvent(d.m_uploaderConsole);
        CConsoleTestAccess::SetJoin(d.m_stationConsole, JoinOnceAsked<0>);
        CConsoleTestAccess::SetJoin(d.m_uploaderConsole, JoinOnceAsked<1>);
        d.Click(IDC_START);
        ASSERT_TRUE(WaitFor([&] { return d.m_runMask == 3 && ScriptChildren() == 2; }, 10000));
        const DWORD begin = ::GetTickCount();
        d.Click(IDC_STOP);
        const DWORD took = ::GetTickCount() - begin;
        EXPECT_TRUE(took >= 1000 && took < 1600 && d.m_runMask == 0) << took << " ms";
        d.EndDialog(IDCANCEL);
    });
}

// "--start" is case-sensitive, found anywhere in the command line; the minimised icon's origin is signed,
// truncated toward zero.
TEST(UiTests, StartSwitchAndIconCentring) {
    for (LPCSTR line : {"Quorvid.exe --start", "\"C:\\a--start\\Quorvid.exe\"", "x /y--starting"})
        EXPECT_TRUE(HasStartSwitch(line) && !HasStartSwitch(CharUpperA(std::string(line).data()))) << line;
    EXPECT_FALSE(HasStartSwitch("Quorvid.exe -start --Start") || HasStartSwitch(""));
    EXPECT_EQ(std::make_pair(-5, 34),
              std::make_pair(CenteredIconOrigin(20, 32), CenteredIconOrigin(100, 32)));
}

// History windows: opened from the system menu and where a person double-clicks a list, one per console, in
// front, closed; in a flood: follows, stays, copies, and lets rows of entries that went go once in view.
TEST(UiTests, HistoryWindows) {
    CStation station("lines 9000 line %n\nevery 20 0 tick %n\n", "hang\n");
    CTestDlg dlg;
    dlg.Run([&](CTestDlg& d) {
        HMENU menu =
            ::GetSystemMenu(d.m_hWnd, FALSE); // ..., Station history..., Uploader history..., -, About
        const int n = ::GetMenuItemCount(menu);
        const std::tuple<WPARAM, HWND, CHistoryWnd*, LPCSTR> kOpen[] = {
            {::GetMenuItemID(menu, n - 4), nullptr, &d.m_stationHistory, "sbs1station.php history"},
            {0, d.m_listUploader, &d.m_uploaderHistory, "uploader.php history"},
            {0, d.m_listStation, &d.m_stationHistory, "sbs1station.php history"},
            {::GetMenuItemID(menu, n - 3), nullptr, &d.m_uploaderHistory, "uploader.php history"}};
        for (const auto& [command, list, history, caption] : kOpen) {
            RECT r = {};
            ::GetWindowRect(list, &r);
            POINT at = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
            HWND target = ::WindowFromPoint(at); // a disabled list passes the mouse on to the dialog
            ::MapWindowPoints(nullptr, target, &at, 1);
            ::PostMessageA(command ? d.m_hWnd : target, command ? WM_SYSCOMMAND : WM_LBUTTONDBLCLK,
                           command ? command : MK_LBUTTON, MAKELPARAM(at.x, at.y));
            d.Post(WM_NULL);
            EXPECT_EQ(history->m_hWnd, ::GetForegroundWindow()) << caption;
            EXPECT_EQ(history->m_hWnd, ::FindWindowA(nullptr, caption));
            EXPECT_EQ(nullptr, ::FindWindowExA(nullptr, history->m_hWnd, nullptr, caption)) << "one";
        }
        const HWND closing[] = {d.m_stationHistory.m_hWnd, d.m_uploaderHistory.m_hWnd};
        ::PostMessageA(d.m_stationHistory.m_list, WM_KEYDOWN, VK_ESCAPE, 1);
        ::PostMessageA(closing[1], WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(WaitFor([&] { return !::IsWindow(closing[0]) && !::IsWindow(closing[1]); }, 5000));

        CListCtrl& list = d.m_stationHistory.m_list;
        auto cell = [&](int row, int col = 1) {
            char text[2048] = "";
            return std::string(text, list.GetItemText(row, col, text, sizeof text));
        };
        auto atBottom = [&] { return list.GetTopIndex() + list.GetCountPerPage() >= list.GetItemCount(); };
        auto newest = [&] { return cell(list.GetItemCount() - 1); };
        d.Post(WM_SYSCOMMAND, 0x20);
        d.Click(IDC_START);
        EXPECT_TRUE(WaitFor([&] { return newest().rfind("tick", 0) == 0 && atBottom(); }, 5000));
        list.Scroll(0, -2000);
        const int top = list.GetTopIndex();
        std::string want;
        for (int row : {top + 1, top + 2, top + 4}) {
            list.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
            want += cell(row, 0) + " " + cell(row) + "\r\n";
        }
        EXPECT_TRUE(WaitFor([&] { return cell(0).empty(); }, 5000) && top == list.GetTopIndex()); // stays
        BYTE keys[256] = {};
        keys[VK_CONTROL] = 0x80;
        ::SetKeyboardState(keys);
        for (WPARAM key : {'C', 'A'})
            ::PostMessageA(list, WM_KEYDOWN, key, 1);
        d.Post(WM_NULL);
        ASSERT_TRUE(::OpenClipboard(nullptr) && ::GetClipboardData(CF_TEXT));
        EXPECT_EQ(want, static_cast<const char*>(::GlobalLock(::GetClipboardData(CF_TEXT)))); // in row order
        ::GlobalUnlock(::GetClipboardData(CF_TEXT));
        ::CloseClipboard();
        list.EnsureVisible(0, FALSE);
        EXPECT_TRUE(WaitFor([&] { return list.GetItemCount() <= (int)CConsoleHistory::kMaxEntries; }, 5000));
        EXPECT_TRUE(list.GetNextItem(-1, LVNI_SELECTED) == 0 && list.GetSelectedCount() > 1000) << "Ctrl+A";
        d.EndDialog(IDCANCEL);
    });
    EXPECT_EQ(nullptr, ::FindWindowA(nullptr, "sbs1station.php history"));
}

// Holds the clipboard, as another program would, from setting `held` until `release` is set or `ms` pass.
struct CClipboardHold {
    HANDLE held, release;
    DWORD ms;
};
DWORD WINAPI HoldClipboard(LPVOID hold) {
    const CClipboardHold* h = static_cast<const CClipboardHold*>(hold);
    ::OpenClipboard(nullptr), ::SetEvent(h->held), ::WaitForSingleObject(h->release, h->ms);
    return ::CloseClipboard();
}

// The file's identity on its volume: another one once a file has been put in its place.
ULONGLONG FileId(const std::wstring& path) {
    CHandle file(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION info = {};
    ::GetFileInformationByHandle(file.Get(), &info);
    return (ULONGLONG)info.nFileIndexHigh << 32 | info.nFileIndexLow;
}

// What a script writes as the main list and the history show it, copy it and save it: UTF-8 (French,
// Cyrillic, a character beyond the BMP), and a zero byte with lines after it.
TEST(UiTests, HistoryShowsCopiesAndSavesWhatTheScriptWrote) {
    CStation station("out 2010-05-17 Connexion refus\xC3\xA9"
                     "e \xD0\x9F\xD1\x80\xD0\xB8 \xF0\x9F\x9B\xAB\n"
                     "out bin\\x00ary tail\nout after\nhang\n",
                     "hang\n");
    const std::wstring rows[] = {L"run 1 started",
                                 L"Connexion refus\xE9"
                                 L"e \x041F\x0440\x0438 \xD83D\xDEEB",
                                 L"bin\xFFFD"
                                 L"ary tail",
                                 L"after"};
    auto utf8 = [](const std::wstring& text) {
        std::string bytes(3 * text.size(), '\0');
        return bytes.substr(0, ::WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &bytes[0],
                                                     (int)bytes.size(), nullptr, nullptr));
    };
    CTestDlg dlg;
    dlg.Run([&](CTestDlg& d) {
        CHistoryWnd& history = d.m_stationHistory;
        CListCtrl& list = history.m_list;
        auto cell = [&](const CListCtrl& from, int row, int col) {
            WCHAR text[4096] = L"";
            return std::wstring(text, from.GetItemText(row, col, text, 4096));
        };
        d.Post(WM_SYSCOMMAND, IDM_STATION_HISTORY);
        d.Click(IDC_START);
        ASSERT_TRUE(
            WaitFor([&] { return list.GetItemCount() == 4 && d.m_listStation.GetItemCount() == 3; }, 5000));
        std::wstring copied;
        std::string saved = "\xEF\xBB\xBF";
        for (int row = 0; row < 4; ++row) {
            EXPECT_EQ(rows[row], cell(list, row, 1));
            EXPECT_TRUE(row == 0 || rows[row] == cell(d.m_listStation, row - 1, 0)) << row;
            copied += cell(list, row, 0) + L" " + rows[row] + L"\r\n";
            saved += "\\d{4}-\\d\\d-\\d\\d " + utf8(cell(list, row, 0) + L" " + rows[row]) + "\r\n";
        }
        // The whole text as a tip over a row that its column cuts; a double-click on the divider fits the
        // text column to its longest row.
        WCHAR tip[1024] = L"";
        NMLVGETINFOTIPW info = {{list.m_hWnd, IDC_HISTORY_LIST, LVN_GETINFOTIPW}, 0, tip, 1024, 1, 0, 0};
        history.SendMessage(WM_NOTIFY, IDC_HISTORY_LIST, (LPARAM)&info);
        EXPECT_EQ(rows[1], tip);
        list.SetColumnWidth(1, 60);
        RECT divider = {};
        ::SendMessageA(list.GetHeader(), HDM_GETITEMRECT, 1, (LPARAM)&divider);
        ::SendMessageA(list.GetHeader(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(divider.right - 1, 5));
        d.Post(WM_NULL);
        EXPECT_EQ(list.GetStringWidth(rows[1].c_str()) + 16, (int)list.SendMessage(LVM_GETCOLUMNWIDTH, 1));

        // Ctrl+A, Ctrl+C: every row as the list shows it, those after the zero byte too. While another
        // program (a thread here) holds the clipboard, the status line says so.
        BYTE keys[256] = {};
        keys[VK_CONTROL] = 0x80;
        ::SetKeyboardState(keys);
        CHandle held(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
            release(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        CClipboardHold hold = {held.Get(), release.Get(), 5000};
        CHandle holder(::CreateThread(nullptr, 0, HoldClipboard, &hold, 0, nullptr));
        ::WaitForSingleObject(held.Get(), 5000);
        for (WPARAM key : {'A', 'C'})
            ::PostMessageA(list, WM_KEYDOWN, key, 1);
        d.Post(WM_NULL);
        WCHAR status[512] = L"";
        history.m_status.GetWindowText(status, 512);
        EXPECT_NE(nullptr, wcsstr(status, L"another program holds the clipboard")) << status;
        ::SetEvent(release.Get()), ::WaitForSingleObject(holder.Get(), 5000);
        // Held for a moment only, it is waited for.
        CClipboardHold moment = {held.Get(), release.Get(), 40};
        ::ResetEvent(held.Get()), ::ResetEvent(release.Get());
        holder.Reset(::CreateThread(nullptr, 0, HoldClipboard, &moment, 0, nullptr));
        ::WaitForSingleObject(held.Get(), 5000);
        ::PostMessageA(list, WM_KEYDOWN, 'C', 1);
        d.Post(WM_NULL);
        ::WaitForSingleObject(holder.Get(), 5000);
        ASSERT_TRUE(::OpenClipboard(nullptr));
        HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
        EXPECT_EQ(copied, data ? static_cast<const WCHAR*>(::GlobalLock(data)) : L"");
        ::GlobalUnlock(data), ::CloseClipboard();

        // Saved: UTF-8 with its mark, every entry with its date and time. A folder that does not exist
        // leaves nothing; nor does a file that cannot be replaced, which stays as it was.
        const std::wstring folder = station.m_path + L"\\saved", path = folder + L"\\history.txt";
        DWORD error = 0;
        EXPECT_TRUE(!history.SaveHistory(path.c_str(), error) && error != 0);
        ::CreateDirectoryW(folder.c_str(), nullptr);
        ASSERT_TRUE(history.SaveHistory(path.c_str(), error)) << error;
        auto file = [&] {
            return std::string(std::istreambuf_iterator<char>(
                                   std::ifstream(std::filesystem::path(path), std::ios::binary).rdbuf()),
                               {});
        };
        // Saved again, the file is written beside and put in the old one's place, never written over.
        const ULONGLONG first = FileId(path);
        ASSERT_TRUE(history.SaveHistory(path.c_str(), error)) << error;
        EXPECT_NE(first, FileId(path)) << "written in place";
        const std::string written = file();
        EXPECT_TRUE(std::regex_match(written, std::regex(saved))) << written;
        CHandle locked(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_FALSE(history.SaveHistory(path.c_str(), error));
        locked.Reset();
        WIN32_FIND_DATAW found;
        EXPECT_EQ(INVALID_HANDLE_VALUE, ::FindFirstFileW((folder + L"\\*.tmp").c_str(), &found))
            << "a part left";
        EXPECT_EQ(written, file());
        ::DeleteFileW(path.c_str()), ::RemoveDirectoryW(folder.c_str());
        d.EndDialog(IDCANCEL);
    });
}

static DWORD g_joinedAt = 0;
// A child whose start takes two seconds, far longer than any redraw of a window that waits for news.
static HANDLE JoinSlowly(HANDLE process) {
    ::Sleep(2000);
    g_joinedAt = ::GetTickCount();
    return CConsoleTestAccess::Join(process);
}

// Every change reaches an open history window within a redraw, however long after the last one it comes:
// here the start record of a run that took its time to start and has written nothing since.
TEST(UiTests, HistoryWindowShowsAQuietRunsStart) {
    CStation station("hang\n", "hang\n");
    CTestDlg().Run([&](CTestDlg& d) {
        CConsoleTestAccess::SetJoin(d.m_stationConsole, JoinSlowly);
        d.Post(WM_SYSCOMMAND, IDM_STATION_HISTORY);
        d.Click(IDC_START);
        WCHAR text[64] = L"";
        auto shown = [&] {
            return d.m_stationHistory.m_list.GetItemText(0, 1, text, 64), !wcscmp(text, L"run 1 started");
        };
        EXPECT_TRUE(WaitFor(shown, 6000) && ::GetTickCount() - g_joinedAt < 1000);
        d.EndDialog(IDCANCEL);
    });
}
