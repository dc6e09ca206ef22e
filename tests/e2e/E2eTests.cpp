// Quorvid.exe as a person uses it, started in a station folder with stand-in scripts and driven from outside.
#include "res/resource.h"
#include "tests/Processes.h"
#include "tests/Station.h"
#include "control/ControlNames.h"
#include "control/ControlProtocol.h"
#include "service/ServiceControl.h"

#include <windows.h>
#include <commctrl.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

namespace {

const DWORD kStateMs = 12000; // Stop may wait up to 4 s per console

// Drive Q: for the drive a folder is on, as subst makes one. This Wine accepts DefineDosDevice but resolves
// no name it defines: there its mount manager makes the drive, given the record winecfg gives it.
struct CSecondDrive {
    std::wstring m_root;
    explicit CSecondDrive(const std::wstring& folder) : m_root(folder.substr(0, 3)) {
        if (!DefineDosDeviceW(0, L"Q:", m_root.c_str()) ||
            GetFileAttributesW(L"Q:\\") == INVALID_FILE_ATTRIBUTES)
            DefineDosDeviceW(DDD_REMOVE_DEFINITION, L"Q:", nullptr), DefineInWine(true);
    }
    ~CSecondDrive() { DefineDosDeviceW(DDD_REMOVE_DEFINITION, L"Q:", nullptr), DefineInWine(false); }
    std::wstring Path(const std::wstring& folder) const { return L"Q" + folder.substr(1); }
    void DefineInWine(bool define) {
        auto unixName = (char*(CDECL*)(LPCWSTR))(void*)GetProcAddress(GetModuleHandleA("kernel32"),
                                                                      "wine_get_unix_file_name");
        struct {
            ULONG size, type, fsType, serial;
            ULONGLONG device;
            WCHAR letter;
            USHORT at, deviceAt, labelAt;
            char path[MAX_PATH];
        } drive = {sizeof drive, define ? (ULONG)DRIVE_FIXED : 0, 0, 0, 0,
                   L'q',         (USHORT)(define ? 32 : 0),       0, 0, {}};
        HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (unixName && define)
            lstrcpynA(drive.path, unixName(m_root.c_str()), MAX_PATH);
        DWORD size = 0;
        if (unixName)
            DeviceIoControl(manager,
                            CTL_CODE(0x6D, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS), &drive,
                            sizeof drive, nullptr, 0, &size, nullptr);
        CloseHandle(manager);
    }
};

// The screen's DPI for the programs started while the object lives, as the display settings set it.
struct CScreenDpi {
    HKEY m_key = nullptr;
    explicit CScreenDpi(DWORD dpi) {
        RegCreateKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", &m_key);
        RegSetValueExA(m_key, "LogPixels", 0, REG_DWORD, (const BYTE*)&dpi, sizeof dpi);
    }
    ~CScreenDpi() { RegDeleteValueA(m_key, "LogPixels"), RegCloseKey(m_key); }
};

// The main window of the program with this process id, shown or not.
HWND MainWindowOf(DWORD pid) {
    for (HWND hWnd = nullptr;
         (hWnd = FindWindowExA(nullptr, hWnd, nullptr, "Quorvid sharing application"));) {
        DWORD owner = 0;
        if (GetWindowThreadProcessId(hWnd, &owner) && owner == pid)
            return hWnd;
    }
    return nullptr;
}

// A launched Quorvid.exe; killed with its scripts if a test ends half-way.
struct CApp {
    PROCESS_INFORMATION pi = {};
    std::wstring program; // the program file; the one beside the test where empty
    HWND hWnd = nullptr;
    char* remote = nullptr; // list-view messages are not marshalled: item and text must be in the target

