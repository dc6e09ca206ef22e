// A config file in the temp folder with exactly the given bytes, removed again at the end of the test.
#pragma once

#include <windows.h>

#include <stdio.h>
#include <string>

class CTempConfig {
public:
    explicit CTempConfig(const std::string& bytes) {
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        GetTempFileNameA(dir, "cfg", 0, m_path);
        FILE* file = fopen(m_path, "wb");
        fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
    }
    ~CTempConfig() { DeleteFileA(m_path); }
    CTempConfig(const CTempConfig&) = delete;
    CTempConfig& operator=(const CTempConfig&) = delete;

    LPCSTR Path() const { return m_path; }

private:
    char m_path[MAX_PATH] = {};
};
