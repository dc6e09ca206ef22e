// The main dialog's side of the control switches: another copy of the program, started with --status,
// --stop, --start, --exit or --list in this station folder, asks through WM_COPYDATA, and this copy answers
// with its state and carries out the command as its own buttons would. Nothing here waits for the scripts:
// a command is posted to this window and runs as a click would, and the asking copy watches for the state
// it asked for.
#include "ui/QuorvidDlg.h"

#include "framework/Handle.h"
#include "ui/ControlMessage.h"

#include <ntsecapi.h>
#include <string.h>

#ifndef PROCESS_QUERY_LIMITED_INFORMATION
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000
#endif

namespace {

// How long an answer may wait for the asking copy, which is waiting for it in its own send.
const UINT kAnswerMs = 2000;

// The user of the process, in `buffer`.
bool ReadUser(HANDLE process, void* buffer, DWORD size) {
    HANDLE opened = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &opened))
        return false;
    CHandle token(opened);
    return ::GetTokenInformation(token.Get(), TokenUser, buffer, size, &size) != FALSE;
}

// Whether the window belongs to a process of this process's user. A window handle is what the asker says
// it is; the answer, and with it the ticket that a command needs, goes to that window only.
bool IsOwnUsersWindow(HWND hWnd) {
    DWORD pid = 0;
    if (!::IsWindow(hWnd) || !::GetWindowThreadProcessId(hWnd, &pid))
        return false;
    CHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) // Windows XP knows only the full right
        process.Reset(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
    if (!process)
        return false;
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } mine, theirs;
    return ReadUser(::GetCurrentProcess(), &mine, sizeof mine) &&
           ReadUser(process.Get(), &theirs, sizeof theirs) &&
           ::EqualSid(mine.user.User.Sid, theirs.user.User.Sid);
}

void Describe(const CConsole& console, LPCSTR script, CControlScript& out) {
    CConsoleHistory::CStatus status;
    console.GetHistoryStatus(status);
    ::lstrcpynA(out.name, script, sizeof out.name);
    out.run = status.run;
    out.running = status.running;
    out.ended = status.ended;
    out.since = status.since;
    out.lastEnd = status.lastEnd;
    ::lstrcpynA(out.lastHow, status.lastHow, sizeof out.lastHow);
}

// A box this window owns that runs a loop of its own (the About box) would hold the program's end until
// someone closed it. The history windows are the dialog's own and go with it.
BOOL CALLBACK EndOwnedBox(HWND hWnd, LPARAM owner) {
    char name[16] = "";
    if (::GetWindow(hWnd, GW_OWNER) == (HWND)owner && ::GetClassNameA(hWnd, name, sizeof name) &&
        strcmp(name, "#32770") == 0)
        ::EndDialog(hWnd, IDCANCEL);
    return TRUE;
}

} // namespace

// Every copy's window is marked for --list, and this folder's copy for whoever looks for its station.
void CQuorvidDlg::SetUpControl() {
    ::SetPropA(m_hWnd, QUORVID_CONTROL_MARK, m_hWnd);
    if (m_pszWindowMark != nullptr)
        ::SetPropA(m_hWnd, m_pszWindowMark, m_hWnd);
}

void CQuorvidDlg::EndControl() {
    ::RemovePropA(m_hWnd, QUORVID_CONTROL_MARK);
    if (m_pszWindowMark != nullptr)
        ::RemovePropA(m_hWnd, m_pszWindowMark);
}

// TRUE when the request was taken: an answer has gone back, or the command will be carried out.
LRESULT CQuorvidDlg::OnCopyData(WPARAM wParam, LPARAM lParam) {
    const COPYDATASTRUCT* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    CControlRequest request;
    if (data == nullptr || data->dwData != kControlRequest || data->cbData != sizeof request)
        return FALSE;
    const HWND asker = reinterpret_cast<HWND>(wParam);
    if (!IsOwnUsersWindow(asker))
        return FALSE;
    ::CopyMemory(&request, data->lpData, sizeof request);
    if (request.command == kControlAsk)
        return AnswerControl(asker);
    const bool valid = m_bTicketValid && memcmp(request.ticket, m_controlTicket, sizeof m_controlTicket) == 0;
    m_bTicketValid = false;
    return valid && PostMessage(WM_CONTROL_COMMAND, request.command);
}

BOOL CQuorvidDlg::AnswerControl(HWND asker) {
    CControlAnswer answer = {};
    answer.pid = ::GetCurrentProcessId();
    answer.runWanted = m_bRunning == 1 && m_runMask != 0;
    answer.idle = m_runMask == 0;
    Describe(m_stationConsole, ScriptOf(kStationId), answer.scripts[0]);
    Describe(m_uploaderConsole, ScriptOf(kUploaderId), answer.scripts[1]);
    ::GetCurrentDirectoryA(sizeof answer.folder, answer.folder);
    ::GetModuleFileNameA(nullptr, answer.image, sizeof answer.image);
    m_bTicketValid = ::RtlGenRandom(m_controlTicket, sizeof m_controlTicket) != FALSE;
    ::CopyMemory(answer.ticket, m_controlTicket, sizeof answer.ticket);
    COPYDATASTRUCT data = {kControlAnswer, sizeof answer, &answer};
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutA(asker, WM_COPYDATA, (WPARAM)m_hWnd, (LPARAM)&data,
                                 SMTO_BLOCK | SMTO_ABORTIFHUNG, kAnswerMs, &result) != 0;
}

// As the buttons would, each where its button could be used: Start while idle, Stop while a script runs;
// exit is Stop and Close in one, so that Close finds nothing running.
LRESULT CQuorvidDlg::OnControlCommand(WPARAM wParam, LPARAM) {
    if (wParam == kControlStart && m_runMask == 0)
        OnBnClickedStart();
    else if ((wParam == kControlStop || wParam == kControlExit) && m_runMask != 0)
        OnBnClickedStop();
    if (wParam != kControlExit)
        return 0;
    // While the tray menu or the About box is open, this runs inside their loops.
    ::EndMenu();
    if (!IsWindowEnabled())
        ::EnumThreadWindows(::GetCurrentThreadId(), EndOwnedBox, (LPARAM)m_hWnd);
    OnOK();
    return 0;
}
