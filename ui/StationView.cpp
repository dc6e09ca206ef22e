#include "ui/StationView.h"

#include <string.h>

CStationView::CStationView()
    : m_pfnServicePid(nullptr), m_hWnd(nullptr), m_stationId(), m_pipe(), m_consoles(), m_hThread(),
      m_hStop(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_hWake(::CreateEventA(nullptr, FALSE, FALSE, nullptr)), m_lock(), m_remote(), m_bScreens(false),
      m_bHistories(false), m_command(0), m_watch(), m_ask(), m_watching(0), m_fetched(0), m_seen(), m_next(),
      m_changes(), m_held(), m_scripts(), m_screen() {}

CStationView::~CStationView() { Stop(); }

BOOL CStationView::Start(HWND window, const WCHAR* stationId, CConsole* station, CConsole* uploader) {
    if (m_hThread)
        return TRUE;
    m_hWnd = window;
    ::lstrcpynW(m_stationId, stationId, kStationIdSize);
    StationPipeName(stationId, m_pipe);
    m_consoles[0] = station;
    m_consoles[1] = uploader;
    ::ResetEvent(m_hStop.Get());
    m_hThread.Reset(::CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr));
    return m_hThread ? TRUE : FALSE;
}

void CStationView::Stop() {
    if (!m_hThread)
        return;
    ::SetEvent(m_hStop.Get());
    ::WaitForSingleObject(m_hThread.Get(), INFINITE);
    m_hThread.Reset();
}

void CStationView::Follow(bool screens, bool histories) {
    {
        CLockGuard lock(m_lock);
        if (m_bScreens == screens && m_bHistories == histories)
            return;
        m_bScreens = screens;
        m_bHistories = histories;
    }
    ::SetEvent(m_hWake.Get());
}

void CStationView::Command(WORD command) {
    {
        CLockGuard lock(m_lock);
        m_command = command;
    }
    ::SetEvent(m_hWake.Get());
}

CStationView::CRemote CStationView::Remote() const {
    CLockGuard lock(m_lock);
    return m_remote;
}

DWORD WINAPI CStationView::ThreadProc(LPVOID view) {
    static_cast<CStationView*>(view)->Run();
    return 0;
}

// A watch that waits for other things than the window now needs is let go, with its connection: the
// service answers a watch only once something it names has changed.
void CStationView::Run() {
    while (::WaitForSingleObject(m_hStop.Get(), 0) == WAIT_TIMEOUT) {
        if (!m_watch.IsOpen() && !Connect()) {
            Disconnect();
            Pause(kReconnectMs);
            continue;
        }
        DWORD watch = kWatchState;
        {
            CLockGuard lock(m_lock);
            watch |= (m_bScreens ? (DWORD)kWatchScreens : 0) | (m_bHistories ? (DWORD)kWatchHistories : 0);
        }
        if (m_watching != 0 && m_watching != watch) {
            m_watch.Close();
            if (m_watch.Open(m_pipe, kCommandMs, 0, m_pfnServicePid ? m_pfnServicePid(m_stationId) : 0) !=
                CControlChannel::kOpened) {
                Disconnect();
                continue;
            }
            m_watching = 0;
            // What the window has not followed until now is fetched at once.
            if (!FetchScreens(CControlMarks()) || !FetchHistory(0) || !FetchHistory(1)) {
                Disconnect();
                continue;
            }
        }
        if (m_watching == 0) {
            CControlRequest request = MakeRequest(kControlWatch);
            request.watch = watch;
            request.seen = m_seen;
            const DWORD spent = ::GetTickCount() - m_fetched;
            request.hold = spent < kRedrawMs ? kRedrawMs - spent : 0;
            if (!m_watch.BeginTransact(request, kCommandMs)) {
                Disconnect();
                continue;
            }
            m_watching = watch;
        }
        HANDLE waits[] = {m_hStop.Get(), m_watch.ReadEvent(), m_hWake.Get()};
        const DWORD woken = ::WaitForMultipleObjects(3, waits, FALSE, INFINITE);
        if (woken == WAIT_OBJECT_0 + 2) {
            WORD command = 0;
            {
                CLockGuard lock(m_lock);
                command = m_command;
                m_command = 0;
            }
            if (command != 0 && !Give(command))
                Disconnect();
            continue;
        }
        if (woken != WAIT_OBJECT_0 + 1)
            break;
        m_watching = 0;
        CStateView view;
        m_fetched = ::GetTickCount();
        if (!m_watch.FinishRead() || !ReadState(m_watch.Answer(), m_watch.AnswerSize(), view) ||
            !Update(view) || !FetchScreens(view.state.marks) ||
            (view.state.marks.histories[0] != m_seen.histories[0] && !FetchHistory(0)) ||
            (view.state.marks.histories[1] != m_seen.histories[1] && !FetchHistory(1))) {
            Disconnect();
            continue;
        }
    }
    m_watch.Close();
    m_ask.Close();
}