    // With a title, also a window position, in its startup record, as a shortcut can give them.
    bool Start(const std::wstring& folder, const wchar_t* arguments, const wchar_t* title = nullptr) {
        std::wstring line = L"Quorvid.exe " + std::wstring(arguments);
        STARTUPINFOW si = {}; // the program is found beside the test program
        si.cb = sizeof(si);
        si.lpTitle = (LPWSTR)title;
        si.dwFlags = title ? STARTF_USEPOSITION : 0;
        si.dwX = 123, si.dwY = 45;
        return CreateProcessW(program.empty() ? nullptr : program.c_str(), &line[0], nullptr, nullptr, FALSE,
                              0, nullptr, folder.c_str(), &si, &pi);
    }
    // Waits for the program's main window to be shown, not minimised.
    bool Attach() {
        auto shown = [&] {
            return (hWnd = MainWindowOf(pi.dwProcessId)) && IsWindowVisible(hWnd) && !IsIconic(hWnd);
        };
        if (!WaitFor(shown, 15000))
            return false;
        remote = (char*)VirtualAllocEx(pi.hProcess, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
        return remote != nullptr;
    }
    bool Launch(const std::wstring& folder, const wchar_t* arguments) {
        return Start(folder, arguments) && Attach();
    }
    ~CApp() {
        TerminateProcess(pi.hProcess, 1); // in vain when it has ended as it should
        for (DWORD child : ProcessesNamed("php.exe", pi.dwProcessId)) {
            HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, child);
            TerminateProcess(process, 1), CloseHandle(process);
        }
        CloseHandle(pi.hProcess), CloseHandle(pi.hThread);
    }
    LRESULT Send(int id, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return SendMessageA(GetDlgItem(hWnd, id), msg, wParam, lParam);
    }
    std::string Text(int id) const {
        char text[256] = {};
        Send(id, WM_GETTEXT, sizeof(text), (LPARAM)text);
        return text;
    }
    // Every row of a list as the list holds it, in UTF-8, joined with '|' (what a person reads top to
    // bottom).
    std::string Rows(int id) const { return Rows(GetDlgItem(hWnd, id)); }
    std::string Rows(HWND list, int column = 0) const {
        std::string rows;
        for (int row = 0, count = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0); row < count; ++row) {
            WCHAR text[1024] = {};
            char utf8[3 * 1024] = {};
            LVITEMW item = {};
            item.iSubItem = column, item.pszText = (LPWSTR)(remote + 256), item.cchTextMax = 1023;
            WriteProcessMemory(pi.hProcess, remote, &item, sizeof(item), nullptr);
            SendMessageA(list, LVM_GETITEMTEXTW, row, (LPARAM)remote);
            ReadProcessMemory(pi.hProcess, item.pszText, text, sizeof(text) - 2, nullptr);
            WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
            rows += (row ? "|" : "") + std::string(utf8);
        }
        return rows;
    }
    std::string Lists() const { return Rows(IDC_LIST_STATION) + "#" + Rows(IDC_LIST_UPLOADER); }
    bool On(int id) const { return IsWindowEnabled(GetDlgItem(hWnd, id)); }
    // A view may close whatever the service runs.
    bool Running(bool view = false) const { return !On(IDC_START) && On(IDC_CLOSE) == view && On(IDC_STOP); }
    bool Idle() const { return On(IDC_START) && On(IDC_CLOSE) && !On(IDC_STOP) && Lists() == "#"; }
    void Post(UINT msg, WPARAM wParam) const { PostMessageA(hWnd, msg, wParam, 0); }
    // What the program leaves behind when it has ended: nothing of its own.
    void ExpectGoneWithoutTrace() const {
        ASSERT_EQ(WaitForSingleObject(pi.hProcess, kStateMs), WAIT_OBJECT_0) << "Quorvid.exe did not end";
        EXPECT_TRUE(ProcessesNamed("Quorvid.exe").empty());
        EXPECT_TRUE(ProcessesNamed("php.exe", pi.dwProcessId).empty()) << "a script outlived the program";
        HKEY key = nullptr; // opening it fails: the program leaves no registry key
        EXPECT_TRUE(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Local AppWizard-Generated Applications", &key));
    }
};

// Quorvid.exe with switches, in `folder`: its exit code and what it wrote to the output it was given.
std::pair<DWORD, std::string> Quorvid(const std::wstring& folder, const std::wstring& arguments) {
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    CreatePipe(&read, &write, &inherited, 1 << 16); // room for all it says: read once it has ended
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    std::wstring line = L"Quorvid.exe " + arguments;
    STARTUPINFOW si = {};
    si.cb = sizeof(si), si.dwFlags = STARTF_USESTDHANDLES, si.hStdOutput = si.hStdError = write;
    PROCESS_INFORMATION pi = {};
    DWORD code = 0xDEAD, size = 0;
    if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &si, &pi)) {
        if (WaitForSingleObject(pi.hProcess, 15000) != WAIT_OBJECT_0)
            TerminateProcess(pi.hProcess, 0xDEAD);
        GetExitCodeProcess(pi.hProcess, &code), CloseHandle(pi.hProcess), CloseHandle(pi.hThread);
    }
    std::string out(1 << 16, 0);
    if (!PeekNamedPipe(read, nullptr, 0, nullptr, &size, nullptr) ||
        (size && !ReadFile(read, &out[0], size, &size, nullptr))) // a read of none would wait for more
        size = 0;
    CloseHandle(read), CloseHandle(write);
    return {code, out.substr(0, size)};
}

// How many pixels of the notification area's right end show a green lamp: a script that runs.
int GreenLamps() {
    HWND tray = FindWindowA("Shell_TrayWnd", nullptr);
    RECT rect = {};
    if (!GetWindowRect(tray, &rect))
        return -1;
    HDC screen = GetDC(nullptr);
    int green = 0;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.right - 64; x < rect.right; ++x) {
            const COLORREF pixel = GetPixel(screen, x, y);
            green += GetGValue(pixel) > 150 && GetRValue(pixel) < 100 && GetBValue(pixel) < 100;
        }
    ReleaseDC(nullptr, screen);
    return green;
}

std::string Narrow(const std::wstring& text) {
    char narrow[MAX_PATH * 2] = {};
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow;
}

} // namespace

