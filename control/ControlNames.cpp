#include "control/ControlNames.h"

#include "framework/Handle.h"
#include "framework/HeapText.h"

#include <stdio.h>
#include <wchar.h>

namespace {

// FNV-1a: a fixed hash, so that every copy of the program derives the same name from the same folder.
unsigned long long Fnv1a(const void* data, size_t size) {
    unsigned long long hash = 14695981039346656037ull;
    for (const unsigned char* byte = (const unsigned char*)data; size--; ++byte) {
        hash ^= *byte;
        hash *= 1099511628211ull;
    }
    return hash;
}

// The folder's identity, its volume's serial number and its file index: the same whatever name the
// folder is reached by (another drive letter, a mapped drive or its UNC path, a junction, a short name).
// Some network file systems report no index (0); those count as unreadable.
bool ReadFolderIdentity(const WCHAR* path, BY_HANDLE_FILE_INFORMATION& info) {
    CHandle folder(::CreateFileW(path, FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder)
        return false;
    return ::GetFileInformationByHandle(folder.Get(), &info) &&
           (info.nFileIndexHigh != 0 || info.nFileIndexLow != 0);
}

} // namespace

BOOL FullLongPath(const WCHAR* path, WCHAR* out, DWORD size) {
    DWORD length = ::GetFullPathNameW(path, size, out, nullptr);
    if (length == 0 || length >= size)
        return FALSE;
    const DWORD longLength = ::GetLongPathNameW(out, out, size);
    if (longLength > 0 && longLength < size)
        length = longLength;
    // A folder's name ends without a backslash, but a drive's root keeps its own.
    if (length > 3 && out[length - 1] == L'\\')
        out[length - 1] = 0;
    return TRUE;
}

// Characters compared as the file system does, upper-cased one by one without regard to language.
bool IsInside(const WCHAR* path, const WCHAR* folder) {
    const size_t length = wcslen(folder);
    if (length == 0 || wcslen(path) <= length)
        return false;
    for (size_t i = 0; i < length; ++i)
        if (::CharUpperW((LPWSTR)(ULONG_PTR)path[i]) != ::CharUpperW((LPWSTR)(ULONG_PTR)folder[i]))
            return false;
    return folder[length - 1] == L'\\' || path[length] == L'\\';
}

// Where the identity cannot be read, the folder's full long name in UTF-16, upper-cased as file names
// compare: the ANSI name would turn every character outside the code page into the same '?'.
void CurrentStationId(WCHAR* id) { StationIdOf(L".", id); }

void StationIdOf(const WCHAR* path, WCHAR* id) {
    BY_HANDLE_FILE_INFORMATION info;
    if (ReadFolderIdentity(path, info)) {
        swprintf(id, kStationIdSize, L"Quorvid.Station.%08lX.%08lX%08lX", info.dwVolumeSerialNumber,
                 info.nFileIndexHigh, info.nFileIndexLow);
        return;
    }
    CHeapText folder(kLongPath);
    DWORD length = 0;
    if (folder && FullLongPath(path, folder.Get(), kLongPath)) {
        length = (DWORD)wcslen(folder.Get());
        ::CharUpperBuffW(folder.Get(), length);
    }
    const unsigned long long hash = Fnv1a(folder.Get(), length * sizeof(WCHAR));
    swprintf(id, kStationIdSize, L"Quorvid.Station.%08lX%08lX", (unsigned long)(hash >> 32),
             (unsigned long)(hash & 0xFFFFFFFFu));
}

void StationPipeName(const WCHAR* stationId, WCHAR* name) {
    swprintf(name, kPipeNameSize, L"\\\\.\\pipe\\%ls", stationId);
}

void ViewId(const WCHAR* stationId, WCHAR* id) {
    DWORD session = 0;
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
    swprintf(id, kStationIdSize, L"Quorvid.View.%lu.%ls", session, stationId);
}

void ProcessPipeName(DWORD pid, WCHAR* name) {
    swprintf(name, kPipeNameSize, L"\\\\.\\pipe\\Quorvid.Process.%lu", pid);
}
