// Supervision: the worker thread that runs the script again and again, its notices, and stopping.
#include "console/Console.h"

int CConsole::Start() {
    EnterCriticalSection(&m_lock);
    int started = 0;
    // The worker's own release takes this lock too, so it cannot end before its handle is recorded.
    if (m_hThread == nullptr && m_dwThreadId == 0) {
        m_hThread = CreateThread(nullptr, 0, ThreadProc, this, 0, &m_dwThreadId);
        if (m_hThread != nullptr)
            started = 1;
        else
            m_dwThreadId = 0;
    }
    LeaveCriticalSection(&m_lock);
    return started;
}

DWORD WINAPI CConsole::ThreadProc(LPVOID pParam) {
    CConsole* pConsole = static_cast<CConsole*>(pParam);
    pConsole->PostToOwner(WM_CONSOLE_STATE, 1);
    do {
        pConsole->Run();
        Sleep(kRestartPauseMs);
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
    EnterCriticalSection(&m_lock);
    PostToOwner(WM_CONSOLE_STATE, 0);
    CloseHandle(m_hThread);
    m_hThread = nullptr;
    m_dwThreadId = 0;
    LeaveCriticalSection(&m_lock);
}

bool CConsole::HasWorker() const {
    EnterCriticalSection(&m_lock);
    bool recorded = m_hThread != nullptr || m_dwThreadId != 0;
    LeaveCriticalSection(&m_lock);
    return recorded;
}

// A copy of its own, because the worker closes the recorded handle when it ends.
HANDLE CConsole::DuplicateWorkerHandle() const {
    HANDLE copy = nullptr;
    EnterCriticalSection(&m_lock);
    if (m_hThread != nullptr &&
        !DuplicateHandle(GetCurrentProcess(), m_hThread, GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0))
        copy = nullptr;
    LeaveCriticalSection(&m_lock);
    return copy;
}

// Ends the child with everything it started, also once the child itself has ended. Termination only
// asks for the end; the worker sees it through the exit code and closes the handles, which is why this
// holds the lock. 1 when the child itself was still active.
int CConsole::TerminateActiveChild() {
    int terminated = 0;
    EnterCriticalSection(&m_lock);
    DWORD code = 0;
    if (m_pi.hProcess != nullptr && GetExitCodeProcess(m_pi.hProcess, &code) && code == STILL_ACTIVE)
        terminated = 1;
    m_bChildTerminated = m_bChildTerminated || terminated;
    if (m_hJob != nullptr)
        TerminateJobObject(m_hJob, 0);
    else if (terminated)
        TerminateProcess(m_pi.hProcess, 0);
    LeaveCriticalSection(&m_lock);
    return terminated;
}

int CConsole::Stop() {
    int terminated = TerminateActiveChild();
    // A worker still alive after the bound is left alone: it keeps its record, so Start refuses, and
    // releases itself once it has posted its stopped notice.
    if (WaitForWorker(kStopWaitMs))
        Reset();
    return terminated;
}

// The worker only ever posts to the owner's window, never waits for its thread, so a plain wait
// cannot hold it up. What it posts meanwhile stays queued, in order, for the message loop.
BOOL CConsole::WaitForWorker(DWORD ms) {
    HANDLE hWorker = DuplicateWorkerHandle();
    if (hWorker != nullptr) {
        WaitForSingleObject(hWorker, ms);
        CloseHandle(hWorker);
    }
    return !HasWorker();
}
