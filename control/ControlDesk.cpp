#include "control/ControlDesk.h"

static_assert((DWORD)CConsoleWatch::kScreenChange == (DWORD)kWatchScreens &&
                  (DWORD)CConsoleWatch::kHistoryChange == (DWORD)kWatchHistories,
              "a console's changes are the marks a watcher names");

namespace {

void Describe(const CConsole& console, CControlScript& out) {
    CConsoleHistory::CStatus status;
    console.GetHistoryStatus(status);
    out.run = status.run;
    out.running = status.running;
    out.ended = status.ended;
    out.failedRuns = status.failedRuns;
    out.startError = status.startError;
    out.since = status.sinceTime;
    out.lastEnd = status.lastEndTime;
    out.howLength = (DWORD)::lstrlenA(status.lastHow);
    ::CopyMemory(out.how, status.lastHow, out.howLength);
}

} // namespace

CControlDesk::CControlDesk()
    : m_hWnd(nullptr), m_consoles(), m_bService(false), m_bView(false), m_lock(), m_bRunWanted(false),
      m_bIdle(true), m_workers(0), m_runMask(0), m_stateMark(0), m_pending(0), m_bTaken(false), m_waiters(),
      m_waiterCount(0), m_armed(0), m_hFree(::CreateEventA(nullptr, FALSE, TRUE, nullptr)),
      m_hDone(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

// The consoles outlive their window's server, whose threads are gone by now; they no longer tell.
CControlDesk::~CControlDesk() { SetStation(nullptr, nullptr, nullptr, m_bService); }

void CControlDesk::SetStation(HWND window, CConsole* station, CConsole* uploader, bool service) {
    for (CConsole* console : m_consoles)
        if (console != nullptr)
            console->SetWatch(nullptr);
    m_hWnd = window;
    m_consoles[0] = station;
    m_consoles[1] = uploader;
    m_bService = service;
    for (CConsole* console : m_consoles)
        if (console != nullptr && window != nullptr)
            console->SetWatch(this);
}

CConsole* CControlDesk::Console(DWORD id) const { return id == 1 || id == 2 ? m_consoles[id - 1] : nullptr; }

void CControlDesk::Publish(bool runWanted, bool idle, DWORD workers, DWORD runMask) {
    {
        CLockGuard lock(m_lock);
        m_bRunWanted = runWanted;
        m_bIdle = idle;
        m_workers = workers;
        m_runMask = runMask;
        ++m_stateMark;
    }
    Wake(kWatchState);
}

BOOL CControlDesk::TakePending(WORD& command) {
    CLockGuard lock(m_lock);
    if (m_pending == 0 || m_bTaken)
        return FALSE;
    command = m_pending;
    m_bTaken = true;
    return TRUE;
}

void CControlDesk::Done() {
    CLockGuard lock(m_lock);
    if (m_bTaken)
        ::SetEvent(m_hDone.Get());
}

// One command at a time: a second caller waits for the desk to be free, within its own bound. A command
// the window has not taken when the bound passes is taken back; one it has taken goes on, and the next
// caller waits for it to be done.
BOOL CControlDesk::Carry(WORD command, DWORD ms, HANDLE stop) {
    const DWORD start = ::GetTickCount();
    HANDLE free[] = {m_hFree.Get(), stop};
    if (::WaitForMultipleObjects(2, free, FALSE, ms) != WAIT_OBJECT_0)
        return FALSE;
    {
        CLockGuard lock(m_lock);
        m_pending = command;
        m_bTaken = false;
        ::ResetEvent(m_hDone.Get());
    }
    BOOL done = FALSE;
    if (m_hWnd != nullptr && ::PostMessageA(m_hWnd, WM_CONTROL_PENDING, 0, 0)) {
        const DWORD spent = ::GetTickCount() - start;
        HANDLE waits[] = {m_hDone.Get(), stop};
        done = ::WaitForMultipleObjects(2, waits, FALSE, spent < ms ? ms - spent : 0) == WAIT_OBJECT_0;
    }
    bool taken;
    {
        CLockGuard lock(m_lock);
        taken = m_bTaken && !done;
        if (!taken)
            m_pending = 0;
    }
    // Still being carried out: the desk is free once the window is done, whoever waits then.
    if (taken) {
        HANDLE waits[] = {m_hDone.Get(), stop};
        ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        CLockGuard lock(m_lock);
        m_pending = 0;
    }
    ::SetEvent(m_hFree.Get());
    return done;
}

void CControlDesk::ReadState(CControlState& state) const {
    {
        CLockGuard lock(m_lock);
        state.flags = (m_bRunWanted ? (DWORD)kStateRunWanted : 0) | (m_bIdle ? (DWORD)kStateIdle : 0) |
                      (m_bService ? (DWORD)kStateService : 0) | (m_bView ? (DWORD)kStateView : 0);
        state.workers = m_workers;
        state.runMask = m_runMask;
    }
    state.pid = ::GetCurrentProcessId();
    state.marks = Marks();
    for (int i = 0; i < 2; ++i)
        if (m_consoles[i] != nullptr)
            Describe(*m_consoles[i], state.scripts[i]);
}

CControlMarks CControlDesk::Marks() const {
    CControlMarks marks = {};
    {
        CLockGuard lock(m_lock);
        marks.state = m_stateMark;
    }
    for (int i = 0; i < 2; ++i) {
        if (m_consoles[i] != nullptr) {
            marks.screens[i] = m_consoles[i]->ScreenChanges();
            marks.histories[i] = m_consoles[i]->HistoryChanges();
        }
    }
    return marks;
}

// Armed before the marks are looked at again, so that a change between the caller's look and the wait
// still wakes it.
void CControlDesk::WaitForChange(const CControlMarks& seen, DWORD watch, DWORD ms, HANDLE wake, HANDLE stop) {
    {
        CLockGuard lock(m_lock);
        if (m_waiterCount == kMaxWaiters)
            return;
        m_waiters[m_waiterCount++] = CWaiter{wake, watch};
        m_armed |= watch;
    }
    if (!MarksDiffer(Marks(), seen, watch)) {
        HANDLE waits[] = {wake, stop};
        ::WaitForMultipleObjects(2, waits, FALSE, ms);
    }
    Forget(wake);
}

void CControlDesk::WaitForIdle(DWORD ms, HANDLE wake, HANDLE stop) {
    for (const DWORD start = ::GetTickCount(); ::WaitForSingleObject(stop, 0) == WAIT_TIMEOUT;) {
        const CControlMarks seen = Marks();
        const DWORD spent = ::GetTickCount() - start;
        {
            CLockGuard lock(m_lock);
            if (m_bIdle || spent >= ms)
                return;
        }
        WaitForChange(seen, kWatchState, ms - spent, wake, stop);
    }
}

void CControlDesk::OnConsoleChange(unsigned what) {
    if (m_armed.load() & what)
        Wake(what);
}

// A waiter woken is woken once: the changes that come before it has gone cost nothing more.
void CControlDesk::Wake(DWORD what) {
    CLockGuard lock(m_lock);
    DWORD armed = 0;
    for (unsigned i = 0; i < m_waiterCount; ++i) {
        if (m_waiters[i].watch & what) {
            ::SetEvent(m_waiters[i].wake);
            m_waiters[i].watch = 0;
        }
        armed |= m_waiters[i].watch;
    }
    m_armed = armed;
}

void CControlDesk::Forget(HANDLE wake) {
    CLockGuard lock(m_lock);
    DWORD armed = 0;
    for (unsigned i = 0; i < m_waiterCount;) {
        if (m_waiters[i].wake == wake) {
            m_waiters[i] = m_waiters[--m_waiterCount];
            continue;
        }
        armed |= m_waiters[i++].watch;
    }
    m_armed = armed;
}