// Only the station's service is followed: a server that is not its process is not asked anything. The
// copies of the histories start again, as the service may have started again.
bool CStationView::Connect() {
    const DWORD pid = m_pfnServicePid != nullptr ? m_pfnServicePid(m_stationId) : 0;
    if (pid == 0 || m_watch.Open(m_pipe, kCommandMs, 0, pid) != CControlChannel::kOpened ||
        m_ask.Open(m_pipe, kCommandMs, 0, pid) != CControlChannel::kOpened)
        return false;
    m_watching = 0;
    for (int i = 0; i < 2; ++i) {
        m_next[i] = 0;
        m_changes[i] = 0;
        m_held[i] = false;
        m_consoles[i]->EditHistory([](CConsoleHistory& history) { history.Clear(); });
    }
    m_seen = CControlMarks();
    memset(m_scripts, 0xFF, sizeof m_scripts);
    CStateView view;
    return m_ask.Command(kControlAsk, view, kCommandMs) && Update(view) && FetchScreens(CControlMarks()) &&
           FetchHistory(0) && FetchHistory(1);
}

void CStationView::Disconnect() {
    m_watch.Close();
    m_ask.Close();
    m_watching = 0;
    bool changed;
    {
        CLockGuard lock(m_lock);
        changed = m_remote.connected;
        m_remote = CRemote();
    }
    if (changed)
        ::PostMessageA(m_hWnd, WM_VIEW_STATE, 0, 0);
}

// The run state goes to the window; each script's history status to its copy of the history. A state
// older than one already taken (a watch answered while a command was given) is passed over.
bool CStationView::Update(const CStateView& view) {
    const CControlState& state = view.state;
    if ((LONG)(state.marks.state - m_seen.state) < 0)
        return true;
    const CRemote remote = {true, state.flags, state.workers, state.runMask};
    bool changed;
    {
        CLockGuard lock(m_lock);
        changed = memcmp(&m_remote, &remote, sizeof remote) != 0;
        m_remote = remote;
    }
    if (changed)
        ::PostMessageA(m_hWnd, WM_VIEW_STATE, 0, 0);
    m_seen.state = state.marks.state;
    for (int i = 0; i < 2; ++i) {
        const CControlScript& script = state.scripts[i];
        if (memcmp(&m_scripts[i], &script, sizeof script) == 0)
            continue;
        m_scripts[i] = script;
        CConsoleHistory::CStatus status = {};
        status.run = script.run;
        status.running = script.running != 0;
        status.sinceTime = script.since;
        status.failedRuns = script.failedRuns;
        status.ended = script.ended != 0;
        status.lastEndTime = script.lastEnd;
        status.startError = script.startError;
        ::CopyMemory(status.lastHow, script.how,
                     script.howLength < kControlHowSize ? script.howLength : (DWORD)kControlHowSize - 1);
        m_consoles[i]->EditHistory([&](CConsoleHistory& history) { history.SetStatus(status); });
    }
    return true;
}

