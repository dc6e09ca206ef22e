// Supervision: the worker thread that runs the script again and again, its notices, and stopping.
#include "console/Console.h"

int CConsole::Start() {
    CLockGuard lock(m_lock);
    // The worker's own release takes this lock too, so it cannot end before its handle is recorded.
    if (m_hThread || m_dwThreadId != 0)
        return 0;
    // A stop asked of the last worker is none of this one's.
    ResetEvent(m_hStopEvent.Get());
    m_hThread.Reset(CreateThread(nullptr, 0, ThreadProc, this, 0, &m_dwThreadId));
    if (m_hThread)
        return 1;
    m_dwThreadId = 0;
    return 0;
}

DWORD WINAPI CConsole::ThreadProc(LPVOID pParam) {
    CConsole* pConsole = static_cast<CConsole*>(pParam);
    pConsole->PostToOwner(WM_CONSOLE_STATE, 1);
    do {
        pConsole->Run();
        pConsole->WaitUnlessStopped(pConsole->m_restartPauseMs);
    } while (pConsole->IsRunWanted());
    pConsole->ReleaseWorker();
    return 0;
}

BOOL CConsole::PostToOwner(UINT message, WPARAM wParam) const {
    return m_pOwner != nullptr && m_pOwner->PostMessage(message, wParam, (LPARAM)m_id);
}

// The worker's last act. Posting and releasing under one lock means that Start never sees a worker
// that has said goodbye but is still recorded, and that a new worker's started notice always comes
// after this one's stopped notice.
void CConsole::ReleaseWorker() {
    CLockGuard lock(m_lock);
    PostToOwner(WM_CONSOLE_STATE, 0);
    m_hThread.Reset();
    m_dwThreadId = 0;
}

bool CConsole::HasWorker() const {
    CLockGuard lock(m_lock);
    return m_hThread || m_dwThreadId != 0;
}

// A copy of its own, because the worker closes the recorded handle when it ends.
CHandle CConsole::DuplicateWorkerHandle() const {
    HANDLE copy = nullptr;
    CLockGuard lock(m_lock);
    if (m_hThread && !DuplicateHandle(GetCurrentProcess(), m_hThread.Get(), GetCurrentProcess(), &copy,
                                      SYNCHRONIZE, FALSE, 0))
        copy = nullptr;
    return CHandle(copy);
}

// Ends the child with everything it started, also once the child itself has ended. Termination only
// asks for the end; the worker sees it through the process handle and closes the handles, which is why
// this holds the lock. 1 when the child itself was still active.
int CConsole::TerminateActiveChild() {
    CLockGuard lock(m_lock);
    const int terminated = m_hProcess && WaitForSingleObject(m_hProcess.Get(), 0) == WAIT_TIMEOUT;
    if (m_hJob)
        TerminateJobObject(m_hJob.Get(), 0);
    else if (terminated)
        TerminateProcess(m_hProcess.Get(), 0);
    return terminated;
}

// The worker is woken from any pause: it sees at once that running is no longer wanted.
int CConsole::AskToStop() {
    const int terminated = TerminateActiveChild();
    SetEvent(m_hStopEvent.Get());
    return terminated;
}

// A pause of the worker that a stop cuts short. While running is wanted it lasts its full length, even
// after a stop that came before the flag was set again: the pauses and the restart interval stay as they
// are, and a worker never spins.
void CConsole::WaitUnlessStopped(DWORD ms) {
    if (WaitForSingleObject(m_hStopEvent.Get(), ms) != WAIT_TIMEOUT && IsRunWanted())
        Sleep(ms);
}

int CConsole::Stop() {
    const int terminated = AskToStop();
    // A worker still alive after the bound is left alone: it keeps its record, so Start refuses, and
    // releases itself once it has posted its stopped notice.
    if (WaitForWorker(kStopWaitMs))
        Reset();
    return terminated;
}

// The consoles' workers wind down side by side, so the wait is that of the slowest, not their sum.
BOOL CConsole::StopTogether(CConsole* const consoles[], unsigned count) {
    CHandle workers[MAXIMUM_WAIT_OBJECTS];
    HANDLE waits[MAXIMUM_WAIT_OBJECTS];
    DWORD alive = 0;
    for (unsigned i = 0; i < count; ++i)
        consoles[i]->AskToStop();
    for (unsigned i = 0; i < count && alive < MAXIMUM_WAIT_OBJECTS; ++i)
        if ((workers[alive] = consoles[i]->DuplicateWorkerHandle()))
            waits[alive] = workers[alive].Get(), ++alive;
    if (alive > 0)
        WaitForMultipleObjects(alive, waits, TRUE, kStopWaitMs);
    BOOL stopped = TRUE;
    for (unsigned i = 0; i < count; ++i) {
        if (consoles[i]->HasWorker())
            stopped = FALSE;
        else
            consoles[i]->Reset();
    }
    return stopped;
}

// The worker only ever posts to the owner's window, never waits for its thread, so a plain wait
// cannot hold it up. What it posts meanwhile stays queued, in order, for the message loop.
BOOL CConsole::WaitForWorker(DWORD ms) {
    if (CHandle worker = DuplicateWorkerHandle())
        WaitForSingleObject(worker.Get(), ms);
    return !HasWorker();
}
