// What the program says on a command line. It is a GUI program with no console of its own: it writes to the
// standard output its caller gave it (a pipe, a file: "Quorvid.exe --status > file"), else to the console
// of the process that started it, else nowhere.
#pragma once

#include "framework/Handle.h"

#include <windows.h>

class COutput {
public:
    COutput() = default;
    COutput(const COutput&) = delete;
    COutput& operator=(const COutput&) = delete;

    // Writes the text and a line end. FALSE when there is nowhere to write. A console is given the text as
    // it is, in UTF-16; a pipe or a file the bytes of the ANSI code page, where a character outside it is
    // '?'.
    BOOL Line(LPCWSTR text);
    BOOL Line(LPCSTR text);

private:
    enum : unsigned { kPiece = 1024 };
    HANDLE Target();

    bool m_bLooked = false;
    HANDLE m_hOut = nullptr;
    CHandle m_hConsoleOut; // CONOUT$ of the parent's console, opened here
};
