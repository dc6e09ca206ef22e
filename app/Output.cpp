#include "app/Output.h"

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

BOOL COutput::Line(LPCWSTR text) {
    const HANDLE out = Target();
    if (out == nullptr)
        return FALSE;
    DWORD mode = 0, written = 0;
    const bool console = ::GetConsoleMode(out, &mode) != FALSE;
    BOOL ok = TRUE;
    // A piece at a time, so that a path of any length goes out whole.
    for (const WCHAR* piece = text;; piece += kPiece) {
        const int length = ::lstrlenW(piece) < (int)kPiece ? ::lstrlenW(piece) : (int)kPiece;
        WCHAR wide[kPiece + 2];
        ::CopyMemory(wide, piece, length * sizeof(WCHAR));
        const bool last = length < (int)kPiece || piece[kPiece] == 0;
        int n = length;
        if (last)
            wide[n++] = L'\r', wide[n++] = L'\n';
        if (console) {
            ok &= ::WriteConsoleW(out, wide, n, &written, nullptr);
        } else {
            char bytes[2 * (kPiece + 2)];
            const int size = ::WideCharToMultiByte(CP_ACP, 0, wide, n, bytes, sizeof bytes, nullptr, nullptr);
            ok &= ::WriteFile(out, bytes, size, &written, nullptr);
        }
        if (last)
            return ok;
    }
}

BOOL COutput::Line(LPCSTR text) {
    WCHAR wide[2048];
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 2048);
    wide[2047] = 0;
    return Line(wide);
}
