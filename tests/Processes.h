// What processes are alive, for tests that must prove no script or program outlived what it belonged to.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <vector>

// The live processes with this executable name (any case); with a nonzero `parentPid`, its children only.
// Without a snapshot nothing could be proved, so that fails the test rather than finding nothing.
inline std::vector<DWORD> ProcessesNamed(const char* exeName, DWORD parentPid = 0) {
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "no process snapshot";
        return found;
    }
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (!lstrcmpiA(entry.szExeFile, exeName) && (!parentPid || entry.th32ParentProcessID == parentPid))
            found.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return found;
}

// Stand-in interpreters that still run, whoever started them.
inline size_t Interpreters() { return ProcessesNamed("php.exe").size(); }

// Stand-in interpreters started by this process that still run.
inline size_t ScriptChildren() { return ProcessesNamed("php.exe", GetCurrentProcessId()).size(); }