// The screens that changed since they were last fetched, while the window is shown.
bool CStationView::FetchScreens(const CControlMarks& marks) {
    {
        CLockGuard lock(m_lock);
        if (!m_bScreens)
            return true;
    }
    for (DWORD i = 0; i < 2; ++i) {
        if (marks.screens[i] != 0 && marks.screens[i] == m_seen.screens[i])
            continue;
        CControlScreen rows;
        if (!m_ask.Transact(MakeRequest(kControlScreen, i + 1), kCommandMs) ||
            !ReadScreen(m_ask.Answer(), m_ask.AnswerSize(), rows))
            return false;
        m_screen.first = 0;
        m_screen.rows = rows.rows;
        m_screen.runs = rows.runs;
        m_screen.lines = rows.lines;
        for (DWORD row = 0; row < rows.rows; ++row) {
            m_screen.length[row] =
                rows.length[row] <= CConsole::kMaxLine ? rows.length[row] : (DWORD)CConsole::kMaxLine;
            ::CopyMemory(m_screen.text[row], rows.text[row], m_screen.length[row]);
            m_screen.text[row][m_screen.length[row]] = 0;
        }
        m_consoles[i]->MirrorScreen(m_screen);
        m_seen.screens[i] = marks.screens[i];
    }
    return true;
}

// The entries since the last one copied, while a history window is open. The newest one copied is read
// again, as the service counts a record up in place; where the service began its history anew, the copy
// does too.
bool CStationView::FetchHistory(int console) {
    {
        CLockGuard lock(m_lock);
        if (!m_bHistories)
            return true;
    }
    bool again = m_held[console];
    for (ULONGLONG from = again ? m_next[console] - 1 : m_next[console];;) {
        CHistoryReader reader;
        CControlRequest request = MakeRequest(kControlHistory, console + 1);
        request.from = from;
        if (!m_ask.Transact(request, kCommandMs) || !reader.Open(m_ask.Answer(), m_ask.AnswerSize()))
            return false;
        const CControlHistory& head = reader.Head();
        if (head.changes < m_changes[console]) {
            m_consoles[console]->EditHistory([](CConsoleHistory& history) { history.Clear(); });
            m_held[console] = again = false;
            m_changes[console] = 0;
            from = m_next[console] = 0;
            continue;
        }
        CControlEntry entry;
        const char* text = nullptr;
        ULONGLONG serial = head.from;
        m_consoles[console]->EditHistory([&](CConsoleHistory& history) {
            for (; reader.Next(entry, text); ++serial) {
                const unsigned length =
                    entry.length <= CConsole::kMaxLine ? entry.length : (unsigned)CConsole::kMaxLine;
                const CConsoleHistory::EKind kind = (CConsoleHistory::EKind)entry.kind;
                if (again && serial + 1 == m_next[console])
                    history.ReplaceNewest(kind, text, length, entry.time);
                else
                    history.Append(kind, text, length, entry.time);
            }
        });
        again = false;
        if (serial > head.from) {
            m_next[console] = serial;
            m_held[console] = true;
        }
        m_changes[console] = head.changes;
        if (!reader.Whole() || serial >= head.first + head.count || serial == head.from)
            break;
        from = serial;
    }
    m_seen.histories[console] = m_changes[console];
    return true;
}

bool CStationView::Give(WORD command) {
    CStateView view;
    DWORD error = 0;
    if (m_ask.Command(command, view, kCommandMs, &error))
        return Update(view);
    // A command the service refused leaves the connection as it was.
    return error == kErrorRefused;
}

// A pause that a stop or the window's wish cuts short.
void CStationView::Pause(DWORD ms) {
    HANDLE waits[] = {m_hStop.Get(), m_hWake.Get()};
    if (::WaitForMultipleObjects(2, waits, FALSE, ms) == WAIT_OBJECT_0 + 1)
        ::SetEvent(m_hWake.Get());
}
