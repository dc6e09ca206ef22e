#include "tests/console/ConsoleHost.h"

#include <tlhelp32.h>

#include <stdio.h>

namespace {

const char kOwnerClass[] = "QuorvidConsoleHost";
const char kHostProp[] = "QuorvidConsoleHost";
const char kIndexProp[] = "QuorvidListIndex";

void RegisterOwnerClass(WNDPROC proc) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = kOwnerClass;
    RegisterClassA(&wc);
}

} // namespace

CConsoleHost::CConsoleHost(bool visible) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    RegisterOwnerClass(OwnerProc);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    m_owner.m_hWnd = CreateWindowExA(0, kOwnerClass, "Console host", WS_OVERLAPPEDWINDOW, 40, 40, 460, 360,
                                     nullptr, nullptr, instance, this);
    for (int i = 0; i < kLists; ++i) {
        m_lists[i].m_hWnd = CreateWindowExA(
            WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
            WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_NOSORTHEADER | LVS_NOSCROLL, 10,
            10 + i * 140, 420, 120, m_owner, (HMENU)(INT_PTR)(1000 + i), instance, nullptr);
        m_lists[i].InsertColumn(0, "", LVCFMT_LEFT, 400);
        SetPropA(m_lists[i], kHostProp, this);
        SetPropA(m_lists[i], kIndexProp, (HANDLE)(INT_PTR)(i + 1));
        m_listProcs[i] = (WNDPROC)SetWindowLongPtrA(m_lists[i], GWLP_WNDPROC, (LONG_PTR)ListProc);
    }
    m_stop.m_hWnd = CreateWindowExA(0, "BUTTON", "Stop", WS_CHILD | WS_VISIBLE | WS_DISABLED | BS_PUSHBUTTON,
                                    10, 300, 80, 24, m_owner, (HMENU)1003, instance, nullptr);
    if (visible) {
        m_owner.ShowWindow(SW_SHOW);
        m_owner.UpdateWindow();
    }
}

CConsoleHost::~CConsoleHost() {
    for (int i = 0; i < kLists; ++i) {
        SetWindowLongPtrA(m_lists[i], GWLP_WNDPROC, (LONG_PTR)m_listProcs[i]);
        RemovePropA(m_lists[i], kHostProp);
        RemovePropA(m_lists[i], kIndexProp);
    }
    DestroyWindow(m_owner);
}

void CConsoleHost::Bind(CConsole& console, int index) {
    console.SetList(&m_lists[index]);
    console.SetOwner(&m_owner, (BYTE)(index + 1), &m_running, &m_stop);
}

LRESULT CALLBACK CConsoleHost::OwnerProc(HWND hWnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        CREATESTRUCTA* cs = (CREATESTRUCTA*)lp;
        SetWindowLongPtrA(hWnd, GWLP_USERDATA, (LONG_PTR)cs->lpCreateParams);
    }
    CConsoleHost* host = (CConsoleHost*)GetWindowLongPtrA(hWnd, GWLP_USERDATA);
    if (msg == WM_CONSOLE_STATE && host != nullptr) {
        host->m_notices.push_back({wp, lp, GetTickCount()});
        return 0;
    }
    return DefWindowProcA(hWnd, msg, wp, lp);
}

LRESULT CALLBACK CConsoleHost::ListProc(HWND hWnd, UINT msg, WPARAM wp, LPARAM lp) {
    CConsoleHost* host = (CConsoleHost*)GetPropA(hWnd, kHostProp);
    int index = (int)(INT_PTR)GetPropA(hWnd, kIndexProp) - 1;
    if (msg == LVM_DELETEALLITEMS) {
        ++host->m_emptied[index];
        if (host->m_keepTicks)
            host->m_emptiedTicks[index].push_back(GetTickCount());
    } else if (msg == LVM_INSERTITEMA) {
        ++host->m_inserted[index];
        if (host->m_keepTicks)
            host->m_insertedTicks[index].push_back(GetTickCount());
    }
    return CallWindowProcA(host->m_listProcs[index], hWnd, msg, wp, lp);
}

void CConsoleHost::Pump(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

bool CConsoleHost::PumpUntil(const std::function<bool()>& done, DWORD ms) {
    DWORD begin = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done())
            return true;
        DWORD passed = GetTickCount() - begin;
        if (passed >= ms)
            return false;
        DWORD left = ms - passed;
        MsgWaitForMultipleObjectsEx(0, nullptr, left < 10 ? left : 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

std::vector<std::string> CConsoleHost::Rows(int index) const {
    std::vector<std::string> rows;
    int count = m_lists[index].GetItemCount();
    for (int i = 0; i < count; ++i) {
        char text[4096] = {};
        m_lists[index].GetItemText(i, 0, text, sizeof text);
        rows.push_back(text);
    }
    return rows;
}

int CConsoleHost::Count(WPARAM state) const {
    int n = 0;
    for (const CNotice& notice : m_notices)
        n += notice.state == state ? 1 : 0;
    return n;
}

CScriptFolder::CScriptFolder() {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    char path[MAX_PATH] = {};
    snprintf(path, sizeof path, "%squorvid-console-%lu", temp, GetCurrentProcessId());
    m_path = path;
    CreateDirectoryA(path, nullptr);
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof previous, previous);
    m_previous = previous;
    SetCurrentDirectoryA(path);
}

CScriptFolder::~CScriptFolder() {
    SetCurrentDirectoryA(m_previous.c_str());
    for (const std::string& file : m_files)
        DeleteFileA((m_path + "\\" + file).c_str());
    RemoveDirectoryA(m_path.c_str());
    for (std::string* command : m_commands)
        delete command;
}

LPCSTR CScriptFolder::Write(const char* name, const std::string& script) {
    std::string file = m_path + "\\" + name;
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, script.data(), (DWORD)script.size(), &written, nullptr);
    CloseHandle(h);
    m_files.push_back(name);
    m_commands.push_back(new std::string(std::string("php -f ") + name));
    return m_commands.back()->c_str();
}

int CountChildren() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    int children = 0;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID == GetCurrentProcessId() && lstrcmpiA(entry.szExeFile, "php.exe") == 0)
            ++children;
    }
    CloseHandle(snapshot);
    return children;
}
