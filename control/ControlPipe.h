// Overlapped reads and writes of whole messages on a pipe, each bounded by a time or by a stop event, so
// that neither end ever waits on the other for longer than it chose.
#pragma once

#include <windows.h>

// Waits for an overlapped read or write begun with the result `started`. TRUE when it completed whole;
// FALSE when it failed (GetLastError: ERROR_MORE_DATA for a message longer than the buffer), `stop` was set
// or `ms` passed first (then it is cancelled).
BOOL FinishIo(HANDLE pipe, OVERLAPPED& ov, BOOL started, HANDLE stop, DWORD ms, DWORD& transferred);

// One message into `buffer`. A message longer than `capacity` is read to its end and given as
// `size` = capacity + 1. FALSE when the other end has gone, or on `stop` or `ms`. `io` is an event of
// the caller's.
BOOL ReadMessage(HANDLE pipe, HANDLE io, HANDLE stop, DWORD ms, void* buffer, DWORD capacity, DWORD& size);
BOOL WriteMessage(HANDLE pipe, HANDLE io, HANDLE stop, DWORD ms, const void* message, DWORD size);
