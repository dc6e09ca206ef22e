#include "control/ControlChannel.h"

#include "control/ControlAccess.h"
#include "control/ControlNames.h"
#include "control/ControlPipe.h"
#include "framework/HeapText.h"

#include <wchar.h>

namespace {

// Functions of Vista and later, looked up where the program runs: without them the server cannot be
// checked, as on the systems before, whose pipes had no such question.
typedef BOOL(WINAPI* ServerPidFn)(HANDLE, PULONG);
typedef BOOL(WINAPI* ImageNameFn)(HANDLE, DWORD, LPWSTR, PDWORD);

template <typename Fn> Fn Kernel(const char* name) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), name)));
}

const WCHAR* FileName(const WCHAR* path) {
    const WCHAR* slash = wcsrchr(path, L'\\');
    return slash != nullptr ? slash + 1 : path;
}

// The program's own, running as this user: its image is this program's and its user this one's.
bool IsOwnCopy(DWORD pid) {
    CHandle process(OpenProcessToQuery(pid));
    if (!process)
        return false;
    if (ImageNameFn imageName = Kernel<ImageNameFn>("QueryFullProcessImageNameW")) {
        CHeapText image(kLongPath);
        DWORD length = kLongPath;
        if (!image || !imageName(process.Get(), 0, image.Get(), &length) || !IsProgramImage(image.Get()))
            return false;
    }
    union {
        SID sid;
        BYTE bytes[SECURITY_MAX_SID_SIZE];
    } mine, theirs;
    return ReadProcessUser(::GetCurrentProcess(), &mine) && ReadProcessUser(process.Get(), &theirs) &&
           ::EqualSid(&mine, &theirs);
}

} // namespace

bool IsProgramImage(const WCHAR* path) {
    WCHAR own[MAX_PATH] = L"";
    ::GetModuleFileNameW(nullptr, own, MAX_PATH);
    const WCHAR* name = FileName(path);
    return ::lstrcmpiW(name, L"Quorvid.exe") == 0 || ::lstrcmpiW(name, FileName(own)) == 0;
}

CControlChannel::CControlChannel()
    : m_hPipe(), m_hIo(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_hRead(::CreateEventA(nullptr, TRUE, FALSE, nullptr)), m_read(), m_bReading(false), m_serverPid(0),
      m_answer(static_cast<BYTE*>(::HeapAlloc(::GetProcessHeap(), 0, kControlMaxAnswer))), m_size(0) {}

CControlChannel::~CControlChannel() {
    Close();
    if (m_answer != nullptr)
        ::HeapFree(::GetProcessHeap(), 0, m_answer);
}

// A read under way is cancelled and waited for before its buffer may go.
void CControlChannel::Close() {
    if (m_bReading) {
        DWORD ignored = 0;
        ::CancelIo(m_hPipe.Get());
        ::GetOverlappedResult(m_hPipe.Get(), &m_read, &ignored, TRUE);
        m_bReading = false;
    }
    m_hPipe.Reset();
    m_serverPid = 0;
}

// The server is only told who asks (SECURITY_IDENTIFICATION): it can read this user, not act as it.
CControlChannel::EOpen CControlChannel::Open(const WCHAR* pipeName, DWORD ms, DWORD expectedPid,
                                             DWORD servicePid) {
    Close();
    const DWORD start = ::GetTickCount();
    for (;;) {
        m_hPipe.Reset(::CreateFileW(pipeName, kPipeClientRights, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                    nullptr));
        if (m_hPipe)
            break;
        const DWORD error = ::GetLastError(), spent = ::GetTickCount() - start;
        if (error == ERROR_ACCESS_DENIED)
            return kDenied;
        if (error != ERROR_PIPE_BUSY || spent >= ms)
            return kNoServer;
        ::WaitNamedPipeW(pipeName, ms - spent);
    }
    ULONG pid = 0;
    ServerPidFn serverPid = Kernel<ServerPidFn>("GetNamedPipeServerProcessId");
    if (serverPid != nullptr && !serverPid(m_hPipe.Get(), &pid))
        pid = 0;
    m_serverPid = pid;
    const bool known = serverPid == nullptr || (pid != 0 && (!expectedPid || pid == expectedPid) &&
                                                (pid == servicePid || IsOwnCopy(pid)));
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!known || !::SetNamedPipeHandleState(m_hPipe.Get(), &mode, nullptr, nullptr)) {
        m_hPipe.Reset();
        return known ? kNoServer : kForeign;
    }
    return kOpened;
}

BOOL CControlChannel::Send(const CControlRequest& request, DWORD ms) {
    return m_hPipe && m_answer != nullptr &&
           WriteMessage(m_hPipe.Get(), m_hIo.Get(), nullptr, ms, &request, sizeof request);
}

BOOL CControlChannel::Transact(const CControlRequest& request, DWORD ms) {
    m_size = 0;
    const DWORD start = ::GetTickCount();
    if (!Send(request, ms))
        return FALSE;
    const DWORD spent = ::GetTickCount() - start;
    if (!ReadMessage(m_hPipe.Get(), m_hIo.Get(), nullptr, spent < ms ? ms - spent : 0, m_answer,
                     kControlMaxAnswer, m_size) ||
        m_size > kControlMaxAnswer) {
        // A late answer would be taken for the next request's: the channel is of no more use.
        Close();
        m_size = 0;
        return FALSE;
    }
    return TRUE;
}

BOOL CControlChannel::BeginTransact(const CControlRequest& request, DWORD ms) {
    m_size = 0;
    if (m_bReading || !Send(request, ms))
        return FALSE;
    m_read = OVERLAPPED();
    m_read.hEvent = m_hRead.Get();
    ::ResetEvent(m_hRead.Get());
    if (!::ReadFile(m_hPipe.Get(), m_answer, kControlMaxAnswer, nullptr, &m_read) &&
        ::GetLastError() != ERROR_IO_PENDING) {
        Close();
        return FALSE;
    }
    m_bReading = true;
    return TRUE;
}

BOOL CControlChannel::FinishRead() {
    DWORD size = 0;
    const BOOL read = m_bReading && ::GetOverlappedResult(m_hPipe.Get(), &m_read, &size, FALSE);
    m_bReading = false;
    m_size = read ? size : 0;
    if (!read)
        Close();
    return read;
}

BOOL CControlChannel::Command(WORD command, CStateView& view, DWORD ms, DWORD* error) {
    if (error != nullptr)
        *error = kErrorNoAnswer;
    if (!Transact(MakeRequest(command), ms))
        return FALSE;
    if (ReadState(m_answer, m_size, view))
        return TRUE;
    ReadHead(m_answer, m_size, kAnswerState, error);
    return FALSE;
}
