#include "app/StationLock.h"

#include "res/resource.h"

#include <stdio.h>

namespace {

// FNV-1a: a fixed hash, so that every copy of the program derives the same name from the same folder.
unsigned long long Fnv1a(const char* text) {
    unsigned long long hash = 14695981039346656037ull;
    for (; *text; ++text) {
        hash ^= (unsigned char)*text;
        hash *= 1099511628211ull;
    }
    return hash;
}

struct CMarkedWindow {
    LPCSTR mark;
    HWND found;
};

BOOL CALLBACK FindMarked(HWND hWnd, LPARAM lParam) {
    CMarkedWindow* search = (CMarkedWindow*)lParam;
    if (::GetPropA(hWnd, search->mark) == nullptr)
        return TRUE;
    search->found = hWnd;
    return FALSE;
}

} // namespace

CStationLock::~CStationLock() {
    if (m_hMutex != nullptr)
        ::CloseHandle(m_hMutex);
}

BOOL CStationLock::Take() {
    // File names are compared without case, and a folder may be reached by its short name as well.
    char folder[MAX_PATH] = "";
    DWORD length = ::GetCurrentDirectoryA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder)
        folder[0] = '\0';
    DWORD longLength = ::GetLongPathNameA(folder, folder, sizeof folder);
    if (longLength >= sizeof folder)
        folder[0] = '\0';
    ::CharUpperBuffA(folder, lstrlenA(folder));
    const unsigned long long hash = Fnv1a(folder);
    snprintf(m_szMark, sizeof m_szMark, "Quorvid.Station.%08lX%08lX", (unsigned long)(hash >> 32),
             (unsigned long)(hash & 0xFFFFFFFFu));

    // In the session's namespace: a user logged on beside this one keeps a station of their own.
    char name[sizeof m_szMark + 8];
    snprintf(name, sizeof name, "Local\\%s", m_szMark);
    ::SetLastError(ERROR_SUCCESS);
    m_hMutex = ::CreateMutexA(nullptr, FALSE, name);
    const DWORD error = ::GetLastError();
    // Denied access means the mutex exists, made by a copy that runs with other rights. Any other
    // failure proves nothing, and a program that refused to run for it would supervise nothing.
    if (m_hMutex == nullptr)
        return error != ERROR_ACCESS_DENIED;
    return error != ERROR_ALREADY_EXISTS;
}

// The holder shows itself through its own Show Window command, which restores it from the tray too.
// It may take the foreground only if this copy, just started by the user, lets it.
BOOL CStationLock::ShowHolder() const {
    CMarkedWindow search = {m_szMark, nullptr};
    ::EnumWindows(FindMarked, (LPARAM)&search);
    if (search.found == nullptr)
        return FALSE;
    DWORD holder = 0;
    ::GetWindowThreadProcessId(search.found, &holder);
    ::AllowSetForegroundWindow(holder);
    return ::PostMessageA(search.found, WM_COMMAND, ID_SHOW_WINDOW, 0);
}
