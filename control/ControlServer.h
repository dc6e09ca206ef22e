// CControlServer: a station's control channel, served on threads of its own so that the window is never
// held up. One thread waits for callers on the station's pipe and on this process's own pipe; each caller
// gets a thread of its own that reads its requests, one message each, and answers every one, a malformed
// one with an error. What a caller may do is decided by who it is (ControlAccess.h); its commands reach
// the window through the desk only.
#pragma once

#include "control/ControlAccess.h"
#include "control/ControlDesk.h"
#include "control/ControlNames.h"
#include "framework/CriticalSection.h"
#include "framework/Handle.h"

#include <windows.h>

class CControlServer {
public:
    enum : DWORD {
        kMaxCallers = 16,
        // How often the station's pipe is tried again while another program holds its name.
        kRetryMs = 2000,
        // How long a command may take the window: a Stop waits up to 4 s for the scripts.
        kCarryMs = 9000,
        // The longest a watch is held before it is answered all the same.
        kWatchMs = 20000,
        // How long a Stop carried out waits for the window's stopped notices before it is answered.
        kSettleMs = 1000,
    };

    explicit CControlServer(CControlDesk& desk);
    ~CControlServer();
    CControlServer(const CControlServer&) = delete;
    CControlServer& operator=(const CControlServer&) = delete;

    // Serves this process's pipe and, where `stationId` is given, the station's. FALSE when no thread could
    // be made.
    BOOL Start(const WCHAR* stationId);
    // Ends every caller's thread and the pipes; returns once they are gone.
    void Stop();
    // Whether the station's pipe is served; FALSE while another program holds its name.
    bool ServesStation() const;

    // Who a connected caller is; a test stands in for the system here.
    CCaller (*m_pfnIdentify)(HANDLE pipe);

private:
    struct CListener;
    struct CSession;
    static DWORD WINAPI ListenProc(LPVOID server);
    static DWORD WINAPI SessionProc(LPVOID session);
    void Listen();
    BOOL OpenInstance(CListener& listener);
    void Accept(CListener& listener);
    void Serve(CSession& session);
    DWORD Answer(CSession& session, const CControlRequest& request, EControlRight right);
    void Watch(CSession& session, const CControlRequest& request);
    DWORD AnswerState(CSession& session, EControlRight right);
    DWORD AnswerScreen(CSession& session, DWORD console);
    DWORD AnswerHistory(CSession& session, DWORD console, ULONGLONG from);

    CControlDesk& m_desk;
    WCHAR m_stationPipe[kPipeNameSize];
    WCHAR m_processPipe[kPipeNameSize];
    PSECURITY_DESCRIPTOR m_security;
    CHandle m_hStop;
    CHandle m_hListener;
    mutable CCriticalSection m_lock;
    // Under m_lock: the callers' threads, and whether the station's pipe is served.
    CHandle m_sessions[kMaxCallers];
    bool m_bServesStation;
};
