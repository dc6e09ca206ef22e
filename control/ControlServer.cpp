#include "control/ControlServer.h"

#include "control/ControlPipe.h"

#include <new>
#include <string.h>

#ifndef PIPE_REJECT_REMOTE_CLIENTS
#define PIPE_REJECT_REMOTE_CLIENTS 0x00000008
#endif

namespace {

const DWORD kPipeMode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
// An answer that the caller does not take within this is not waited for any longer.
const DWORD kWriteMs = 10000;

// Whether a server already answers on the name: one that another program made before this one could.
// The system refuses FILE_FLAG_FIRST_PIPE_INSTANCE then as well; asking first finds it where it does not.
bool NameIsTaken(const WCHAR* name) {
    CHandle pipe(::CreateFileW(name, kPipeClientRights, 0, nullptr, OPEN_EXISTING,
                               SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
    const DWORD error = ::GetLastError();
    return pipe || error == ERROR_PIPE_BUSY || error == ERROR_ACCESS_DENIED;
}

} // namespace

struct CControlServer::CListener {
    const WCHAR* name;
    bool station;
    bool first;     // no instance of this process's is left: the next must be the name's first
    bool connected; // a caller came before the instance waited for one
    DWORD failedAt; // when an instance could last not be made; 0 for never
    CHandle pipe;
    CHandle event;
    OVERLAPPED ov;
};

// Everything one caller's thread needs, allocated once for the caller: its last request and answer.
struct CControlServer::CSession {
    CControlServer* server;
    CHandle pipe;
    CHandle io;
    CHandle wake;
    CCaller caller;
    alignas(8) BYTE request[sizeof(CControlRequest) + 1];
    alignas(8) BYTE answer[kControlMaxAnswer];
    WCHAR folder[kLongPath];
    WCHAR image[kLongPath];
};

CControlServer::CControlServer(CControlDesk& desk)
    : m_pfnIdentify(IdentifyClient), m_desk(desk), m_stationPipe(), m_processPipe(), m_security(nullptr),
      m_hStop(::CreateEventA(nullptr, TRUE, FALSE, nullptr)), m_hListener(), m_lock(), m_sessions(),
      m_bServesStation(false) {}

CControlServer::~CControlServer() {
    Stop();
    if (m_security != nullptr)
        ::LocalFree(m_security);
}

BOOL CControlServer::Start(const WCHAR* stationId) {
    if (m_hListener)
        return TRUE;
    ::ResetEvent(m_hStop.Get());
    m_stationPipe[0] = 0;
    if (stationId != nullptr)
        StationPipeName(stationId, m_stationPipe);
    ProcessPipeName(::GetCurrentProcessId(), m_processPipe);
    if (m_security == nullptr)
        m_security = MakePipeSecurity(m_desk.IsService());
    m_hListener.Reset(::CreateThread(nullptr, 0, ListenProc, this, 0, nullptr));
    return m_hListener ? TRUE : FALSE;
}

void CControlServer::Stop() {
    if (!m_hListener)
        return;
    ::SetEvent(m_hStop.Get());
    ::WaitForSingleObject(m_hListener.Get(), INFINITE);
    m_hListener.Reset();
    for (CHandle& session : m_sessions) {
        if (session)
            ::WaitForSingleObject(session.Get(), INFINITE);
        session.Reset();
    }
    CLockGuard lock(m_lock);
    m_bServesStation = false;
}

bool CControlServer::ServesStation() const {
    CLockGuard lock(m_lock);
    return m_bServesStation;
}

DWORD WINAPI CControlServer::ListenProc(LPVOID server) {
    static_cast<CControlServer*>(server)->Listen();
    return 0;
}

// Each name always has an instance waiting while the process serves it, also while callers are being
// served: the next is made before the connected one is handed on, so the name is never free for another.
void CControlServer::Listen() {
    CListener listeners[2] = {};
    listeners[0].name = m_processPipe;
    listeners[1].name = m_stationPipe;
    listeners[1].station = true;
    const unsigned count = m_stationPipe[0] ? 2 : 1;
    for (unsigned i = 0; i < count; ++i) {
        listeners[i].first = true;
        listeners[i].event.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    }
    for (;;) {
        HANDLE waits[3] = {m_hStop.Get()};
        CListener* waiting[3] = {};
        DWORD n = 1, timeout = INFINITE;
        for (unsigned i = 0; i < count; ++i) {
            CListener& listener = listeners[i];
            if (!listener.pipe &&
                (listener.failedAt == 0 || ::GetTickCount() - listener.failedAt >= kRetryMs))
                OpenInstance(listener);
            if (!listener.pipe) {
                timeout = kRetryMs;
                continue;
            }
            waiting[n] = &listener;
            waits[n++] = listener.event.Get();
        }
        const DWORD woken = ::WaitForMultipleObjects(n, waits, FALSE, timeout);
        if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED)
            break;
        if (woken > WAIT_OBJECT_0 && woken < WAIT_OBJECT_0 + n)
            Accept(*waiting[woken - WAIT_OBJECT_0]);
    }
    for (CListener& listener : listeners) {
        if (listener.pipe) {
            DWORD ignored = 0;
            ::CancelIo(listener.pipe.Get());
            ::GetOverlappedResult(listener.pipe.Get(), &listener.ov, &ignored, TRUE);
        }
    }
}

// Makes an instance and has it wait for a caller. The station's first instance is made only where no
// other program serves the name.
BOOL CControlServer::OpenInstance(CListener& listener) {
    const bool taken = listener.first && listener.station && NameIsTaken(listener.name);
    SECURITY_ATTRIBUTES sa = {sizeof sa, m_security, FALSE};
    if (!taken)
        listener.pipe.Reset(::CreateNamedPipeW(
            listener.name,
            PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (listener.first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
            kPipeMode, PIPE_UNLIMITED_INSTANCES, kControlMaxAnswer, sizeof(CControlRequest), 0,
            m_security != nullptr ? &sa : nullptr));
    if (listener.station) {
        CLockGuard lock(m_lock);
        m_bServesStation = listener.pipe || !listener.first;
    }
    if (!listener.pipe) {
        listener.first = true;
        listener.failedAt = ::GetTickCount() | 1;
        return FALSE;
    }
    listener.first = false;
    listener.connected = false;
    listener.ov = OVERLAPPED();
    listener.ov.hEvent = listener.event.Get();
    ::ResetEvent(listener.event.Get());
    if (!::ConnectNamedPipe(listener.pipe.Get(), &listener.ov)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_PIPE_CONNECTED) {
            listener.connected = true;
            ::SetEvent(listener.event.Get());
        } else if (error != ERROR_IO_PENDING) {
            listener.pipe.Reset();
            listener.first = true;
            listener.failedAt = ::GetTickCount() | 1;
            return FALSE;
        }
    }
    return TRUE;
}

void CControlServer::Accept(CListener& listener) {
    DWORD ignored = 0;
    const bool connected =
        listener.connected || ::GetOverlappedResult(listener.pipe.Get(), &listener.ov, &ignored, FALSE);
    CHandle caller(listener.pipe.Detach());
    if (!connected)
        caller.Reset();
    OpenInstance(listener);
    if (!caller)
        return;
    CLockGuard lock(m_lock);
    for (CHandle& slot : m_sessions) {
        if (slot && ::WaitForSingleObject(slot.Get(), 0) == WAIT_TIMEOUT)
            continue;
        void* memory = ::HeapAlloc(::GetProcessHeap(), 0, sizeof(CSession));
        if (memory == nullptr)
            return;
        CSession* session = new (memory) CSession();
        session->server = this;
        session->pipe = std::move(caller);
        session->io.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        session->wake.Reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
        slot.Reset(::CreateThread(nullptr, 0, SessionProc, session, 0, nullptr));
        if (!slot) {
            session->~CSession();
            ::HeapFree(::GetProcessHeap(), 0, session);
        }
        return;
    }
    // More callers than threads: this one is let go unanswered.
}

DWORD WINAPI CControlServer::SessionProc(LPVOID param) {
    CSession* session = static_cast<CSession*>(param);
    session->server->Serve(*session);
    session->~CSession();
    ::HeapFree(::GetProcessHeap(), 0, session);
    return 0;
}

// A caller is identified once it has written its first request; until it can be, it may do nothing.
void CControlServer::Serve(CSession& session) {
    HANDLE stop = m_hStop.Get();
    bool identified = false;
    for (;;) {
        DWORD size = 0;
        if (!ReadMessage(session.pipe.Get(), session.io.Get(), stop, INFINITE, session.request,
                         sizeof session.request, size))
            break;
        if (!identified) {
            session.caller = m_pfnIdentify(session.pipe.Get());
            identified = true;
        }
        CControlRequest request;
        EControlError error = ReadRequest(session.request, size, request);
        const EControlRight right = RightOf(session.caller, m_desk.IsService());
        if (error == kErrorNone && !Permits(right, request.command))
            error = kErrorRefused;
        const DWORD length =
            error != kErrorNone ? WriteError(session.answer, error) : Answer(session, request, right);
        if (!WriteMessage(session.pipe.Get(), session.io.Get(), stop, kWriteMs, session.answer, length))
            break;
    }
}

DWORD CControlServer::Answer(CSession& session, const CControlRequest& request, EControlRight right) {
    HANDLE stop = m_hStop.Get();
    switch (request.command) {
    case kControlStart:
    case kControlStop:
    case kControlExit:
    case kControlShow:
        // A service's scripts end only when it is stopped, by the system.
        if (request.command == kControlExit && m_desk.IsService())
            break;
        if (!m_desk.Carry(request.command, kCarryMs, stop))
            return WriteError(session.answer, kErrorNoAnswer);
        // The scripts have ended by now; their notices follow at once, and with them the idle state that
        // the caller would otherwise watch for.
        if (request.command == kControlStop)
            m_desk.WaitForIdle(kSettleMs, session.wake.Get(), stop);
        break;
    case kControlWatch:
        Watch(session, request);
        break;
    case kControlScreen:
        return AnswerScreen(session, request.console);
    case kControlHistory:
        return AnswerHistory(session, request.console, request.from);
    default:
        break;
    }
    return AnswerState(session, right);
}

// Until a mark the watch names has changed; while its hold lasts, only a change of the run state counts,
// so that a watcher that paces its fetches still hears of the state at once.
void CControlServer::Watch(CSession& session, const CControlRequest& request) {
    const DWORD start = ::GetTickCount();
    const DWORD hold = request.hold < kWatchMs ? request.hold : (DWORD)kWatchMs;
    for (HANDLE stop = m_hStop.Get(); ::WaitForSingleObject(stop, 0) == WAIT_TIMEOUT;) {
        const DWORD spent = ::GetTickCount() - start;
        const DWORD watch = spent < hold ? request.watch & kWatchState : request.watch;
        if (spent >= kWatchMs || MarksDiffer(m_desk.Marks(), request.seen, watch))
            break;
        m_desk.WaitForChange(request.seen, watch, (spent < hold ? hold : (DWORD)kWatchMs) - spent,
                             session.wake.Get(), stop);
    }
}

DWORD CControlServer::AnswerState(CSession& session, EControlRight right) {
    CControlState state = {};
    m_desk.ReadState(state);
    if (Permits(right, kControlStart))
        state.flags |= kStateMayControl;
    DWORD folder = ::GetCurrentDirectoryW(kLongPath, session.folder);
    DWORD image = ::GetModuleFileNameW(nullptr, session.image, kLongPath);
    folder = folder < kLongPath ? folder : 0;
    image = image < kLongPath ? image : 0;
    return WriteState(session.answer, state, session.folder, folder, session.image, image);
}

static_assert((DWORD)kControlRows == (DWORD)CConsole::kRows &&
                  (DWORD)kControlRowSize > (DWORD)CConsole::kMaxLine,
              "a console's screen fits its answer");

DWORD CControlServer::AnswerScreen(CSession& session, DWORD console) {
    CControlScreen* out = reinterpret_cast<CControlScreen*>(session.answer);
    memset(out, 0, sizeof *out);
    out->head = MakeHead(sizeof *out, kAnswerScreen);
    out->console = console;
    if (const CConsole* source = m_desk.Console(console)) {
        const CConsole::CScreen screen = source->GetScreen();
        out->runs = screen.runs;
        out->lines = screen.lines;
        out->rows = screen.rows;
        for (unsigned i = 0; i < screen.rows; ++i) {
            out->length[i] = screen.RowLength(i);
            memcpy(out->text[i], screen.Row(i), out->length[i]);
        }
    }
    return sizeof *out;
}

// As many entries from `from` on as fit; an entry that went meanwhile moves the start on.
DWORD CControlServer::AnswerHistory(CSession& session, DWORD console, ULONGLONG from) {
    CControlHistory head = {};
    head.console = console;
    head.from = from;
    const CConsole* source = m_desk.Console(console);
    if (source != nullptr) {
        head.changes = source->HistoryChanges();
        head.count = source->HistoryCount(&head.first);
        head.from = from > head.first ? from : head.first;
    }
    head.head = MakeHead(sizeof head, kAnswerHistory);
    memcpy(session.answer, &head, sizeof head);
    DWORD size = sizeof head;
    CConsoleHistory::CEntry entry;
    char text[CConsole::kMaxLine + 1];
    for (ULONGLONG serial = head.from; source != nullptr && serial < head.first + head.count; ++serial) {
        if (source->GetHistoryEntry(serial, entry, text, sizeof text)) {
            if (!AppendEntry(session.answer, size, CControlEntry{entry.utc, (DWORD)entry.kind, entry.length},
                             text))
                break;
        } else if (size == sizeof head) {
            head.from = serial + 1;
            memcpy(session.answer, &head, sizeof head);
        } else {
            break;
        }
    }
    return size;
}
