// One run of the script: the child and its pipe, the display rules, and the release of the run.
#include "console/Console.h"

#include <string.h>

#include <utility>

namespace {

// A leading "2010-MM-DD " is the script's own date stamp, which the list has no room for.
const char kDatePrefix[] = "2010-";
const int kDatePrefixLength = 11;

} // namespace

CConsole::CConsole()
    : m_pOwner(nullptr), m_id(0), m_pRunning(nullptr), m_pList(nullptr), m_pszCommand("echo ~"), m_si(),
      m_sa(), m_hProcess(), m_hChildThread(), m_hPipeWrite(), m_hPipeRead(), m_hJob(),
      m_pfnJoinJob(JoinNewJob), m_hThread(), m_dwThreadId(0), m_lock(),
      m_hStopEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)), m_restartPauseMs(kRestartPauseMs),
      m_bSkipToLineEnd(false), m_bLineTaken(false), m_bPipeRead(false), m_flowPauseMs(0), m_askTick(0),
      m_pipeAllowance(MAXDWORD), m_screen(), m_bScreenChanged(false), m_bScreenPosted(false),
      m_pWatch(nullptr), m_history(), m_bHistoryNoticed(false), m_ringBuf(), m_ringCount(0),
      m_ringRead(nullptr), m_ringWrite(nullptr), m_ringEnd(nullptr) {
    EmptyRing();
}

// The owner waits for the worker (WaitForWorker) before it lets its consoles go. A redraw timer names
// this object, so it must not outlive it.
CConsole::~CConsole() {
    if (m_pOwner != nullptr)
        ::KillTimer(m_pOwner->m_hWnd, (UINT_PTR)this);
    Reset();
}

void CConsole::SetList(CListCtrl* pList) { m_pList = pList; }

void CConsole::SetOwner(CWnd* pOwner, BYTE id, const std::atomic<BYTE>* pRunning) {
    m_pOwner = pOwner;
    m_id = id;
    m_pRunning = pRunning;
}

void CConsole::SetCommand(LPCSTR pszCommand) { m_pszCommand = pszCommand; }

void CConsole::SetWatch(CConsoleWatch* watch) {
    CLockGuard lock(m_lock);
    m_pWatch = watch;
}

BOOL CConsole::IsRunWanted() const { return m_pRunning != nullptr && m_pRunning->load() == 1; }

