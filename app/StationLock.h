// CStationLock: one copy of the program per station folder. Two copies in one folder would run every
// script twice, and two station scripts would fight over one receiver.
#pragma once

#include "framework/Handle.h"

#include <windows.h>

class CStationLock {
public:
    CStationLock() = default;
    ~CStationLock();
    CStationLock(const CStationLock&) = delete;
    CStationLock& operator=(const CStationLock&) = delete;

    // Takes the lock of the current folder for this session, or has the copy that holds it show its
    // window. That copy may still be starting (no window yet) or ending (its window gone, the lock about
    // to be free): for up to about 3 s this looks again for either. ERROR_SUCCESS when this copy is to
    // run; ERROR_ALREADY_EXISTS when the holder was shown; ERROR_TIMEOUT when its window never came.
    DWORD TakeOrShowHolder();
    // The name of the property the holder sets on its main window while it has one: a caption can be
    // any window's, this name belongs to this program in this folder.
    LPCSTR WindowMark() const { return m_szMark; }

private:
    enum : DWORD { kLookForHolderMs = 3000, kLookAgainMs = 50 };

    void NameAfterFolder();
    BOOL Take();
    BOOL ShowHolder() const;

    CHandle m_hMutex;
    BOOL m_bOwned = FALSE;
    char m_szMark[48] = {};
};
