// Stand-in interpreter. "php -f FILE" plays FILE, one directive a line ('#' lines and blank lines are
// skipped):
//   out TEXT         TEXT and "\n" to standard output
//   raw TEXT         TEXT as it is
//   err TEXT         TEXT and "\n" to standard error
//   lines N TEXT     N lines of TEXT, as fast as possible (%n: 1..N)
//   long N           one line of N letters 'a'..'z' repeating, then "\n"
//   every MS N TEXT  N lines (0: for ever), one every MS ms (%n counter, %t HH:MM:SS, %d YYYY-MM-DD)
//   sleep MS, exit CODE, hang
//   spawn FILE       starts "php -f FILE" beside itself, sharing its output, and goes on at once
//   crash            writes through a null pointer
//   pipes            "pipes N": how many pipe handles it holds besides its standard output and error
//   startup          "startup: title T, position X,Y": what GetStartupInfoA reports ("none": no title)
// TEXT knows \n \r \t \\ \xHH; %% is a literal %. The script's end is exit 0. Output goes straight to
// the handles with WriteFile, so nothing waits in a library buffer when the process is killed.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

void Write(DWORD which, const std::string& text) {
    HANDLE h = GetStdHandle(which);
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(h, p, (DWORD)left, &written, nullptr) || written == 0)
            return;
        p += written;
        left -= written;
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        char e = text[++i];
        if (e == 'n') {
            out += '\n';
        } else if (e == 'r') {
            out += '\r';
        } else if (e == 't') {
            out += '\t';
        } else if (e == '\\') {
            out += '\\';
        } else if (e == 'x' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
                   HexDigit(text[i + 2]) >= 0) {
            out += (char)(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += '\\';
            out += e;
        }
    }
    return out;
}

// %n the counter (when counting), %t and %d the local time and date (when clocked), %% a percent.
std::string Expand(const std::string& text, unsigned long counter, bool counting, bool clocked) {
    std::string out;
    char field[32];
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        char f = i + 1 < text.size() ? text[i + 1] : 0;
        if (c != '%' || f == 0) {
            out += c;
            continue;
        }
        SYSTEMTIME now;
        GetLocalTime(&now);
        if (f == '%') {
            out += '%';
        } else if (f == 'n' && counting) {
            snprintf(field, sizeof field, "%lu", counter);
            out += field;
        } else if (f == 't' && clocked) {
            snprintf(field, sizeof field, "%02u:%02u:%02u", now.wHour, now.wMinute, now.wSecond);
            out += field;
        } else if (f == 'd' && clocked) {
            snprintf(field, sizeof field, "%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
            out += field;
        } else {
            out += c;
            continue;
        }
        ++i;
    }
    return out;
}

// Splits off the first word of `rest`; `rest` keeps what follows the single blank after it.
std::string NextWord(std::string& rest) {
    size_t blank = rest.find(' ');
    std::string word = rest.substr(0, blank);
    rest = blank == std::string::npos ? std::string() : rest.substr(blank + 1);
    return word;
}

void WriteLines(unsigned long count, const std::string& text) {
    std::string batch;
    for (unsigned long n = 1; n <= count; ++n) {
        batch += Expand(text, n, true, false);
        batch += '\n';
        if (batch.size() >= 16384) {
            Write(STD_OUTPUT_HANDLE, batch);
            batch.clear();
        }
    }
    Write(STD_OUTPUT_HANDLE, batch);
}

void WriteLong(unsigned long length) {
    std::string line;
    for (unsigned long i = 0; i < length; ++i)
        line += (char)('a' + i % 26);
    Write(STD_OUTPUT_HANDLE, line + "\n");
}

void WriteEvery(DWORD ms, unsigned long count, const std::string& text) {
    for (unsigned long n = 1; count == 0 || n <= count; ++n) {
        Write(STD_OUTPUT_HANDLE, Expand(text, n, true, true) + "\n");
        Sleep(ms);
    }
}

// The new interpreter is found as "php" was: beside this one.
void Spawn(const std::string& file) {
    std::string command = "php -f " + file;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi = {};
    if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
}

// Handle values are multiples of four; an inherited handle keeps its value, so probing finds every one.
unsigned CountOtherPipes() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE), err = GetStdHandle(STD_ERROR_HANDLE);
    unsigned pipes = 0;
    for (UINT_PTR value = 4; value < 0x10000; value += 4) {
        HANDLE h = (HANDLE)value;
        if (h != out && h != err && GetFileType(h) == FILE_TYPE_PIPE)
            ++pipes;
    }
    return pipes;
}

void Play(const std::string& line) {
    std::string rest = line;
    std::string directive = NextWord(rest);
    if (directive == "out") {
        Write(STD_OUTPUT_HANDLE, Expand(Unescape(rest), 0, false, false) + "\n");
    } else if (directive == "raw") {
        Write(STD_OUTPUT_HANDLE, Unescape(rest));
    } else if (directive == "err") {
        Write(STD_ERROR_HANDLE, Unescape(rest) + "\n");
    } else if (directive == "lines") {
        unsigned long count = strtoul(NextWord(rest).c_str(), nullptr, 10);
        WriteLines(count, Unescape(rest));
    } else if (directive == "long") {
        WriteLong(strtoul(rest.c_str(), nullptr, 10));
    } else if (directive == "every") {
        DWORD ms = strtoul(NextWord(rest).c_str(), nullptr, 10);
        unsigned long count = strtoul(NextWord(rest).c_str(), nullptr, 10);
        WriteEvery(ms, count, Unescape(rest));
    } else if (directive == "sleep") {
        Sleep(strtoul(rest.c_str(), nullptr, 10));
    } else if (directive == "exit") {
        ExitProcess((UINT)strtoul(rest.c_str(), nullptr, 10));
    } else if (directive == "hang") {
        Sleep(INFINITE);
    } else if (directive == "spawn") {
        Spawn(rest);
    } else if (directive == "crash") {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
    } else if (directive == "startup") {
        STARTUPINFOA si = {};
        GetStartupInfoA(&si);
        Write(STD_OUTPUT_HANDLE, std::string("startup: title ") + (si.lpTitle ? si.lpTitle : "none") +
                                     ", position " + std::to_string(si.dwX) + "," + std::to_string(si.dwY) +
                                     "\n");
    } else if (directive == "pipes") {
        Write(STD_OUTPUT_HANDLE, "pipes " + std::to_string(CountOtherPipes()) + "\n");
    }
}

bool ReadScript(const char* path, std::vector<std::string>& lines) {
    FILE* file = fopen(path, "rb");
    if (file == nullptr)
        return false;
    std::string text;
    char block[4096];
    size_t n;
    while ((n = fread(block, 1, sizeof block, file)) > 0)
        text.append(block, n);
    fclose(file);
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        begin = end + 1;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const char* path = nullptr;
    for (int i = 1; i + 1 < argc; ++i) {
        if (strcmp(argv[i], "-f") == 0)
            path = argv[i + 1];
    }
    if (path == nullptr) {
        Write(STD_OUTPUT_HANDLE, "Usage: php -f FILE\n");
        return 1;
    }
    std::vector<std::string> lines;
    if (!ReadScript(path, lines)) {
        Write(STD_OUTPUT_HANDLE, std::string("Could not open input file: ") + path + "\n");
        return 1;
    }
    for (const std::string& line : lines) {
        if (line.empty() || line[0] == '#')
            continue;
        Play(line);
    }
    return 0;
}
