// The station's Windows service, as the system knows it.
#pragma once

#include <windows.h>

// The service name of the station whose id is given.
void StationServiceName(const WCHAR* stationId, WCHAR* name);
// FALSE where no service is installed for the station; *pid its process while it runs, else 0.
BOOL FindStationService(const WCHAR* stationId, DWORD* pid);
