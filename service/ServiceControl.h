// The station services: one Windows service per station folder, named after the folder's station id, that
// runs "Quorvid.exe" --service --station=DIR. What is asked of them here needs no more than a user's right
// to read a service's state.
#pragma once

#include "control/ControlNames.h"

#include <windows.h>

enum : unsigned { kServiceNameSize = kStationIdSize };

// The service name of the station with this id (CurrentStationId). `name` holds kServiceNameSize characters.
void StationServiceName(const WCHAR* stationId, WCHAR* name);
// Whether a service name is a station's.
bool IsStationServiceName(const WCHAR* name);
// FALSE when no service is installed for the station; else TRUE, with `*pid` its process while it runs,
// else 0.
BOOL FindStationService(const WCHAR* stationId, DWORD* pid);

// An installed station service, as the system describes it.
struct CStationService {
    const WCHAR* name;
    DWORD pid;            // its process while it runs, else 0
    const WCHAR* program; // the program its command line starts; "" where it cannot be read
    const WCHAR* station; // its station folder (--station); "" where its command line names none
};
// Calls `each(service, context)` for every station service installed. FALSE when the system's list of
// services could not be read.
BOOL EnumStationServices(void (*each)(const CStationService& service, void* context), void* context);
template <typename F> BOOL ForEachStationService(F each) {
    return EnumStationServices(
        [](const CStationService& service, void* context) { (*static_cast<F*>(context))(service); }, &each);
}
