// Quorvid.exe as a person uses it, started in a station folder with stand-in scripts and driven from outside.
#include "res/resource.h"
#include "tests/Processes.h"
#include "tests/Station.h"

#include <windows.h>
#include <commctrl.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <string>

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
    HWND hWnd = nullptr;
    char* remote = nullptr; // list-view messages are not marshalled: item and text must be in the target

    bool Start(const std::wstring& folder, const wchar_t* arguments) {
        std::wstring line = L"Quorvid.exe " + std::wstring(arguments);
        STARTUPINFOW si = {}; // the program is found beside the test program
        si.cb = sizeof(si);
        return CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si,
                              &pi);
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
    std::string Rows(int id) const {
        std::string rows;
        for (int row = 0, count = (int)Send(id, LVM_GETITEMCOUNT); row < count; ++row) {
            WCHAR text[1024] = {};
            char utf8[3 * 1024] = {};
            LVITEMW item = {};
            item.pszText = (LPWSTR)(remote + 256), item.cchTextMax = 1023;
            WriteProcessMemory(pi.hProcess, remote, &item, sizeof(item), nullptr);
            Send(id, LVM_GETITEMTEXTW, row, (LPARAM)remote);
            ReadProcessMemory(pi.hProcess, item.pszText, text, sizeof(text) - 2, nullptr);
            WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
            rows += (row ? "|" : "") + std::string(utf8);
        }
        return rows;
    }
    std::string Lists() const { return Rows(IDC_LIST_STATION) + "#" + Rows(IDC_LIST_UPLOADER); }
    bool On(int id) const { return IsWindowEnabled(GetDlgItem(hWnd, id)); }
    bool Running() const { return !On(IDC_START) && !On(IDC_CLOSE) && On(IDC_STOP); }
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
    ASSERT_TRUE(station.WriteScripts("out a\nsleep 300\nout b\nexit 0\n", "out 2010-01-02 up\nhang\n"));
    // Started as at log-on, while another program's window is the active one.
    HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 99, 99, nullptr, nullptr,
                                 nullptr, nullptr);
    CApp app;
    ASSERT_TRUE(SetForegroundWindow(other) && app.Start(station.m_path, L"--start"));
    WaitFor([&] { return !SetForegroundWindow(other) || MainWindowOf(app.pi.dwProcessId); }, kStateMs);
    ASSERT_TRUE(app.Attach()) << "no main window";
    DestroyWindow(other);
    // Without config.ini the settings stay as the window was built.
    EXPECT_EQ(app.Text(IDC_LOGIN) + "|" + app.Text(IDC_INTERVAL_LABEL), "|Update interval [ 10s ]");

    // The ended station script is restarted: its list is emptied and refilled, the rest stays as it is.
    EXPECT_TRUE(WaitFor([&] { return app.Lists() == "a|b#up"; }, kStateMs)) << app.Lists();
    EXPECT_TRUE(WaitFor([&] { return app.Running() && app.Lists() == "a#up"; }, kStateMs));

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
    // does not get the folder waits for the other's window while that copy is still starting, shows it,
    // and ends, saying so in its exit code.
    CSecondDrive drive(station.m_path);
    CApp copies[2];
    ASSERT_TRUE(copies[0].Start(station.m_path, L"--start") &&
                copies[1].Start(drive.Path(station.m_path), L"--start"));
    HANDLE processes[] = {copies[0].pi.hProcess, copies[1].pi.hProcess};
    const DWORD ended = WaitForMultipleObjects(2, processes, FALSE, kStateMs) - WAIT_OBJECT_0;
    ASSERT_LT(ended, 2u) << "two copies run one station";
    DWORD exitCode = 0;
    EXPECT_TRUE(GetExitCodeProcess(processes[ended], &exitCode) && exitCode == ERROR_ALREADY_EXISTS)
        << exitCode;
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