TEST(EndToEnd, SettingsDatedOutputCloseRefusedWhileRunningAndCleanExit) {
    CStationFolder station;
    ASSERT_TRUE(station.Write(L"config.ini", "[sharing]\nname=st042\npass=secret7\nhost=www.example.net\n"
                                             "udp_host=feed.example.net\nudp_port=30003\ninterval=20\n"));
    // Nine dated lines, then the script keeps running; only the exact "2010-" date prefix is cut. A line in
    // UTF-8 is shown as such.
    ASSERT_TRUE(station.WriteScripts(
        "lines 9 2010-05-17 12:00:0%n station line %n\nhang\n",
        "out 2011-03-04 kept whole\nout 2010-06-01 uploader pr\xC3\xAAt: Z\xC3\xBCrich\nhang\n"));
    CScreenDpi dpi(144);
    CApp app;
    ASSERT_TRUE(app.Launch(station.m_path, L"")) << "no main window";
    // At 144 DPI the window grows with its font, and each list's column still reaches the list's edge.
    RECT list = {};
    for (int id : {IDC_LIST_STATION, IDC_LIST_UPLOADER})
        EXPECT_TRUE(GetClientRect(GetDlgItem(app.hWnd, id), &list) &&
                    app.Send(id, LVM_GETCOLUMNWIDTH) >= list.right);
    EXPECT_EQ(app.Text(IDC_LOGIN) + "|" + app.Text(IDC_PASSWORD) + "|" + app.Text(IDC_HTTP_SERVER) + "|" +
                  app.Text(IDC_UDP_SERVER) + "|" + app.Text(IDC_INTERVAL_LABEL),
              "ST042|SECRET7|www.example.net|udp://feed.example.net:30003|Update interval [ 20s ]");
    EXPECT_EQ(app.Send(IDC_INTERVAL, TBM_GETPOS), 20);
    EXPECT_TRUE(app.Idle()); // nothing runs before Start without "--start"

    app.Post(WM_COMMAND, IDC_START);
    const char shown[] = "12:00:04 station line 4|12:00:05 station line 5|12:00:06 station line 6|"
                         "12:00:07 station line 7|12:00:08 station line 8|12:00:09 station line 9#"
                         "2011-03-04 kept whole|uploader pr\xC3\xAAt: Z\xC3\xBCrich";
    EXPECT_TRUE(WaitFor([&] { return app.Running() && app.Lists() == shown; }, kStateMs)) << app.Lists();
    EXPECT_EQ(ProcessesNamed("php.exe", app.pi.dwProcessId).size(), 2u);

    // Close, WM_CLOSE and IDCLOSE are refused while running and right after Stop, before the consoles stop.
    const UINT burst[][2] = {{WM_COMMAND, IDC_CLOSE}, {WM_CLOSE, 0}, {WM_COMMAND, IDCLOSE},
                             {WM_COMMAND, IDC_STOP},  {WM_CLOSE, 0}, {WM_COMMAND, IDC_CLOSE}};
    for (const UINT* message : burst)
        app.Post(message[0], message[1]);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(app.hWnd) || app.Idle(); }, kStateMs));
    ASSERT_TRUE(IsWindow(app.hWnd)) << "the window was closed while a script ran";
    EXPECT_TRUE(WaitFor([&] { return ProcessesNamed("php.exe", app.pi.dwProcessId).empty(); }, kStateMs));

    app.Post(WM_COMMAND, IDC_CLOSE); // allowed now that nothing runs
    app.ExpectGoneWithoutTrace();
}

TEST(EndToEnd, StartSwitchRestartsAnEndedScriptAndEscapeEndsEverything) {
    CStationFolder station;
    ASSERT_TRUE(station.WriteScripts("out a\nsleep 300\nout b\nexit 0\n", "startup\nhang\n"));
    // Started as at log-on, while another program's window is the active one.
    HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 99, 99, nullptr, nullptr,
                                 nullptr, nullptr);
    CApp app;
    ASSERT_TRUE(SetForegroundWindow(other) && app.Start(station.m_path, L"--start", L"quorvid-e2e-title"));
    WaitFor([&] { return !SetForegroundWindow(other) || MainWindowOf(app.pi.dwProcessId); }, kStateMs);
    ASSERT_TRUE(app.Attach()) << "no main window";
    DestroyWindow(other);
    // Without config.ini the settings stay as the window was built.
    EXPECT_EQ(app.Text(IDC_LOGIN) + "|" + app.Text(IDC_INTERVAL_LABEL), "|Update interval [ 10s ]");

    // A script's startup record is the console's own, with nothing of the program's.
    std::string up;
    WaitFor([&] { return (up = app.Rows(IDC_LIST_UPLOADER)).rfind("startup: ", 0) == 0; }, kStateMs);
    EXPECT_TRUE(up.find("startup: ") == 0 && up.find("e2e-title") == up.npos && up.find("123,45") == up.npos)
        << up;

    // The ended station script is restarted: its list is emptied and refilled, the rest stays as it is.
    EXPECT_TRUE(WaitFor([&] { return app.Lists() == "a|b#" + up; }, kStateMs)) << app.Lists();
    EXPECT_TRUE(WaitFor([&] { return app.Running() && app.Lists() == "a#" + up; }, kStateMs));

    app.Post(WM_COMMAND, IDCANCEL); // Escape ends the program even while both scripts run
    app.ExpectGoneWithoutTrace();
}

TEST(EndToEnd, OneCopyPerStationFolderAndNoScriptOutlivesTheProgram) {
    // Two folders whose names differ only in characters outside the ANSI code page.
    CStationFolder station(L"\x0416\x0411"), other(L"\x0416\x0412");
    // Each script starts a helper of its own, as a script that runs a program would.
    const char helped[] = "spawn helper.php\nout up\nhang\n";
    ASSERT_TRUE(station.WriteScripts(helped, helped) && station.Write(L"helper.php", "hang\n"));
    ASSERT_TRUE(other.WriteScripts("out other\nhang\n", "out other\nhang\n"));

    // Two copies at once in one folder, one through another drive letter, with "--start": the one that
    // does not get the folder waits for the other's window while that copy is still starting, has it start
    // its scripts, and ends.
    CSecondDrive drive(station.m_path);
    CApp copies[2];
    ASSERT_TRUE(copies[0].Start(station.m_path, L"--start") &&
                copies[1].Start(drive.Path(station.m_path), L"--start"));
    HANDLE processes[] = {copies[0].pi.hProcess, copies[1].pi.hProcess};
    const DWORD ended = WaitForMultipleObjects(2, processes, FALSE, kStateMs) - WAIT_OBJECT_0;
    ASSERT_LT(ended, 2u) << "two copies run one station";
    DWORD exitCode = 0;
    EXPECT_TRUE(GetExitCodeProcess(processes[ended], &exitCode) && exitCode == 0) << exitCode;
    CApp& first = copies[1 - ended];
    ASSERT_TRUE(first.Attach()) << "the copy that runs has no window";
    EXPECT_TRUE(WaitFor([&] { return first.Lists() == "up#up" && Interpreters() == 4; }, kStateMs));

    // The other folder is another station.
    CApp third;
    ASSERT_TRUE(third.Launch(other.m_path, L"--start")) << "a copy in another folder did not run";
    EXPECT_TRUE(WaitFor([&] { return third.Lists() == "other#other" && Interpreters() == 6; }, kStateMs));

    // Ended from outside, as Task Manager does: the system ends every script with them.
    TerminateProcess(first.pi.hProcess, 1);
    TerminateProcess(third.pi.hProcess, 1);
    EXPECT_TRUE(WaitFor([&] { return Interpreters() == 0; }, kStateMs)) << Interpreters() << " left";
}

