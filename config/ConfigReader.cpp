#include "config/ConfigReader.h"

#include "res/resource.h"

#include <stdio.h>
#include <string.h>

namespace {

const int kLineSize = 1024;
// fgets keeps one byte for the terminating zero, so each piece holds at most 1022 bytes of the file.
const int kPieceSize = kLineSize - 1;

class CFile {
public:
    explicit CFile(LPCSTR name) : m_file(fopen(name, "rb")) {}
    ~CFile() {
        if (m_file)
            fclose(m_file);
    }
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    bool IsOpen() const { return m_file != nullptr; }
    bool ReadPiece(char* buf, int size) { return fgets(buf, size, m_file) != nullptr; }

private:
    FILE* m_file;
};

bool IsNumberSpace(unsigned char c) { return c == ' ' || (c >= 9 && c <= 13); }

// Base 10 into 32 bits: a magnitude too large for 32 bits saturates before a "-" negates it, so
// "-99999999999" becomes 1. The locale plays no part, unlike isspace/strtoul.
DWORD ParseNumber(const char* text) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (IsNumberSpace(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    const unsigned long long kMax = 0xFFFFFFFFull;
    unsigned long long magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (magnitude <= kMax)
            magnitude = magnitude * 10 + (*p - '0');
    }
    DWORD result = magnitude > kMax ? 0xFFFFFFFFu : (DWORD)magnitude;
    return negative ? 0u - result : result;
}

// Only a value whose line ended in a line feed loses its trailing control bytes and blanks; the
// last line of a file without a line break, or a piece of an overlong line, stays as read.
void CutLineEnd(char* value) {
    char* end = strchr(value, '\n');
    if (!end)
        return;
    *end = '\0';
    while (end > value && (unsigned char)end[-1] <= ' ')
        *--end = '\0';
}

void ApplyUdpPort(const char* value, CConfigView& view) {
    int port = (int)ParseNumber(value);
    // The port is appended to whatever the edit shows now, so the order of the lines matters.
    char current[kLineSize];
    view.GetText(IDC_UDP_SERVER, current, sizeof current);
    current[sizeof current - 1] = '\0';
    // A text longer than a line is cut to 1023 bytes, still zero-terminated: only a very long host
    // or many port lines get there, and the program goes on with the cut text.
    char text[kLineSize];
    snprintf(text, sizeof text, "udp://%s:%d", current, port);
    view.SetText(IDC_UDP_SERVER, text);
}

void ApplyInterval(const char* value, CConfigView& view) {
    // Not checked against 5..30: the trackbar keeps itself in range, the label shows the number read.
    int interval = (int)ParseNumber(value);
    view.SetIntervalPos(interval);
    char text[kLineSize];
    snprintf(text, sizeof text, "Update interval [ %ds ]", interval);
    view.SetText(IDC_INTERVAL_LABEL, text);
}

void ApplySetting(const char* key, const char* value, CConfigView& view) {
    if (strcmp(key, "name") == 0)
        view.SetText(IDC_LOGIN, value);
    else if (strcmp(key, "host") == 0)
        view.SetText(IDC_HTTP_SERVER, value);
    else if (strcmp(key, "pass") == 0)
        view.SetText(IDC_PASSWORD, value);
    else if (strcmp(key, "udp_host") == 0)
        view.SetText(IDC_UDP_SERVER, value);
    else if (strcmp(key, "udp_port") == 0)
        ApplyUdpPort(value, view);
    else if (strcmp(key, "interval") == 0)
        ApplyInterval(value, view);
}

} // namespace

bool ReadConfig(LPCSTR fileName, CConfigView& view) {
    char line[kLineSize] = {};
    CFile file(fileName);
    if (!file.IsOpen())
        return false;
    // A zero byte read from the file ends the line as far as strchr and strcmp see it.
    while (file.ReadPiece(line, kPieceSize)) {
        char* equals = strchr(line, '=');
        if (!equals)
            continue;
        *equals = '\0';
        char* value = equals + 1;
        CutLineEnd(value);
        ApplySetting(line, value, view);
    }
    return true;
}
