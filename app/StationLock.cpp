#include "app/StationLock.h"

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

// The mutexes themselves are closed after this, with their members.
CStationLock::~CStationLock() { Release(); }

void CStationLock::Release() {
    if (m_bOwnsMachine)
        ::ReleaseMutex(m_hMachineMutex.Get());
    if (m_bOwnsSession)
        ::ReleaseMutex(m_hSessionMutex.Get());
    m_bOwnsMachine = m_bOwnsSession = FALSE;
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

CStationLock::EFound CStationLock::TakeOrFind(HWND& holder) {
    NameAfterFolder();
    holder = nullptr;
    for (const DWORD start = ::GetTickCount();; ::Sleep(kLookAgainMs)) {
        const EFound found = Take();
        if (found != kHolderHere)
            return found;
        if ((holder = FindHolder()) != nullptr)
            return kHolderHere;
        if (::GetTickCount() - start >= kLookForHolderMs)
            return kHolderWindowless;
    }
}

namespace {

// The copy that runs owns the mutexes. However it ends, its ownership ends with it, and the next copy's
// wait takes them (abandoned, which is as good).
BOOL Own(HANDLE mutex) {
    const DWORD wait = ::WaitForSingleObject(mutex, 0);
    return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

// Denied access means the mutex exists, made by a copy that runs with other rights or as another user.
// Any other failure proves nothing, and a program that refused to run for it would supervise nothing.
CHandle OpenOrMake(LPCSTR space, LPCSTR mark, BOOL& denied) {
    char name[64];
    snprintf(name, sizeof name, "%s\\%s", space, mark);
    CHandle mutex(::CreateMutexA(nullptr, FALSE, name));
    denied = !mutex && ::GetLastError() == ERROR_ACCESS_DENIED;
    return mutex;
}

} // namespace

// Creating a mutex in the machine's namespace needs no privilege (a file mapping there would).
CStationLock::EFound CStationLock::Take() {
    BOOL denied = FALSE;
    if (!m_hSessionMutex && !(m_hSessionMutex = OpenOrMake("Local", m_szMark, denied)) && denied)
        return kHolderHere;
    if (m_hSessionMutex && !(m_bOwnsSession = Own(m_hSessionMutex.Get())))
        return kHolderHere;
    if (!m_hMachineMutex && !(m_hMachineMutex = OpenOrMake("Global", m_szMark, denied)) && !denied)
        return kTaken;
    if (m_hMachineMutex && (m_bOwnsMachine = Own(m_hMachineMutex.Get())))
        return kTaken;
    Release();
    return kHolderElsewhere;
}

HWND CStationLock::FindHolder() const {
    CMarkedWindow search = {m_szMark, nullptr};
    ::EnumWindows(FindMarked, (LPARAM)&search);
    return search.found;
}