int CConsole::Run() {
    char buffer[kMaxLine + 2] = {};
    ClearScreen();
    if (OpenPipe() && CreateChild(buffer)) {
        PostToOwner(WM_CONSOLE_STOPBUTTON, 0);
        memset(buffer, 0, sizeof buffer);
        const ERunEnd end = ShowOutput(buffer);
        if (end != kRunTilde)
            ShowRest(buffer);
        RecordRunEnd(end, EndChild());
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
    HANDLE read = nullptr, write = nullptr;
    if (CreatePipe(&read, &write, &m_sa, kPipeSize)) {
        m_hPipeRead.Reset(read);
        m_hPipeWrite.Reset(write);
        SetHandleInformation(write, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        // Reads of the read end must never block: the worker reads without asking what waits first,
        // and a blocking ReadFile would wait for ever on a pipe whose write end this console holds (under
        // Wine, even bytes that PeekNamedPipe counted can vanish when the child is killed in the middle
        // of a write). A run without that does not start. Only this end changes; the child's writes
        // still wait for room.
        DWORD mode = PIPE_READMODE_BYTE | PIPE_NOWAIT;
        return SetNamedPipeHandleState(read, &mode, nullptr, nullptr);
    }
    return FALSE;
}

// The record is the console's own, not a copy of the program's: nothing else of the program's start
// (a title, a desktop, a runtime's handle table) is handed on.
BOOL CConsole::CreateChild(char* buffer) {
    m_si = STARTUPINFOA();
    m_si.cb = sizeof m_si;
    m_si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    m_si.wShowWindow = SW_HIDE;
    m_si.hStdOutput = m_hPipeWrite.Get();
    m_si.hStdError = m_hPipeWrite.Get();
    m_si.hStdInput = nullptr;
    lstrcpynA(buffer, m_pszCommand, kMaxLine + 1);

    // The child is created suspended: it joins its job before it can start anything of its own.
    CHandle process, thread;
    if (!CreateProcessWithOwnPipe(buffer, 0, process, thread))
        return FALSE;
    CHandle job(m_pfnJoinJob(process.Get()));
    if (!job) {
        // This program runs in a job that takes no other: on Vista and 7 a process can be in one job
        // only, and the Compatibility Assistant, the Task Scheduler and some launchers start programs in
        // one. The child leaves that job where it allows it, and joins its own; where it does not, the
        // child runs alone.
        EndSuspendedChild(process, thread);
        if (CreateProcessWithOwnPipe(buffer, CREATE_BREAKAWAY_FROM_JOB, process, thread))
            job.Reset(m_pfnJoinJob(process.Get()));
        else if (!CreateProcessWithOwnPipe(buffer, 0, process, thread))
            return FALSE;
    }
    {
        CLockGuard lock(m_lock);
        m_hProcess = std::move(process);
        m_hChildThread = std::move(thread);
        m_hJob = std::move(job);
        m_history.RunStarted();
        HistoryChanged();
    }
    ResumeThread(m_hChildThread.Get());
    // A script's first lines come as soon as it has started: the pipe is looked at as if it had just
    // brought bytes, so that a flood does not find it full and wait out a full pause.
    m_flowPauseMs = kFlowPollPauseMs;
    return TRUE;
}

// Shows lines until the run ends and says why it ended. Once the script has ended or running is no
// longer wanted, the run's job is ended and the drain shows every complete line that had arrived by
// then, empty lines and all, and no more: a helper of the script that goes on writing (where no job
// could hold it) cannot keep the run going.
ERunEnd CConsole::ShowOutput(char* buffer) {
    ERunEnd end = kRunExited;
    bool draining = false;
    for (;;) {
        const int length = ReadLine(buffer, kMaxLine);
        if (length < 0)
            return kRunPipeFailed;
        if (buffer[0] == '~')
            return kRunTilde;
        if (length > 0)
            ShowLine(buffer, length);
        if (!draining && RunEnds(end)) {
            BeginDrain();
            draining = true;
            continue;
        }
        // A line taken out, empty or not, is followed by the next read at once; so is a drain's read
        // that took bytes but no line (the rest of an over-long one).
        if (m_bLineTaken || (draining && m_bPipeRead))
            continue;
        if (draining)
            return end;
        Pause(kNoLinePauseMs);
    }
}

// Whether the run is to end, and why. The child is asked after a read without a line, and after a read
// of the pipe once a tick of the system's clock: each ask is a round trip to the system, which a script
// that floods the list would otherwise pay per line, or per read. Whether it has ended is its handle's
// state, not its exit code: a script may exit with any code, STILL_ACTIVE's 259 too.
bool CConsole::RunEnds(ERunEnd& end) {
    if (!IsRunWanted())
        end = kRunStopped;
    else if ((!m_bLineTaken || (m_bPipeRead && TickPassed())) &&
             WaitForSingleObject(m_hProcess.Get(), 0) == WAIT_OBJECT_0)
        end = kRunExited;
    else
        return false;
    return true;
}

// TRUE when the tick count has moved since it last did so here.
bool CConsole::TickPassed() {
    const DWORD tick = GetTickCount();
    if (tick == m_askTick)
        return false;
    m_askTick = tick;
    return true;
}

// Ends the run's job, whatever is still in it, and allows the reader what waits in the pipe now.
void CConsole::BeginDrain() {
    TerminateActiveChild();
    DWORD waiting = 0;
    if (!PeekNamedPipe(m_hPipeRead.Get(), nullptr, 0, nullptr, &waiting, nullptr))
        waiting = 0;
    m_pipeAllowance = waiting;
}

// Whatever ended the run, the child and what it started do not outlive it: a '~' or a pipe failure
// comes before any drain. The child's exit code once it is gone (0 for one that was ended here).
DWORD CConsole::EndChild() {
    TerminateActiveChild();
    DWORD code = 0;
    WaitForSingleObject(m_hProcess.Get(), kEndWaitMs);
    GetExitCodeProcess(m_hProcess.Get(), &code);
    return code;
}

// A script's last words often have no line end (PHP's die("...") and exit("...") write none): whatever
// the drain left of a line is shown as one more line, by the rules of any line.
void CConsole::ShowRest(char* buffer) {
    const int length = TakeRest(buffer, kMaxLine);
    if (length > 0 && buffer[0] != '~')
        ShowLine(buffer, length);
}

void CConsole::ShowLine(const char* line, int length) {
    // A line no longer than a whole date prefix is shown as it is: the cut must not pass its end.
    if (length > kDatePrefixLength && strncmp(line, kDatePrefix, sizeof kDatePrefix - 1) == 0)
        PutRow(line + kDatePrefixLength, (unsigned)(length - kDatePrefixLength));
    else
        PutRow(line, (unsigned)length);
}

void CConsole::CleanUpRun() {
    m_hPipeRead.Reset();
    m_hPipeWrite.Reset();
    {
        CLockGuard lock(m_lock);
        m_hProcess.Reset();
        m_hChildThread.Reset();
        m_hJob.Reset();
    }
    m_sa = SECURITY_ATTRIBUTES();
    m_si = STARTUPINFOA();
    m_bSkipToLineEnd = false;
    m_bLineTaken = false;
    m_bPipeRead = false;
    m_flowPauseMs = 0;
    m_pipeAllowance = MAXDWORD;
    EmptyRing();
}

// A live worker owns the run's handles and its own record and releases both itself, so a reset
// touches nothing while one is recorded.
void CConsole::Reset() {
    if (HasWorker())
        return;
    CleanUpRun();
}