// The control switches on a copy that runs: its state line by line, Stop and Start as its buttons show them,
// and its end with every script and what they started; on none, and with a switch the program does not know.
TEST(EndToEnd, ControlSwitchesActOnTheCopyThatRuns) {
    CStationFolder station, elsewhere;
    const char helped[] = "spawn helper.php\nout up\nhang\n";
    ASSERT_TRUE(station.WriteScripts(helped, helped) && station.Write(L"helper.php", "hang\n"));
    // A folder with a trailing backslash, quoted as Setup writes it: the quote ends the folder.
    const std::wstring here = L"--station=\"" + station.m_path + L"\\\" ";
    const std::string none = "no copy of Quorvid supervises this folder\r\n";
    for (const wchar_t* command : {L"--status", L"--stop", L"--exit"})
        EXPECT_EQ(Quorvid(station.m_path, command), std::make_pair(1ul, none)) << Narrow(command);
    EXPECT_EQ(Quorvid(station.m_path, L"--list"), std::make_pair(1ul, std::string()));
    auto unknown = Quorvid(station.m_path, L"--start --stat");
    EXPECT_EQ(unknown.first, 87u);
    EXPECT_NE(unknown.second.find("--stat\r\nthe switches are --start, --stop, --status, --exit"),
              std::string::npos)
        << unknown.second;
    EXPECT_EQ(Interpreters(), 0u) << "an unknown switch started the scripts";

    CApp app;
    ASSERT_TRUE(app.Launch(station.m_path, L"--start"));
    ASSERT_TRUE(WaitFor([&] { return app.Running() && Interpreters() == 4 && GreenLamps() > 0; }, kStateMs));
    auto status = Quorvid(elsewhere.m_path, here + L"--status");
    EXPECT_EQ(status.first, 0u) << status.second;
    EXPECT_EQ(status.second.find("sbs1station.php: running, run 1 since 20"), 0u) << status.second;
    EXPECT_NE(status.second.find("\r\nuploader.php: running, run 1 since 20"), std::string::npos);
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    lstrcpyA(strrchr(program, '\\') + 1, "Quorvid.exe");
    EXPECT_EQ(Quorvid(elsewhere.m_path, L"--list"),
              std::make_pair(0ul, std::to_string(app.pi.dwProcessId) + "\trunning\t" + program + "\t" +
                                      Narrow(station.m_path) + "\r\n"));

    EXPECT_EQ(Quorvid(station.m_path, L"--stop"),
              std::make_pair(0ul, std::string("the scripts are stopped\r\n")));
    EXPECT_TRUE(app.Idle()) << "--stop returned before the copy was idle";
    EXPECT_TRUE(WaitFor([] { return Interpreters() == 0; }, kStateMs)); // ended through their job
    EXPECT_TRUE(WaitFor([] { return GreenLamps() == 0; }, kStateMs)) << "the tray still shows a script";
    status = Quorvid(station.m_path, L"--status");
    EXPECT_EQ(status.first, 1u);
    EXPECT_EQ(status.second.find("sbs1station.php: stopped, last run 1; last end: stopped after "), 0u)
        << status.second;

    // Started again, the station script now ends by itself: how it ended is told without the run's length.
    ASSERT_TRUE(station.Write(L"sbs1station.php", "sleep 200\nexit 255\n"));
    EXPECT_EQ(Quorvid(station.m_path, L"--start").first, 0u);
    EXPECT_TRUE(WaitFor([&] { return app.Running() && GreenLamps() > 0; }, kStateMs));
    EXPECT_TRUE(WaitFor(
        [&] {
            status = Quorvid(station.m_path, L"--status");
            return status.second.find("; last end: exit code 255 at ") != std::string::npos;
        },
        kStateMs))
        << status.second;
    // Between the station script's runs only the uploader runs: not both.
    EXPECT_TRUE(WaitFor(
        [&] {
            return (status = Quorvid(station.m_path, L"--status"))
                       .second.rfind("sbs1station.php: restarting", 0) == 0;
        },
        kStateMs));
    EXPECT_EQ(1u, status.first) << status.second;
    // Today's end is told by its time alone: "at 15:30:01".
    const size_t at = status.second.find(" at ") + 4;
    EXPECT_EQ(status.second.find(':', at), at + 2) << status.second;
    // A history's Save dialog left open does not hold the end.
    app.Post(WM_SYSCOMMAND, IDM_STATION_HISTORY);
    HWND history = nullptr;
    ASSERT_TRUE(WaitFor(
        [&] { return (history = FindWindowA(nullptr, "sbs1station.php history")) != nullptr; }, kStateMs));
    PostMessageA(history, WM_COMMAND, ID_HISTORY_SAVE, 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowEnabled(history); }, kStateMs)) << "no Save dialog";
    EXPECT_EQ(Quorvid(station.m_path, L"--exit"), std::make_pair(0ul, std::string("Quorvid has ended\r\n")));
    EXPECT_EQ(WaitForSingleObject(app.pi.hProcess, 0), WAIT_OBJECT_0) << "--exit returned before the end";
    EXPECT_TRUE(WaitFor([&] { return Interpreters() == 0; }, kStateMs)) << Interpreters() << " left";
    app.ExpectGoneWithoutTrace();
}

