// CControlChannel: the asking end of a pipe of the program. Before it sends anything it checks who serves
// the pipe: the program itself (Quorvid.exe), running as this user, or as the station's service. Every
// answer is waited for within a bound and checked before it is read.
#pragma once

#include "control/ControlProtocol.h"
#include "framework/Handle.h"

#include <windows.h>

class CControlChannel {
public:
    enum EOpen {
        kOpened,
        kNoServer, // nothing serves the name
        kDenied,   // the pipe is another user's
        kForeign,  // another program, or a copy of another user's, serves the name: nothing was sent
    };

    CControlChannel();
    ~CControlChannel();
    CControlChannel(const CControlChannel&) = delete;
    CControlChannel& operator=(const CControlChannel&) = delete;

    // Connects, waiting up to `ms` for an instance that is free. The server must be `expectedPid` where that
    // is given; a server that is `servicePid` (the station's service, as the system says) is taken as it is.
    EOpen Open(const WCHAR* pipeName, DWORD ms, DWORD expectedPid = 0, DWORD servicePid = 0);
    void Close();
    bool IsOpen() const { return (bool)m_hPipe; }
    DWORD ServerPid() const { return m_serverPid; }

    // Sends the request and reads its answer, within `ms`. FALSE when none came.
    BOOL Transact(const CControlRequest& request, DWORD ms);
    // Sends the request without waiting for its answer.
    BOOL Send(const CControlRequest& request, DWORD ms);
    const BYTE* Answer() const { return m_answer; }
    DWORD AnswerSize() const { return m_size; }
    // A request whose answer may take long (kControlWatch): sent now, its answer read while the caller waits
    // for ReadEvent() with whatever else it waits for; FinishRead then takes the answer. FALSE when the
    // request could not be sent, or the answer could not be read.
    BOOL BeginTransact(const CControlRequest& request, DWORD ms);
    HANDLE ReadEvent() const { return m_hRead.Get(); }
    BOOL FinishRead();
    // A command answered with the state: FALSE when no state came (*error: the error answer's code).
    BOOL Command(WORD command, CStateView& view, DWORD ms, DWORD* error = nullptr);

private:
    CHandle m_hPipe;
    CHandle m_hIo;
    CHandle m_hRead;
    OVERLAPPED m_read;
    bool m_bReading;
    DWORD m_serverPid;
    BYTE* m_answer;
    DWORD m_size;
};

// Whether the process is one of this program's: its file is named as this program's own, or Quorvid.exe.
bool IsProgramImage(const WCHAR* path);
