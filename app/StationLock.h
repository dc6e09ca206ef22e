// CStationLock: one supervisor per station folder on the whole machine. Two copies in one folder would run
// every script twice, and two station scripts would fight over one receiver; two users logged on at once
// (fast user switching, Remote Desktop) would do the same with a copy each.
//
// The lock is a file in the station folder, opened without sharing and deleted when it is closed, however
// the holder ends: only those who may change the station folder can take it, so no other account can take
// a station's lock away by making a name first. Where the folder may only be read, the lock falls back to
// named mutexes, one of this session and one of the machine.
#pragma once

#include "control/ControlNames.h"
#include "framework/Handle.h"

#include <windows.h>

class CStationLock {
public:
    CStationLock();
    ~CStationLock();
    CStationLock(const CStationLock&) = delete;
    CStationLock& operator=(const CStationLock&) = delete;

    enum EResult {
        kTaken,         // this copy holds the lock now
        kHeld,          // another copy holds it
        kHeldElsewhere, // another copy holds the machine's mutex, not this session's: in another session
    };
    // Takes the lock of the current folder, or says who holds it.
    EResult Take();
    // Lets the lock go again.
    void Release();
    // The current folder's station id, by which its pipe is named.
    const WCHAR* StationId() const { return m_stationId; }

    // The lock file's name in the station folder.
    static const WCHAR kFileName[];

private:
    EResult TakeMutexes();

    WCHAR m_stationId[kStationIdSize];
    CHandle m_hFile;
    // The session's mutex is taken first and let go last: whoever owns the machine's mutex owns its own
    // session's too, so a copy that owns this session's but not the machine's knows the holder is in
    // another session.
    CHandle m_hSessionMutex;
    CHandle m_hMachineMutex;
    BOOL m_bOwnsSession = FALSE;
    BOOL m_bOwnsMachine = FALSE;
};
