#include "app/ControlClient.h"

#include "console/ConsoleHistory.h"
#include "framework/Handle.h"
#include "res/resource.h"

#include <stdio.h>
#include <string.h>

namespace {

const char kAnswerClass[] = "Quorvid.ControlAnswer";

// One script's line of --status: "uploader.php: running, run 412 since 2026-12-07 15:30:02; last end:
// exit code 255 at 15:30:01". A run that ended by itself tells how without its length.
void DescribeScript(const CControlScript& script, bool wanted, char* line, size_t size) {
    char since[32], when[32];
    CConsoleHistory::FormatWhen(script.since, true, since, sizeof since);
    int length;
    if (script.running)
        length = snprintf(line, size, "%s: running, run %lu since %s", script.name, script.run, since);
    else if (script.run == 0)
        length = snprintf(line, size, "%s: %s", script.name, wanted ? "starting" : "not started");
    else
        length = snprintf(line, size, "%s: %s, last run %lu", script.name, wanted ? "restarting" : "stopped",
                          script.run);
    if (!script.ended || length < 0 || (size_t)length >= size)
        return;
    const char* how = script.lastHow;
    const char* detail = strstr(how, ": ");
    if (strncmp(how, "ended after ", 12) == 0 && detail != nullptr)
        how = detail + 2;
    CConsoleHistory::FormatWhen(script.lastEnd, false, when, sizeof when);
    snprintf(line + length, size - length, "; last end: %.159s at %s", how, when);
}

} // namespace

CControlClient::CControlClient(COutput& out) : m_out(out) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = kAnswerClass;
    ::RegisterClassA(&wc);
    m_hWnd =
        ::CreateWindowExA(0, kAnswerClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (m_hWnd != nullptr)
        ::SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, (LONG_PTR)this);
}

CControlClient::~CControlClient() {
    if (m_hWnd != nullptr)
        ::DestroyWindow(m_hWnd);
}

// The answer comes while this thread waits in its own send to the asked copy.
LRESULT CALLBACK CControlClient::WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CControlClient* client = (CControlClient*)::GetWindowLongPtrA(hWnd, GWLP_USERDATA);
    const COPYDATASTRUCT* data = (const COPYDATASTRUCT*)lParam;
    if (message != WM_COPYDATA || client == nullptr)
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    if ((HWND)wParam != client->m_hAsked || data->dwData != kControlAnswer ||
        data->cbData != sizeof client->m_answer)
        return FALSE;
    ::CopyMemory(&client->m_answer, data->lpData, sizeof client->m_answer);
    client->m_bAnswered = true;
    return TRUE;
}

BOOL CControlClient::Ask(HWND holder) {
    m_hAsked = holder;
    m_bAnswered = false;
    CControlRequest request = {kControlAsk, {}};
    COPYDATASTRUCT data = {kControlRequest, sizeof request, &request};
    DWORD_PTR taken = 0;
    const BOOL sent = ::SendMessageTimeoutA(holder, WM_COPYDATA, (WPARAM)m_hWnd, (LPARAM)&data,
                                            SMTO_ABORTIFHUNG, kAskMs, &taken);
    m_hAsked = nullptr;
    return sent && taken && m_bAnswered;
}

// The ticket is the last answer's.
BOOL CControlClient::Command(HWND holder, EControl command) {
    CControlRequest request = {command, {}};
    ::CopyMemory(request.ticket, m_answer.ticket, sizeof request.ticket);
    COPYDATASTRUCT data = {kControlRequest, sizeof request, &request};
    DWORD_PTR taken = 0;
    return ::SendMessageTimeoutA(holder, WM_COPYDATA, (WPARAM)m_hWnd, (LPARAM)&data, SMTO_ABORTIFHUNG, kAskMs,
                                 &taken) &&
           taken;
}

