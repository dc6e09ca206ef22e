#include "app/StationLock.h"

#include <stdio.h>

const WCHAR CStationLock::kFileName[] = L"Quorvid.station.lock";

namespace {

// The copy that runs owns the mutexes. However it ends, its ownership ends with it, and the next copy's
// wait takes them (abandoned, which is as good).
BOOL Own(HANDLE mutex) {
    const DWORD wait = ::WaitForSingleObject(mutex, 0);
    return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

// Denied access means the mutex exists, made by a copy that runs with other rights or as another user.
// Any other failure proves nothing, and a program that refused to run for it would supervise nothing.
CHandle OpenOrMake(LPCWSTR space, LPCWSTR id, BOOL& denied) {
    WCHAR name[kStationIdSize + 16];
    swprintf(name, sizeof name / sizeof name[0], L"%ls\\%ls", space, id);
    CHandle mutex(::CreateMutexW(nullptr, FALSE, name));
    denied = !mutex && ::GetLastError() == ERROR_ACCESS_DENIED;
    return mutex;
}

} // namespace

CStationLock::CStationLock() : m_stationId() { CurrentStationId(m_stationId); }

// The mutexes and the file themselves are closed after this, with their members.
CStationLock::~CStationLock() { Release(); }

void CStationLock::Release() {
    m_hFile.Reset();
    if (m_bOwnsMachine)
        ::ReleaseMutex(m_hMachineMutex.Get());
    if (m_bOwnsSession)
        ::ReleaseMutex(m_hSessionMutex.Get());
    m_bOwnsMachine = m_bOwnsSession = FALSE;
}

// A sharing violation is a holder. Any other failure (no right to write the folder, a lock file that
// is still being deleted, a folder of the name) leaves the mutexes to decide.
CStationLock::EResult CStationLock::Take() {
    if (m_hFile)
        return kTaken;
    m_hFile.Reset(::CreateFileW(kFileName, GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (m_hFile)
        return kTaken;
    if (::GetLastError() == ERROR_SHARING_VIOLATION)
        return kHeld;
    return TakeMutexes();
}

// Creating a mutex in the machine's namespace needs no privilege (a file mapping there would).
CStationLock::EResult CStationLock::TakeMutexes() {
    BOOL denied = FALSE;
    if (!m_hSessionMutex && !(m_hSessionMutex = OpenOrMake(L"Local", m_stationId, denied)) && denied)
        return kHeld;
    if (m_hSessionMutex && !(m_bOwnsSession = Own(m_hSessionMutex.Get())))
        return kHeld;
    if (!m_hMachineMutex && !(m_hMachineMutex = OpenOrMake(L"Global", m_stationId, denied)) && !denied)
        return kTaken;
    if (m_hMachineMutex && (m_bOwnsMachine = Own(m_hMachineMutex.Get())))
        return kTaken;
    Release();
    return kHeldElsewhere;
}
