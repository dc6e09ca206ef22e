// The names by which a station's supervisor and a copy of the program are found: the station's from the
// station folder's identity, the same whatever name the folder is reached by; a copy's from its process id.
#pragma once

#include <windows.h>

enum : unsigned { kStationIdSize = 96, kPipeNameSize = 128 };
// Characters of the longest path the system takes, with its terminating zero.
enum : DWORD { kLongPath = 32768 };

// The current folder's station id, "Quorvid.Station.<volume>.<file index>" (or a hash of its long name
// where the file system gives no index).
void CurrentStationId(WCHAR* id);
// The same of the folder `path` names.
void StationIdOf(const WCHAR* path, WCHAR* id);
// "\\.\pipe\<station id>" and "\\.\pipe\Quorvid.Process.<pid>".
void StationPipeName(const WCHAR* stationId, WCHAR* name);
void ProcessPipeName(DWORD pid, WCHAR* name);
// The id of this session's view of a station: "Quorvid.View.<session>.<station id>".
void ViewId(const WCHAR* stationId, WCHAR* id);

// A path's full long name, for comparing folders: FALSE when it cannot be had. `out` holds size characters.
BOOL FullLongPath(const WCHAR* path, WCHAR* out, DWORD size);
// Whether `path` names a file or folder inside `folder` (both full long names), case as file names compare.
bool IsInside(const WCHAR* path, const WCHAR* folder);
