// --service: the station's service as the system runs it. The system's thread registers the control
// handler first, reports its start with a wait hint, enters the station folder and runs the station
// (CServiceStation) until the system stops it or the machine shuts down; then the scripts stop within
// Stop's bound, the pending stop reported with checkpoints, and the service reports itself stopped.
#pragma once

#include <windows.h>

enum : DWORD {
    // The service's own exit code, as the system reports it (ERROR_SERVICE_SPECIFIC_ERROR): the station
    // folder is supervised by a copy of Quorvid.
    kServiceHeldCode = 3,
};

// Runs the service of the station folder `station` (the current folder where null) for the system, and
// returns once it has stopped: 0, or ERROR_FAILED_SERVICE_CONTROLLER_CONNECT where the process was not
// started by the service control manager.
DWORD RunStationService(const WCHAR* station);
