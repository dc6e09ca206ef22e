// What the tests of the window and of the program share: a station folder with stand-in scripts, and a
// wait that keeps this thread's windows answering.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

// Polls `done`, handling this thread's messages meanwhile, until it holds or `timeoutMs` have passed.
template <typename F> bool WaitFor(F done, DWORD timeoutMs) {
    for (DWORD start = GetTickCount();; Sleep(5)) {
        for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);)
            DispatchMessageA(&msg);
        if (bool ok = done(); ok || GetTickCount() - start >= timeoutMs)
            return ok;
    }
}

// A fresh station folder under the temporary directory, named after this process and `name` (or a
// number); removed with the files the tests write into it.
struct CStationFolder {
    std::wstring m_path;
    explicit CStationFolder(const wchar_t* name = nullptr) {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        static unsigned counter = 0;
        m_path = temp + (L"quorvid-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                         (name ? name : std::to_wstring(++counter)));
        CreateDirectoryW(m_path.c_str(), nullptr);
    }
    ~CStationFolder() {
        for (const wchar_t* name : {L"config.ini", L"sbs1station.php", L"uploader.php", L"helper.php"})
            DeleteFileW((m_path + L"\\" + name).c_str());
        RemoveDirectoryW(m_path.c_str());
    }
    bool Write(const wchar_t* name, const std::string& content) {
        FILE* file = _wfopen((m_path + L"\\" + name).c_str(), L"wb");
        bool written = file && fwrite(content.data(), 1, content.size(), file) == content.size();
        return file && fclose(file) == 0 && written;
    }
    // The two scripts the program runs, in the stand-in interpreter's directive format.
    bool WriteScripts(const std::string& station, const std::string& uploader) {
        return Write(L"sbs1station.php", station) && Write(L"uploader.php", uploader);
    }
};
