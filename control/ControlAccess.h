// Who may do what through a station's pipe. A copy obeys its own user and the system. A service lets
// every interactive user read its state, and lets administrators, members of the operators' group and the
// system start and stop its scripts. A caller that cannot be identified may do nothing.
#pragma once

#include "framework/Handle.h"

#include <windows.h>

struct CCaller {
    bool known;       // its token could be read
    bool sameUser;    // it runs as the server's own user
    bool system;      // LocalSystem
    bool admin;       // a member of Administrators, with its rights raised or not
    bool operators;   // a member of the local group kOperatorsGroup
    bool interactive; // logged on at the machine or through Remote Desktop
};

enum EControlRight { kRightNone, kRightRead, kRightControl };

// What a client asks for when it opens a station's pipe: reading, writing its messages and setting its
// read mode, but not FILE_CREATE_PIPE_INSTANCE (which FILE_GENERIC_WRITE holds), so that no reader can
// serve the pipe's name itself.
extern const DWORD kPipeClientRights;

// The local group whose members may start and stop a service's scripts, where it exists.
extern const WCHAR kOperatorsGroup[];

EControlRight RightOf(const CCaller& caller, bool service);
// Whether the right allows the command (EControlCommand).
bool Permits(EControlRight right, WORD command);

// The caller a token stands for, compared with this process's own user.
CCaller ReadCaller(HANDLE token);
// The pipe's client: impersonated for the moment its token is read. Unknown when it cannot be.
CCaller IdentifyClient(HANDLE pipe);

// The pipe's security: its own user and the system for a copy; for a service also the readers and
// controllers above, none of them with the right to make an instance of the pipe. Null on failure.
PSECURITY_DESCRIPTOR MakePipeSecurity(bool service);

// The user a process runs as, into `sid` (SECURITY_MAX_SID_SIZE bytes). FALSE when it cannot be read.
BOOL ReadProcessUser(HANDLE process, void* sid);
// A process opened to be asked its user and image, with `extra` rights besides: the query right of Vista
// and later that any user's process grants, else the full one of the systems before. Null when it cannot be.
HANDLE OpenProcessToQuery(DWORD pid, DWORD extra = 0);