// A copy in another session holds the station: Wine has one session, so the test holds the machine-wide lock
// as that copy would, and a copy started as at log-on steps aside with nothing shown or started.
TEST(EndToEnd, StationHeldInAnotherSessionIsLeftAlone) {
    CStationFolder station;
    ASSERT_TRUE(station.WriteScripts("out up\nhang\n", "out up\nhang\n"));
    // A folder where the lock file cannot be had (here: a folder takes its name) leaves the named mutexes to
    // decide, as in a station folder this user may only read.
    const std::wstring lock = station.m_path + L"\\Quorvid.station.lock";
    ASSERT_TRUE(CreateDirectoryW(lock.c_str(), nullptr));
    HANDLE folder =
        CreateFileW(station.m_path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION id = {};
    ASSERT_TRUE(GetFileInformationByHandle(folder, &id));
    CloseHandle(folder);
    char name[64];
    wsprintfA(name, "Global\\Quorvid.Station.%08lX.%08lX%08lX", id.dwVolumeSerialNumber, id.nFileIndexHigh,
              id.nFileIndexLow);
    // Made by another user, the mutex is one this user may not open: it is held, owned or not.
    SECURITY_DESCRIPTOR noOne = {};
    ACL empty = {};
    InitializeSecurityDescriptor(&noOne, SECURITY_DESCRIPTOR_REVISION);
    InitializeAcl(&empty, sizeof(empty), ACL_REVISION);
    SetSecurityDescriptorDacl(&noOne, TRUE, &empty, FALSE);
    SECURITY_ATTRIBUTES othersOnly = {sizeof(othersOnly), &noOne, FALSE};
    HANDLE held = CreateMutexA(&othersOnly, FALSE, name);
    EXPECT_EQ(Quorvid(station.m_path, L"--start").first, 3u);
    CloseHandle(held);
    // Made by this user in another session, it is held while owned.
    held = CreateMutexA(nullptr, TRUE, name);
    const std::string elsewhere = "this station folder is supervised in another user's session";
    for (const wchar_t* command : {L"--start", L"--status"})
        EXPECT_EQ(Quorvid(station.m_path, command), std::make_pair(3ul, elsewhere + "\r\n"))
            << Narrow(command);
    // Started by hand, it says so in a message box.
    CApp byHand;
    HWND box = nullptr;
    char text[128] = {};
    ASSERT_TRUE(byHand.Start(station.m_path, L""));
    EXPECT_TRUE(WaitFor([&] { return (box = FindWindowA("#32770", "Quorvid")) != nullptr; }, kStateMs));
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    EXPECT_EQ(text, elsewhere);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    DWORD code = 0;
    EXPECT_EQ(WaitForSingleObject(byHand.pi.hProcess, kStateMs), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(byHand.pi.hProcess, &code) && code == 3) << code;
    EXPECT_EQ(Interpreters(), 0u);
    ReleaseMutex(held), CloseHandle(held);
    EXPECT_EQ(Quorvid(station.m_path, L"--status").first, 1u);
    RemoveDirectoryW(lock.c_str());
}

namespace {

std::wstring StationId(const std::wstring& folder) {
    WCHAR id[kStationIdSize];
    StationIdOf(folder.c_str(), id);
    return id;
}

// The pipe by which the copy supervising `folder` is asked.
std::wstring StationPipe(const std::wstring& folder) {
    WCHAR pipe[kPipeNameSize];
    StationPipeName(StationId(folder).c_str(), pipe);
    return pipe;
}

// One message through a pipe and its answer: the head's kind and error, or 0 when none came.
std::pair<WORD, DWORD> Exchange(HANDLE pipe, const void* message, DWORD size) {
    static BYTE answer[kControlMaxAnswer];
    DWORD got = 0;
    CControlHead head = {};
    if (!WriteFile(pipe, message, size, &got, nullptr) ||
        !ReadFile(pipe, answer, sizeof answer, &got, nullptr) || got < sizeof head)
        return {0, 0};
    memcpy(&head, answer, sizeof head);
    return {head.size == got ? head.kind : 0, head.error};
}

std::wstring ProgramFolder() {
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    *wcsrchr(path, L'\\') = 0;
    return path;
}

} // namespace

// The window takes no command from a window message, and its pipe answers what it cannot read with an error
// and goes on serving.
TEST(EndToEnd, OnlyThePipeControlsACopyAndItSurvivesGarbage) {
    // A station folder whose path is longer than MAX_PATH, as the system allows.
    CStationFolder station(std::wstring(240, L'x').c_str()), elsewhere;
    ASSERT_GT(station.m_path.size(), (size_t)MAX_PATH);
    const std::wstring there = L"--station=\"" + station.m_path + L"\" ";
    ASSERT_TRUE(station.WriteScripts("out up\nhang\n", "out up\nhang\n"));
    CApp app;
    ASSERT_TRUE(app.Launch(elsewhere.m_path, there.c_str()));
    // What older versions took: a command posted as WM_APP+1, and a start request as WM_COPYDATA ("QVC1").
    struct {
        DWORD command;
        BYTE ticket[16];
    } old = {1, {}};
    COPYDATASTRUCT data = {0x51564331, sizeof old, &old};
    HWND asker = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    app.Post(WM_APP + 1, 1);
    DWORD_PTR result = 0;
    SendMessageTimeoutA(app.hWnd, WM_COPYDATA, (WPARAM)asker, (LPARAM)&data, SMTO_ABORTIFHUNG, 2000, &result);
    DestroyWindow(asker);
    WaitFor([] { return false; }, 500);
    EXPECT_TRUE(app.Idle() && Interpreters() == 0) << "a window message started the scripts";

    HANDLE pipe = CreateFileW(StationPipe(station.m_path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    DWORD mode = PIPE_READMODE_MESSAGE;
    ASSERT_TRUE(pipe != INVALID_HANDLE_VALUE && SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr));
    CControlRequest request = MakeRequest(kControlAsk), later = request, unknown = request, console = request;
    later.version = kControlVersion + 1;
    unknown.command = kControlLastCommand + 1;
    console.command = kControlScreen, console.console = 3;
    const std::string garbage(13, '\xA5'), tooLong(sizeof request + 200, '\0');
    const std::pair<std::pair<const void*, DWORD>, DWORD> kWrong[] = {
        {{garbage.data(), (DWORD)garbage.size()}, kErrorVersion},
        {{tooLong.data(), (DWORD)tooLong.size()}, kErrorVersion},
        {{&later, sizeof later}, kErrorVersion},
        {{&request, sizeof request - 1}, kErrorMalformed},
        {{&unknown, sizeof unknown}, kErrorCommand},
        {{&console, sizeof console}, kErrorMalformed}};
    for (const auto& [message, error] : kWrong)
        EXPECT_EQ(std::make_pair((WORD)kAnswerError, error), Exchange(pipe, message.first, message.second))
            << error;
    EXPECT_EQ(std::make_pair((WORD)kAnswerState, (DWORD)kErrorNone),
              Exchange(pipe, &request, sizeof request));
    CloseHandle(pipe);
    EXPECT_EQ(Quorvid(elsewhere.m_path, there + L"--status").second,
              "sbs1station.php: not started\r\nuploader.php: not started\r\n");
    EXPECT_EQ(Quorvid(elsewhere.m_path, there + L"--exit").first, 0u);
}

// Another program made the station's pipe before the copy could: the copy runs the station all the same and
// takes the name once it is free; until then the switches name the program that holds it and send it nothing.
TEST(EndToEnd, ATakenControlNameIsReportedAndNotTrusted) {
    CStationFolder station;
    ASSERT_TRUE(station.WriteScripts("out up\nhang\n", "out up\nhang\n"));
    // Instances enough for every caller, as a program that serves the name would keep making.
    HANDLE taken[8];
    OVERLAPPED waiting[8] = {};
    for (int i = 0; i < 8; ++i) {
        taken[i] =
            CreateNamedPipeW(StationPipe(station.m_path).c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                             PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 8, 4096, 4096, 0, nullptr);
        waiting[i].hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ASSERT_TRUE(taken[i] != INVALID_HANDLE_VALUE && !ConnectNamedPipe(taken[i], &waiting[i]));
    }
    CApp app;
    ASSERT_TRUE(app.Launch(station.m_path, L"--start"));
    EXPECT_TRUE(WaitFor([&] { return app.Running() && app.Lists() == "up#up"; }, kStateMs));
    EXPECT_EQ(Quorvid(station.m_path, L"--status"),
              std::make_pair(4ul, "the station's control name is held by another program (process " +
                                      std::to_string(GetCurrentProcessId()) + ")\r\n"));
    for (int i = 0; i < 8; ++i) {
        DWORD sent = 0;
        PeekNamedPipe(taken[i], nullptr, 0, nullptr, &sent, nullptr);
        EXPECT_EQ(0u, sent) << "bytes sent to the program that holds the name";
        CloseHandle(taken[i]), CloseHandle(waiting[i].hEvent);
    }
    EXPECT_TRUE(WaitFor([&] { return Quorvid(station.m_path, L"--status").first == 0; }, kStateMs));
    EXPECT_EQ(Quorvid(station.m_path, L"--exit").first, 0u);
}

// A copy whose scripts cannot start says why, for each script.
TEST(EndToEnd, StartSaysWhyAScriptCouldNotStart) {
    CStationFolder station, program(L"no-php");
    ASSERT_TRUE(station.WriteScripts("hang\n", "hang\n"));
    // A program folder without the stand-in interpreter: "php" is found nowhere.
    ASSERT_TRUE(CopyFileW((ProgramFolder() + L"\\Quorvid.exe").c_str(),
                          (program.m_path + L"\\Quorvid.exe").c_str(), FALSE));
    CApp app;
    app.program = program.m_path + L"\\Quorvid.exe";
    ASSERT_TRUE(app.Launch(station.m_path, L""));
    WCHAR reason[256] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_FILE_NOT_FOUND,
                   0, reason, 256, nullptr);
    const std::string why = Narrow(reason).substr(0, Narrow(reason).find_last_not_of(" \r\n") + 1);
    EXPECT_EQ(Quorvid(station.m_path, L"--start"),
              std::make_pair(1ul, "sbs1station.php: not started: " + why +
                                      "\r\nuploader.php: not started: " + why + "\r\n"));
    app.Post(WM_COMMAND, IDCANCEL);
    app.ExpectGoneWithoutTrace();
    DeleteFileW(app.program.c_str());
}

// What Setup does around an update: every copy of a program folder closed and listed, then started again as
// it was, one with its scripts running and one idle.
TEST(EndToEnd, ExitAllAndResumeBringEveryCopyBackAsItWas) {
    CStationFolder running, idle, elsewhere;
    for (CStationFolder* station : {&running, &idle})
        ASSERT_TRUE(station->WriteScripts("out up\nhang\n", "out up\nhang\n"));
    CApp apps[2];
    ASSERT_TRUE(apps[0].Launch(running.m_path, L"--start") && apps[1].Launch(idle.m_path, L""));
    ASSERT_TRUE(WaitFor([&] { return apps[0].Running() && Interpreters() == 2; }, kStateMs));
    const std::wstring list = elsewhere.m_path + L"\\copies.txt";
    EXPECT_EQ(Quorvid(elsewhere.m_path,
                      L"--exit-all \"--program-folder=" + ProgramFolder() + L"\\\" --save=" + list),
              std::make_pair(0ul, std::string()));
    for (CApp& app : apps)
        EXPECT_EQ(WaitForSingleObject(app.pi.hProcess, 0), WAIT_OBJECT_0) << "a copy still runs";
    EXPECT_EQ(Quorvid(elsewhere.m_path, L"--resume=" + list).first, 0u);
    EXPECT_EQ(GetFileAttributesW(list.c_str()), INVALID_FILE_ATTRIBUTES) << "the list is left behind";
    EXPECT_TRUE(WaitFor([&] { return Quorvid(running.m_path, L"--status").first == 0; }, kStateMs));
    EXPECT_EQ(
        Quorvid(idle.m_path, L"--status"),
        std::make_pair(1ul, std::string("sbs1station.php: not started\r\nuploader.php: not started\r\n")));
    for (CStationFolder* station : {&running, &idle})
        EXPECT_EQ(Quorvid(station->m_path, L"--exit").first, 0u);
    DeleteFileW((elsewhere.m_path + L"\\copies.txt").c_str());
}

namespace {

// The system's state of a station's service, and its process.
DWORD ServiceState(SC_HANDLE service, DWORD* pid = nullptr) {
    SERVICE_STATUS_PROCESS status = {};
    DWORD size = 0;
    QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (BYTE*)&status, sizeof status, &size);
    if (pid)
        *pid = status.dwProcessId;
    return status.dwCurrentState;
}

// The program the event log reads the source Quorvid's messages from; "" where there is no such source.
std::string EventMessageFile() {
    HKEY key = nullptr;
    char file[MAX_PATH] = {};
    DWORD size = sizeof file - 1;
    if (!RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                       "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Quorvid", 0, KEY_READ,
                       &key))
        RegQueryValueExA(key, "EventMessageFile", nullptr, nullptr, (BYTE*)file, &size), RegCloseKey(key);
    return file;
}