template <typename Reached, typename Due>
int CControlClient::Drive(HWND holder, EControl command, Reached reached, Due due, DWORD ms) {
    bool given = false;
    for (const DWORD start = ::GetTickCount(); ::GetTickCount() - start < ms; ::Sleep(kLookAgainMs)) {
        if (!Ask(holder))
            continue;
        if (reached(m_answer))
            return kDone;
        if (!given && due(m_answer))
            given = Command(holder, command) != FALSE;
    }
    return NoAnswer();
}

int CControlClient::NoAnswer() {
    m_out.Line("the copy of Quorvid that supervises this folder did not answer in time");
    return kNoAnswer;
}

int CControlClient::Status(HWND holder) {
    if (!Ask(holder))
        return NoAnswer();
    char line[512];
    for (const CControlScript& script : m_answer.scripts) {
        DescribeScript(script, m_answer.runWanted != 0, line, sizeof line);
        m_out.Line(line);
    }
    return m_answer.scripts[0].running && m_answer.scripts[1].running ? kDone : kNotRunning;
}

int CControlClient::Stop(HWND holder) {
    const auto idle = [](const CControlAnswer& answer) { return answer.idle != 0; };
    const auto running = [](const CControlAnswer& answer) { return answer.runWanted != 0; };
    const int code = Drive(holder, kControlStop, idle, running, kStopBoundMs);
    if (code == kDone)
        m_out.Line("the scripts are stopped");
    return code;
}

// A copy that is still stopping is let finish first: its Start button is not available before that either.
int CControlClient::Start(HWND holder) {
    const auto wanted = [](const CControlAnswer& answer) { return answer.runWanted != 0; };
    const auto idle = [](const CControlAnswer& answer) { return answer.idle != 0; };
    const int code = Drive(holder, kControlStart, wanted, idle, kStopBoundMs);
    if (code == kDone)
        m_out.Line("the scripts are running");
    return code;
}

// Once the command is taken the copy answers no more: its end is what is waited for.
int CControlClient::Exit(HWND holder) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(holder, &pid);
    CHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    if (!process)
        return NoAnswer();
    bool given = false;
    DWORD ended = WAIT_TIMEOUT;
    for (const DWORD start = ::GetTickCount();
         ended != WAIT_OBJECT_0 && ::GetTickCount() - start < kStopBoundMs;
         ended = ::WaitForSingleObject(process.Get(), kLookAgainMs)) {
        if (!given && Ask(holder))
            given = Command(holder, kControlExit) != FALSE;
    }
    if (ended != WAIT_OBJECT_0)
        return NoAnswer();
    m_out.Line("Quorvid has ended");
    return kDone;
}

// Through the Show Window command, which every version of the program knows, and which restores the
// window from the tray too. The copy may take the foreground only if this one, just started by the user,
// lets it.
int CControlClient::Show(HWND holder) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(holder, &pid);
    ::AllowSetForegroundWindow(pid);
    return ::PostMessageA(holder, WM_COMMAND, ID_SHOW_WINDOW, 0) ? kDone : NoAnswer();
}

namespace {

struct CCopies {
    HWND found[64];
    unsigned count;
};

BOOL CALLBACK FindCopy(HWND hWnd, LPARAM lParam) {
    CCopies* copies = (CCopies*)lParam;
    if (::GetPropA(hWnd, QUORVID_CONTROL_MARK) != nullptr && copies->count < 64)
        copies->found[copies->count++] = hWnd;
    return TRUE;
}

} // namespace

int CControlClient::List() {
    CCopies copies = {};
    ::EnumWindows(FindCopy, (LPARAM)&copies);
    unsigned listed = 0;
    for (unsigned i = 0; i < copies.count; ++i) {
        if (!Ask(copies.found[i]))
            continue;
        char line[2 * MAX_PATH + 40];
        snprintf(line, sizeof line, "%lu\t%s\t%s\t%s", m_answer.pid, m_answer.runWanted ? "running" : "idle",
                 m_answer.image, m_answer.folder);
        m_out.Line(line);
        ++listed;
    }
    return listed > 0 ? kDone : kNotRunning;
}
