// Who may change a station folder, and the access its service is given there. A service runs the folder's
// scripts, and the first php.exe it finds there, with the rights of its own account: anyone who may change
// the folder may run what they like with those rights.
#pragma once

#include <windows.h>

// The SID of the virtual account NT SERVICE\<name>, the service's SID: S-1-5-80 and the SHA-1 hash of
// the name in capitals, as the system derives it. `sid` holds SECURITY_MAX_SID_SIZE bytes.
BOOL ServiceSid(const WCHAR* serviceName, void* sid);

// Whether anyone but Administrators, SYSTEM, TrustedInstaller and `trusted` may change what the security
// descriptor guards, or what it hands down to the files and folders made in it: its owner (who may always
// change its access), and each access it allows that writes, adds, deletes or changes the access. A
// descriptor without an access list allows everyone everything.
bool OthersMayWrite(PSECURITY_DESCRIPTOR security, PSID trusted);
// The same of a folder's own descriptor. FALSE when it cannot be read (the system's error is the last one).
BOOL FolderOthersMayWrite(const WCHAR* folder, PSID trusted, bool* others);

// Gives `sid` the right to change the folder's files (modify, handed down to its files and folders); or
// takes away the access given to it. 0, or the system's error.
DWORD GrantFolder(const WCHAR* folder, PSID sid);
DWORD RevokeFolder(const WCHAR* folder, PSID sid);
