#include "tests/e2e/RemoteQuorvid.h"

#include "tests/e2e/TestHarness.h"

#include <commctrl.h>

namespace qtest {

namespace {

const char kCaption[] = "Quorvid sharing application";
const DWORD kSendBoundMs = 10000;
const SIZE_T kRemoteSize = 4096;

struct FindArgs {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindMainWindow(HWND hWnd, LPARAM lParam) {
    FindArgs* args = (FindArgs*)lParam;
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    char caption[128] = {};
    GetWindowTextA(hWnd, caption, sizeof(caption));
    if (pid == args->pid && lstrcmpA(caption, kCaption) == 0) {
        args->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

} // namespace

CRemoteQuorvid::~CRemoteQuorvid() {
    if (m_pi.hProcess && m_launched) {
        // A test that failed half-way must not leave the program (and its scripts) behind.
        if (WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_pi.hProcess, 1);
            WaitForSingleObject(m_pi.hProcess, 5000);
        }
        for (DWORD child : ProcessesNamed("php.exe", m_pi.dwProcessId)) {
            HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, child);
            if (h) {
                TerminateProcess(h, 1);
                CloseHandle(h);
            }
        }
    }
    if (m_pi.hProcess)
        CloseHandle(m_pi.hProcess);
    if (m_pi.hThread)
        CloseHandle(m_pi.hThread);
}

bool CRemoteQuorvid::Launch(const std::string& folder, const std::string& arguments) {
    std::string exe = ExeDir() + "Quorvid.exe";
    std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    // The program's standard handles lead nowhere. Otherwise, under Wine, it and whatever it starts (the
    // desktop process among them) would hold the test runner's output pipe open after the test has ended.
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = nul;
    BOOL created = CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                  folder.c_str(), &si, &m_pi);
    if (nul != INVALID_HANDLE_VALUE)
        CloseHandle(nul);
    if (!created)
        return false;
    m_launched = true;
    FindArgs args = {m_pi.dwProcessId, nullptr};
    bool found = WaitFor(
        [&] {
            EnumWindows(FindMainWindow, (LPARAM)&args);
            return args.found != nullptr && IsWindowVisible(args.found);
        },
        15000);
    if (!found)
        return false;
    m_hWnd = args.found;
    m_remote = VirtualAllocEx(m_pi.hProcess, nullptr, kRemoteSize, MEM_COMMIT, PAGE_READWRITE);
    return m_remote != nullptr;
}

bool CRemoteQuorvid::Attach(DWORD timeoutMs) {
    if (!WaitFor(
            [&] {
                m_hWnd = FindWindowA(nullptr, kCaption);
                return m_hWnd != nullptr;
            },
            timeoutMs))
        return false;
    GetWindowThreadProcessId(m_hWnd, &m_pi.dwProcessId);
    m_pi.hProcess = OpenProcess(PROCESS_ALL_ACCESS, FALSE, m_pi.dwProcessId);
    if (!m_pi.hProcess)
        return false;
    m_remote = VirtualAllocEx(m_pi.hProcess, nullptr, kRemoteSize, MEM_COMMIT, PAGE_READWRITE);
    return m_remote != nullptr;
}

bool CRemoteQuorvid::WaitExit(DWORD ms) const {
    return m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, ms) == WAIT_OBJECT_0;
}

LRESULT CRemoteQuorvid::Send(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) const {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(hWnd, msg, wParam, lParam, SMTO_NORMAL, kSendBoundMs, &result);
    return (LRESULT)result;
}

std::string CRemoteQuorvid::Text(int id) const {
    // WM_GETTEXT is marshalled across processes by the system.
    char text[1024] = {};
    Send(GetDlgItem(m_hWnd, id), WM_GETTEXT, sizeof(text), (LPARAM)text);
    return text;
}

bool CRemoteQuorvid::Enabled(int id) const { return IsWindowEnabled(GetDlgItem(m_hWnd, id)) != FALSE; }

int CRemoteQuorvid::TrackbarPos(int id) const { return (int)Send(GetDlgItem(m_hWnd, id), TBM_GETPOS); }

int CRemoteQuorvid::ListCount(int id) const { return (int)Send(GetDlgItem(m_hWnd, id), LVM_GETITEMCOUNT); }

std::string CRemoteQuorvid::ListText(int id, int row) const {
    // List-view messages are not marshalled: the item and its text buffer must live in the target.
    char* remote = (char*)m_remote;
    char* remoteText = remote + 256;
    const int textSize = (int)(kRemoteSize - 256);
    LVITEMA item = {};
    item.iSubItem = 0;
    item.pszText = remoteText;
    item.cchTextMax = textSize;
    SIZE_T done = 0;
    char zero = 0;
    if (!WriteProcessMemory(m_pi.hProcess, remote, &item, sizeof(item), &done) ||
        !WriteProcessMemory(m_pi.hProcess, remoteText, &zero, 1, &done))
        return "<unwritable>";
    int length = (int)Send(GetDlgItem(m_hWnd, id), LVM_GETITEMTEXTA, row, (LPARAM)remote);
    if (length <= 0)
        return "";
    std::string text(length, '\0');
    if (!ReadProcessMemory(m_pi.hProcess, remoteText, &text[0], length, &done))
        return "<unreadable>";
    return text;
}

std::string CRemoteQuorvid::ListRows(int id) const {
    std::string rows;
    int count = ListCount(id);
    for (int row = 0; row < count; ++row)
        rows += (row ? "|" : "") + ListText(id, row);
    return rows;
}

void CRemoteQuorvid::Click(int id) const {
    PostMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(m_hWnd, id));
}

void CRemoteQuorvid::PostCommand(WPARAM wParam) const { PostMessageA(m_hWnd, WM_COMMAND, wParam, 0); }

void CRemoteQuorvid::Post(UINT msg, WPARAM wParam, LPARAM lParam) const {
    PostMessageA(m_hWnd, msg, wParam, lParam);
}

} // namespace qtest
