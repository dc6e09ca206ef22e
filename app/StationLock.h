// CStationLock: one copy of the program per station folder. Two copies in one folder would run every
// script twice, and two station scripts would fight over one receiver.
#pragma once

#include <windows.h>

class CStationLock {
public:
    CStationLock() = default;
    ~CStationLock();
    CStationLock(const CStationLock&) = delete;
    CStationLock& operator=(const CStationLock&) = delete;

    // Takes the lock of the current folder for this session. FALSE when another copy holds it.
    BOOL Take();
    // Asks the copy that holds the lock to show its window. FALSE when that window cannot be found.
    BOOL ShowHolder() const;
    // The name of the property the holder sets on its main window while it has one: a caption can be
    // any window's, this name belongs to this program in this folder.
    LPCSTR WindowMark() const { return m_szMark; }

private:
    HANDLE m_hMutex = nullptr;
    char m_szMark[48] = {};
};
