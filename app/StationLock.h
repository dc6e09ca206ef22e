// CStationLock: one copy of the program per station folder on the whole machine. Two copies in one folder
// would run every script twice, and two station scripts would fight over one receiver; two users logged on
// at once (fast user switching, Remote Desktop) would do the same with a copy each.
#pragma once

#include "framework/Handle.h"

#include <windows.h>

class CStationLock {
public:
    CStationLock() = default;
    ~CStationLock();
    CStationLock(const CStationLock&) = delete;
    CStationLock& operator=(const CStationLock&) = delete;

    enum EFound {
        kTaken,            // this copy holds the lock now
        kHolderHere,       // a copy in this session holds it; its window is given
        kHolderElsewhere,  // a copy in another session holds it
        kHolderWindowless, // a copy in this session holds it, and no window of it came within the wait
    };
    // Takes the lock of the current folder, or finds the copy that holds it. A holder in this session may
    // still be starting (no window yet) or ending (its window gone, the lock about to be free): for up to
    // about 3 s this looks again for either.
    EFound TakeOrFind(HWND& holder);
    // Lets the lock go again, for a copy that only wanted to know whether another holds it.
    void Release();
    // The name of the property the holder sets on its main window while it has one: a caption can be
    // any window's, this name belongs to this program in this folder.
    LPCSTR WindowMark() const { return m_szMark; }

private:
    enum : DWORD { kLookForHolderMs = 3000, kLookAgainMs = 50 };

    void NameAfterFolder();
    EFound Take();
    HWND FindHolder() const;

    // The session's mutex is taken first and let go last: whoever owns the machine's mutex owns its own
    // session's too, so a copy that owns this session's but not the machine's knows the holder is in
    // another session. The session's mutex also keeps out copies of versions that knew no other.
    CHandle m_hSessionMutex;
    CHandle m_hMachineMutex;
    BOOL m_bOwnsSession = FALSE;
    BOOL m_bOwnsMachine = FALSE;
    char m_szMark[48] = {};
};
