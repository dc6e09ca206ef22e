// --install-service and --remove-service: the station service of the current folder registered, set up and
// started, or stopped and removed. An administrator's work: the system refuses anyone else.
#pragma once

#include <windows.h>

enum : int {
    kSetupDone = 0,
    kSetupNoService = 1,  // --remove-service: no service runs this folder
    kSetupNotStopped = 2, // --remove-service: removed, but it had not stopped within its bound
    kSetupHeld = 3,       // a copy of Quorvid supervises the folder
    kSetupDenied = 5,     // no administrator's rights, or a folder others may change (without --force)
    kSetupFailed = 6,     // the system could not register or start it: its reason is said
};

// Each gives the exit code, and writes the one line that says what it did into `said` (size characters).
// With `force`, a folder that others may change is taken all the same.
int InstallStationService(bool force, WCHAR* said, DWORD size);
int RemoveStationService(WCHAR* said, DWORD size);