// No station service is left installed by a test, whatever became of it; nor by an earlier run.
struct CNoServiceLeft {
    CNoServiceLeft() { RemoveAll(); }
    ~CNoServiceLeft() { RemoveAll(); }
    static void RemoveAll() {
        SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        std::vector<std::wstring> names;
        ForEachStationService([&](const CStationService& service) { names.push_back(service.name); });
        for (const std::wstring& name : names) {
            SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_ALL_ACCESS);
            SERVICE_STATUS status;
            ControlService(service, SERVICE_CONTROL_STOP, &status);
            WaitFor([&] { return ServiceState(service) == SERVICE_STOPPED; }, kStateMs);
            DeleteService(service), CloseServiceHandle(service);
        }
        CloseServiceHandle(manager);
    }
};

} // namespace

// A station that an administrator hands to the system: installed in its folder, the service runs both
// scripts as the window's Start would and answers the switches; the system's Stop ends every script and its
// Start runs them again; removed, it leaves nothing behind. Started by hand, --service says it is not for
// people (Wine takes seconds to find that out: it is asked first and heard last).
TEST(EndToEnd, AStationRunsAsAServiceFromBoot) {
    CNoServiceLeft clean;
    CStationFolder station(L"service station");
    ASSERT_TRUE(station.WriteScripts("out station up\nhang\n", "spawn helper.php\nout uploader up\nhang\n") &&
                station.Write(L"helper.php", "hang\n"));
    auto byHand = std::async(std::launch::async, [&] { return Quorvid(station.m_path, L"--service"); });
    const std::wstring id = StationId(station.m_path);
    const std::string folder = Narrow(station.m_path), program = Narrow(ProgramFolder() + L"\\Quorvid.exe");

    // Wine lets the folder's owner, this user, change it: refused unless forced. Nor may a service take a
    // folder that a copy supervises.
    auto said = Quorvid(station.m_path, L"--install-service");
    EXPECT_EQ(said.first, 5u);
    EXPECT_NE(said.second.find("may change " + folder + ", and the service would run"), std::string::npos)
        << said.second;
    const std::wstring lock = station.m_path + L"\\Quorvid.station.lock";
    HANDLE held = CreateFileW(lock.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    said = Quorvid(station.m_path, L"--install-service --force");
    EXPECT_EQ(said, std::make_pair(3ul, "a copy of Quorvid supervises " + folder + ": close it first\r\n"));
    CloseHandle(held);
    EXPECT_EQ(Quorvid(station.m_path, L"--remove-service"),
              std::make_pair(1ul, "no service runs " + folder + "\r\n"));
    DWORD pid = 0;
    EXPECT_FALSE(FindStationService(id.c_str(), &pid));

    said = Quorvid(station.m_path, L"--install-service --force");
    ASSERT_EQ(said.first, 0u) << said.second;
    ASSERT_TRUE(FindStationService(id.c_str(), &pid) && pid != 0);
    EXPECT_EQ(said.second.find("installed the service " + Narrow(id) + " for " + folder +
                               ": it runs as NT "
                               "SERVICE\\"),
              0u)
        << said.second;
    EXPECT_TRUE(
        WaitFor([&] { return ProcessesNamed("php.exe", pid).size() == 2 && Interpreters() == 3; }, kStateMs));
    said = Quorvid(station.m_path, L"--status");
    EXPECT_EQ(said.first, 0u) << said.second;
    const std::string listed = program + "\t" + folder + "\tservice " + Narrow(id) + "\r\n";
    EXPECT_EQ(Quorvid(station.m_path, L"--list"),
              std::make_pair(0ul, std::to_string(pid) + "\trunning\t" + listed));
    // As the system keeps it: started with Windows, as the station's own account, the folder quoted whole;
    // the event log reads its messages from the program.
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceW(manager, id.c_str(), SERVICE_ALL_ACCESS);
    alignas(8) BYTE config[8192];
    QUERY_SERVICE_CONFIGW* kept = (QUERY_SERVICE_CONFIGW*)config;
    DWORD size = sizeof config;
    ASSERT_TRUE(QueryServiceConfigW(service, kept, size, &size));
    EXPECT_EQ(kept->dwStartType, (DWORD)SERVICE_AUTO_START);
    EXPECT_EQ(Narrow(kept->lpServiceStartName) + "|" + Narrow(kept->lpBinaryPathName),
              "NT SERVICE\\" + Narrow(id) + "|\"" + program + "\" --service \"--station=" + folder + "\"");
    EXPECT_EQ(EventMessageFile(), program);

    // Quorvid.exe started in the service's folder is a view of it: the service's lines, and its runs in the
    // history; its Stop and Start through the view's buttons.
    CApp view;
    ASSERT_TRUE(view.Launch(station.m_path, L""));
    EXPECT_TRUE(
        WaitFor([&] { return view.Running(true) && view.Lists() == "station up#uploader up"; }, kStateMs))
        << view.Lists();
    EXPECT_EQ(view.Text(IDC_VIEW_STATUS), "The station runs as a Windows service; Start and Stop act on it.");
    view.Post(WM_SYSCOMMAND, IDM_STATION_HISTORY);
    HWND history = nullptr;
    EXPECT_TRUE(WaitFor(
        [&] {
            history = FindWindowA(nullptr, "sbs1station.php history");
            return history &&
                   view.Rows(GetDlgItem(history, IDC_HISTORY_LIST), 1) == "run 1 started|station up";
        },
        kStateMs));
    view.Post(WM_COMMAND, IDC_STOP);
    EXPECT_TRUE(WaitFor([&] { return view.Idle() && Interpreters() == 0; }, kStateMs)) << "the view's Stop";
    view.Post(WM_COMMAND, IDC_START);
    EXPECT_TRUE(
        WaitFor([&] { return view.Running(true) && ProcessesNamed("php.exe", pid).size() == 2; }, kStateMs));
    EXPECT_TRUE(WaitFor(
        [&] {
            return view.Rows(GetDlgItem(history, IDC_HISTORY_LIST), 1).find("|run 1 stopped after ") !=
                   std::string::npos;
        },
        kStateMs))
        << "the history window follows the service";

    // The system's Stop: the view says so, and follows the service again once the system starts it.
    SERVICE_STATUS status;
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_TRUE(
        WaitFor([&] { return ServiceState(service) == SERVICE_STOPPED && Interpreters() == 0; }, 5000))
        << Interpreters() << " scripts left";
    EXPECT_TRUE(WaitFor(
        [&] {
            return view.Text(IDC_VIEW_STATUS) ==
                       "The station's service is not running: this window waits for it." &&
                   view.Lists() == "#" && !view.On(IDC_START) && !view.On(IDC_STOP) && view.On(IDC_CLOSE);
        },
        kStateMs));
    EXPECT_EQ(Quorvid(station.m_path, L"--list"),
              std::make_pair(0ul, std::to_string(view.pi.dwProcessId) + "\tview\t" + program + "\t" + folder +
                                      "\r\n0\tstopped\t" + listed));
    // A folder that a copy holds: the service stops with its own code, which the system's recovery hears.
    held = CreateFileW(lock.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE,
                       nullptr);
    StartServiceW(service, 0, nullptr);
    SERVICE_STATUS_PROCESS ended = {};
    EXPECT_TRUE(WaitFor(
        [&] {
            QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (BYTE*)&ended, sizeof ended, &size);
            return ended.dwCurrentState == SERVICE_STOPPED && ended.dwServiceSpecificExitCode == 3;
        },
        kStateMs));
    EXPECT_EQ(ended.dwWin32ExitCode, (DWORD)ERROR_SERVICE_SPECIFIC_ERROR);
    CloseHandle(held);
    ASSERT_TRUE(StartServiceW(service, 0, nullptr));
    EXPECT_TRUE(WaitFor(
        [&] {
            return ServiceState(service, &pid) == SERVICE_RUNNING &&
                   ProcessesNamed("php.exe", pid).size() == 2;
        },
        kStateMs));
    EXPECT_EQ(Quorvid(station.m_path, L"--status").first, 0u);
    CloseServiceHandle(service), CloseServiceHandle(manager);
    EXPECT_TRUE(
        WaitFor([&] { return view.Running(true) && view.Lists() == "station up#uploader up"; }, kStateMs))
        << "the view did not follow the service again";
    // Closing the view, while the scripts run, closes only the view.
    view.Post(WM_COMMAND, IDC_CLOSE);
    EXPECT_EQ(WaitForSingleObject(view.pi.hProcess, kStateMs), WAIT_OBJECT_0);
    EXPECT_EQ(Quorvid(station.m_path, L"--status").first, 0u);

    said = Quorvid(station.m_path, L"--remove-service");
    EXPECT_EQ(said, std::make_pair(0ul, "the service " + Narrow(id) + " of " + folder +
                                            " is stopped and removed\r\n"));
    EXPECT_FALSE(FindStationService(id.c_str(), &pid));
    EXPECT_EQ(Interpreters(), 0u);
    EXPECT_EQ(EventMessageFile(), "") << "the event log's source is left";
    EXPECT_EQ(byHand.get(),
              std::make_pair(1063ul, std::string("--service is for the system, which starts the "
                                                 "service that --install-service registers\r\n")));
    EXPECT_TRUE(ProcessesNamed("Quorvid.exe").empty());
}
