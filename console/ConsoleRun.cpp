// One run of the script: the child and its pipe, the display rules, and the release of the run.
#include "console/Console.h"

#include <string.h>

namespace {

// A leading "2010-MM-DD " is the script's own date stamp, which the list has no room for.
const char kDatePrefix[] = "2010-";
const int kDatePrefixLength = 11;

void CloseAndClear(HANDLE& handle) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    handle = nullptr;
}

} // namespace

CConsole::CConsole()
    : m_pOwner(nullptr), m_id(0), m_pRunning(nullptr), m_pList(nullptr), m_pszCommand("echo ~"), m_si(),
      m_sa(), m_pi(), m_hPipeWrite(nullptr), m_hPipeRead(nullptr), m_hJob(nullptr), m_bChildTerminated(false),
      m_hThread(nullptr), m_dwThreadId(0), m_lock(), m_bSkipToLineEnd(false), m_bLineTaken(false),
      m_flowPolls(0), m_screen(), m_bScreenChanged(false), m_bScreenPosted(false), m_history(), m_ringBuf(),
      m_ringCount(0), m_ringRead(nullptr), m_ringWrite(nullptr), m_ringEnd(nullptr) {
    InitializeCriticalSection(&m_lock);
    EmptyRing();
}

// The owner waits for the worker (WaitForWorker) before it lets its consoles go. A redraw timer names
// this object, so it must not outlive it.
CConsole::~CConsole() {
    if (m_pOwner != nullptr)
        ::KillTimer(m_pOwner->m_hWnd, (UINT_PTR)this);
    Reset();
    DeleteCriticalSection(&m_lock);
}

void CConsole::SetList(CListCtrl* pList) { m_pList = pList; }

void CConsole::SetOwner(CWnd* pOwner, BYTE id, const std::atomic<BYTE>* pRunning) {
    m_pOwner = pOwner;
    m_id = id;
    m_pRunning = pRunning;
}

void CConsole::SetCommand(LPCSTR pszCommand) { m_pszCommand = pszCommand; }

BOOL CConsole::IsRunWanted() const { return m_pRunning != nullptr && m_pRunning->load() == 1; }

int CConsole::Run() {
    char buffer[kMaxLine + 2] = {};
    ClearScreen();
    if (OpenPipe() && CreateChild(buffer)) {
        PostToOwner(WM_CONSOLE_STOPBUTTON, 0);
        memset(buffer, 0, sizeof buffer);
        RecordRunEnd(ShowOutput(buffer));
        // Whatever ended the loop, the child must not outlive its run: a '~' or a pipe failure can
        // come before its exit code was ever asked for.
        TerminateActiveChild();
    } else {
        RecordNoStart(GetLastError());
    }
    CleanUpRun();
    return 0;
}

BOOL CConsole::OpenPipe() {
    m_sa.nLength = sizeof m_sa;
    m_sa.lpSecurityDescriptor = nullptr;
    // The read end stays with this console. The write end must be inheritable to be handed over at all,
    // but CreateChild hands it to this console's child alone.
    m_sa.bInheritHandle = FALSE;
    if (CreatePipe(&m_hPipeRead, &m_hPipeWrite, &m_sa, kPipeSize)) {
        SetHandleInformation(m_hPipeWrite, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        // Reads of the read end must never block: under Wine, bytes that PeekNamedPipe counted can
        // vanish when the child is killed in the middle of a write, and a blocking ReadFile then waits
        // for ever on a pipe whose write end this console holds. Only this end changes; the child's
        // writes still wait for room.
        DWORD mode = PIPE_READMODE_BYTE | PIPE_NOWAIT;
        SetNamedPipeHandleState(m_hPipeRead, &mode, nullptr, nullptr);
        return TRUE;
    }
    m_hPipeRead = nullptr;
    m_hPipeWrite = nullptr;
    return FALSE;
}

BOOL CConsole::CreateChild(char* buffer) {
    GetStartupInfoA(&m_si);
    m_si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    m_si.wShowWindow = SW_HIDE;
    m_si.hStdOutput = m_hPipeWrite;
    m_si.hStdError = m_hPipeWrite;
    m_si.hStdInput = nullptr;
    lstrcpynA(buffer, m_pszCommand, kMaxLine + 1);

    PROCESS_INFORMATION pi = {};
    if (!CreateProcessWithOwnPipe(buffer, pi))
        return FALSE;
    // The child is still suspended: it joins its job before it can start anything of its own.
    HANDLE job = JoinNewJob(pi.hProcess);
    EnterCriticalSection(&m_lock);
    m_pi = pi;
    m_hJob = job;
    m_bChildTerminated = false;
    m_history.RunStarted();
    LeaveCriticalSection(&m_lock);
    ResumeThread(pi.hThread);
    return TRUE;
}

// Shows lines while the child runs and running is wanted; after that, drains: every complete line
// already in the ring or the pipe is still shown, and the first read without a line ends the run.
CConsole::ERunEnd CConsole::ShowOutput(char* buffer) {
    for (;;) {
        int length = ReadLine(buffer, kMaxLine);
        if (length < 0)
            return kRunPipeFailed;
        if (buffer[0] == '~')
            return kRunTilde;
        if (length == 0)
            Pause(kNoLinePauseMs);
        else
            ShowLine(buffer, length);

        // After a line the loop goes on whatever the child does, so its exit code is asked for only
        // when running is no longer wanted or no line came: each ask is a round trip to the system,
        // and a script that floods the list pays it per line otherwise.
        if (length > 0 && IsRunWanted())
            continue;
        DWORD code = 0;
        if (GetExitCodeProcess(m_pi.hProcess, &code) && code == STILL_ACTIVE) {
            if (IsRunWanted())
                continue;
            // Running is no longer wanted: a child that kept writing would keep the drain going for
            // ever, so it ends now and the drain shows what it left.
            TerminateActiveChild();
        }
        if (length > 0)
            continue;
        // An empty line ends the drain as designed; "no line yet" ends it only once nothing is left.
        if (m_bLineTaken || !MoreToDrain())
            return WasChildTerminated() ? kRunStopped : kRunExited;
    }
}

BOOL CConsole::MoreToDrain() {
    unsigned position = 0;
    if (FindByte('\n', position))
        return TRUE;
    DWORD waiting = 0;
    return PeekNamedPipe(m_hPipeRead, nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0;
}

void CConsole::ShowLine(const char* line, int length) {
    // A line no longer than a whole date prefix is shown as it is: the cut must not pass its end.
    if (length > kDatePrefixLength && strncmp(line, kDatePrefix, sizeof kDatePrefix - 1) == 0)
        PutRow(line + kDatePrefixLength, (unsigned)(length - kDatePrefixLength));
    else
        PutRow(line, (unsigned)length);
}

void CConsole::CleanUpRun() {
    CloseAndClear(m_hPipeRead);
    CloseAndClear(m_hPipeWrite);
    EnterCriticalSection(&m_lock);
    CloseAndClear(m_pi.hProcess);
    CloseAndClear(m_pi.hThread);
    m_pi = PROCESS_INFORMATION();
    CloseAndClear(m_hJob);
    LeaveCriticalSection(&m_lock);
    m_sa = SECURITY_ATTRIBUTES();
    m_si = STARTUPINFOA();
    m_bSkipToLineEnd = false;
    m_bLineTaken = false;
    m_flowPolls = 0;
    EmptyRing();
}

// A live worker owns the run's handles and its own record and releases both itself, so a reset
// touches nothing while one is recorded.
void CConsole::Reset() {
    if (HasWorker())
        return;
    CleanUpRun();
}
