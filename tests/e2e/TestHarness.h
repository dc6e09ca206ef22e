// Helpers shared by the tests that run Quorvid's dialog with real scripts: bounded waits, a throw-away
// station folder, and questions about the processes that are left.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <functional>
#include <string>
#include <vector>

namespace qtest {

// Dispatches everything that is waiting in this thread's queue, so that a wait on the user-interface
// thread keeps the dialog alive.
inline void PumpPending() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Polls `done` until it holds or `timeoutMs` have passed. With `pump`, the thread's messages are
// dispatched while it waits (needed when the waiting thread owns the windows being watched).
inline bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs, bool pump = false) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (pump)
            PumpPending();
        if (done())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        if (pump)
            MsgWaitForMultipleObjectsEx(0, nullptr, 5, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        else
            Sleep(5);
    }
}

// The folder the test program lives in, with a trailing backslash: Quorvid.exe and the stand-in
// php.exe are built beside it.
struct ShownWindowQuery {
    const char* className;
    const char* caption;
    HWND found;
};

inline BOOL CALLBACK MatchShownWindow(HWND hWnd, LPARAM lParam) {
    ShownWindowQuery* want = (ShownWindowQuery*)lParam;
    char className[64] = {};
    char caption[128] = {};
    GetClassNameA(hWnd, className, sizeof(className));
    GetWindowTextA(hWnd, caption, sizeof(caption));
    if (IsWindowVisible(hWnd) && (!want->className || lstrcmpA(className, want->className) == 0) &&
        (!want->caption || lstrcmpA(caption, want->caption) == 0)) {
        want->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

// The first shown top-level window with the given class and caption (either may be null for any).
inline HWND FindShownWindow(const char* className, const char* caption) {
    ShownWindowQuery want = {className, caption, nullptr};
    EnumWindows(MatchShownWindow, (LPARAM)&want);
    return want.found;
}

inline std::string ExeDir() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path);
    return dir.substr(0, dir.find_last_of("\\/") + 1);
}

// A fresh folder under the temporary directory, filled with the files a test writes and removed again,
// files and all, when the object goes.
class CStationFolder {
public:
    CStationFolder() {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        static unsigned counter = 0;
        for (;;) {
            m_path = std::string(temp) + "quorvid-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                     std::to_string(++counter);
            if (CreateDirectoryA(m_path.c_str(), nullptr))
                break;
        }
    }
    ~CStationFolder() {
        for (const std::string& name : m_files)
            DeleteFileA(File(name).c_str());
        RemoveDirectoryA(m_path.c_str());
    }
    CStationFolder(const CStationFolder&) = delete;
    CStationFolder& operator=(const CStationFolder&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "\\" + name; }

    bool Write(const std::string& name, const std::string& content) {
        HANDLE file = CreateFileA(File(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        DWORD written = 0;
        BOOL ok = WriteFile(file, content.data(), (DWORD)content.size(), &written, nullptr);
        CloseHandle(file);
        m_files.push_back(name);
        return ok && written == content.size();
    }

    // The two scripts the program runs, in the stand-in interpreter's directive format.
    bool WriteScripts(const std::string& station, const std::string& uploader) {
        return Write("sbs1station.php", station) && Write("uploader.php", uploader);
    }

private:
    std::string m_path;
    std::vector<std::string> m_files;
};

// Makes a folder the current directory for as long as the object lives.
class CCurrentDirectory {
public:
    explicit CCurrentDirectory(const std::string& path) {
        GetCurrentDirectoryA(MAX_PATH, m_previous);
        SetCurrentDirectoryA(path.c_str());
    }
    ~CCurrentDirectory() { SetCurrentDirectoryA(m_previous); }
    CCurrentDirectory(const CCurrentDirectory&) = delete;
    CCurrentDirectory& operator=(const CCurrentDirectory&) = delete;

private:
    char m_previous[MAX_PATH] = {};
};

// Identifiers of the live processes with this executable name (case-insensitive); with a nonzero
// `parentPid`, only the children of that process.
inline std::vector<DWORD> ProcessesNamed(const char* exeName, DWORD parentPid = 0) {
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        const char* base = entry.szExeFile;
        for (const char* p = entry.szExeFile; *p; ++p)
            if (*p == '\\' || *p == '/')
                base = p + 1;
        if (lstrcmpiA(base, exeName) == 0 && (parentPid == 0 || entry.th32ParentProcessID == parentPid))
            found.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return found;
}

} // namespace qtest
