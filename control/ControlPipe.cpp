#include "control/ControlPipe.h"

BOOL FinishIo(HANDLE pipe, OVERLAPPED& ov, BOOL started, HANDLE stop, DWORD ms, DWORD& transferred) {
    transferred = 0;
    if (!started && ::GetLastError() != ERROR_IO_PENDING)
        return FALSE;
    HANDLE waits[] = {ov.hEvent, stop};
    if (::WaitForMultipleObjects(stop != nullptr ? 2 : 1, waits, FALSE, ms) != WAIT_OBJECT_0) {
        ::CancelIo(pipe);
        ::GetOverlappedResult(pipe, &ov, &transferred, TRUE);
        ::SetLastError(ERROR_OPERATION_ABORTED);
        return FALSE;
    }
    return ::GetOverlappedResult(pipe, &ov, &transferred, FALSE);
}

BOOL ReadMessage(HANDLE pipe, HANDLE io, HANDLE stop, DWORD ms, void* buffer, DWORD capacity, DWORD& size) {
    OVERLAPPED ov = {};
    ov.hEvent = io;
    if (FinishIo(pipe, ov, ::ReadFile(pipe, buffer, capacity, nullptr, &ov), stop, ms, size))
        return TRUE;
    // The rest of a message too long to be anything we know is read and dropped.
    while (::GetLastError() == ERROR_MORE_DATA) {
        BYTE rest[512];
        DWORD got = 0;
        ov = OVERLAPPED();
        ov.hEvent = io;
        if (FinishIo(pipe, ov, ::ReadFile(pipe, rest, sizeof rest, nullptr, &ov), stop, ms, got)) {
            size = capacity + 1;
            return TRUE;
        }
    }
    return FALSE;
}

BOOL WriteMessage(HANDLE pipe, HANDLE io, HANDLE stop, DWORD ms, const void* message, DWORD size) {
    OVERLAPPED ov = {};
    ov.hEvent = io;
    DWORD written = 0;
    return FinishIo(pipe, ov, ::WriteFile(pipe, message, size, nullptr, &ov), stop, ms, written) &&
           written == size;
}
