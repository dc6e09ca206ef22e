#include "app/Output.h"

#include <stdio.h>

// A GUI program started from a console without redirection gets no standard output: it borrows its
// parent's console. That console's prompt does not wait for a GUI program (cmd.exe's "start /wait" does),
// so the lines may come after it.
HANDLE COutput::Target() {
    if (m_bLooked)
        return m_hOut;
    m_bLooked = true;
    m_hOut = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (m_hOut != nullptr && m_hOut != INVALID_HANDLE_VALUE && ::GetFileType(m_hOut) != FILE_TYPE_UNKNOWN)
        return m_hOut;
    m_hOut = nullptr;
    if (!::AttachConsole(ATTACH_PARENT_PROCESS))
        return nullptr;
    m_hConsoleOut.Reset(::CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
    m_hOut = m_hConsoleOut ? m_hConsoleOut.Get() : nullptr;
    return m_hOut;
}

// A console shows text in its own code page: it is given the text as the program means it, in UTF-16.
// A pipe or a file gets the bytes of the program's code page.
BOOL COutput::Line(LPCSTR text) {
    const HANDLE out = Target();
    if (out == nullptr)
        return FALSE;
    char line[2048];
    int length = snprintf(line, sizeof line - 2, "%s", text);
    length = length < 0 ? 0 : length > (int)sizeof line - 3 ? (int)sizeof line - 3 : length;
    line[length++] = '\r';
    line[length++] = '\n';
    DWORD mode = 0, written = 0;
    if (!::GetConsoleMode(out, &mode))
        return ::WriteFile(out, line, length, &written, nullptr);
    WCHAR wide[2048];
    const int wideLength = ::MultiByteToWideChar(CP_ACP, 0, line, length, wide, 2048);
    return ::WriteConsoleW(out, wide, wideLength, &written, nullptr);
}
