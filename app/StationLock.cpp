#include "app/StationLock.h"

#include "res/resource.h"

#include <stdio.h>

namespace {

// FNV-1a: a fixed hash, so that every copy of the program derives the same name from the same folder.
unsigned long long Fnv1a(const void* data, size_t size) {
    unsigned long long hash = 14695981039346656037ull;
    for (const unsigned char* byte = (const unsigned char*)data; size--; ++byte) {
        hash ^= *byte;
        hash *= 1099511628211ull;
    }
    return hash;
}

// The folder's identity, its volume's serial number and its file index: the same whatever name the
// folder is reached by (another drive letter, a mapped drive or its UNC path, a junction, a short name).
// Some network file systems report no index (0); those count as unreadable.
bool ReadFolderIdentity(BY_HANDLE_FILE_INFORMATION& info) {
    CHandle folder(::CreateFileA(".", FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder)
        return false;
    return ::GetFileInformationByHandle(folder.Get(), &info) &&
           (info.nFileIndexHigh != 0 || info.nFileIndexLow != 0);
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

// The mutex itself is closed after this, with its member.
CStationLock::~CStationLock() {
    if (m_bOwned)
        ::ReleaseMutex(m_hMutex.Get());
}

// Where the identity cannot be read, the folder's full long name in UTF-16, upper-cased as file names
// compare: the ANSI name would turn every character outside the code page into the same '?'.
void CStationLock::NameAfterFolder() {
    BY_HANDLE_FILE_INFORMATION info;
    if (ReadFolderIdentity(info)) {
        snprintf(m_szMark, sizeof m_szMark, "Quorvid.Station.%08lX.%08lX%08lX", info.dwVolumeSerialNumber,
                 info.nFileIndexHigh, info.nFileIndexLow);
        return;
    }
    WCHAR folder[MAX_PATH * 2] = L"";
    DWORD length = ::GetCurrentDirectoryW(MAX_PATH * 2, folder);
    if (length == 0 || length >= MAX_PATH * 2)
        length = 0;
    const DWORD longLength = ::GetLongPathNameW(folder, folder, MAX_PATH * 2);
    if (longLength > 0 && longLength < MAX_PATH * 2)
        length = longLength;
    ::CharUpperBuffW(folder, length);
    const unsigned long long hash = Fnv1a(folder, length * sizeof(WCHAR));
    snprintf(m_szMark, sizeof m_szMark, "Quorvid.Station.%08lX%08lX", (unsigned long)(hash >> 32),
             (unsigned long)(hash & 0xFFFFFFFFu));
}

DWORD CStationLock::TakeOrShowHolder() {
    NameAfterFolder();
    for (const DWORD start = ::GetTickCount();; ::Sleep(kLookAgainMs)) {
        if (Take())
            return ERROR_SUCCESS;
        if (ShowHolder())
            return ERROR_ALREADY_EXISTS;
        if (::GetTickCount() - start >= kLookForHolderMs)
            return ERROR_TIMEOUT;
    }
}

// The copy that runs owns the mutex. However it ends, its ownership ends with it, and the next copy's
// wait takes the mutex (abandoned, which is as good).
BOOL CStationLock::Take() {
    if (!m_hMutex) {
        // In the session's namespace: a user logged on beside this one keeps a station of their own.
        char name[sizeof m_szMark + 8];
        snprintf(name, sizeof name, "Local\\%s", m_szMark);
        m_hMutex.Reset(::CreateMutexA(nullptr, FALSE, name));
        // Denied access means the mutex exists, made by a copy that runs with other rights. Any other
        // failure proves nothing, and a program that refused to run for it would supervise nothing.
        if (!m_hMutex)
            return ::GetLastError() != ERROR_ACCESS_DENIED;
    }
    const DWORD wait = ::WaitForSingleObject(m_hMutex.Get(), 0);
    m_bOwned = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    return m_bOwned;
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
