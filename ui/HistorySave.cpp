// Saving a console's history to a file the user picks: the only file the program writes, and only when
// asked. UTF-8 with a byte-order mark, so that every Notepad reads it as such, and CRLF line ends.
#include "ui/HistoryWnd.h"

#include "framework/Handle.h"

#include <commdlg.h>
#include <shlobj.h>

namespace {

// Wide text written to a file as UTF-8, a buffer at a time; remembers the first error.
class CUtf8Writer {
public:
    explicit CUtf8Writer(HANDLE file) : m_file(file), m_used(0), m_error(0) {}
    // A UTF-16 unit never gives more than three bytes.
    void Write(const WCHAR* text, unsigned length) {
        if (m_used + 3 * length > sizeof m_buffer)
            Flush();
        m_used += (unsigned)::WideCharToMultiByte(CP_UTF8, 0, text, (int)length, m_buffer + m_used,
                                                  (int)(sizeof m_buffer - m_used), nullptr, nullptr);
    }
    BOOL Flush() {
        DWORD written = 0;
        if (m_error == 0 && m_used > 0 &&
            (!::WriteFile(m_file, m_buffer, m_used, &written, nullptr) || written != m_used))
            m_error = ::GetLastError() ? ::GetLastError() : ERROR_WRITE_FAULT;
        m_used = 0;
        return m_error == 0;
    }
    DWORD Error() const { return m_error; }

private:
    HANDLE m_file;
    char m_buffer[65536];
    unsigned m_used;
    DWORD m_error;
};

} // namespace

// "<script> history 2026-12-07 1530.txt", in the user's Documents folder.
void CHistoryWnd::SuggestSaveName(LPWSTR path, unsigned size) const {
    WCHAR caption[MAX_PATH] = L"";
    ::MultiByteToWideChar(CP_ACP, 0, m_caption, -1, caption, MAX_PATH);
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    WCHAR name[MAX_PATH + 32];
    wsprintfW(name, L"%.200s %04u-%02u-%02u %02u%02u.txt", caption, now.wYear, now.wMonth, now.wDay,
              now.wHour, now.wMinute);
    ::lstrcpynW(path, name, (int)size);
}

void CHistoryWnd::OnSave() {
    WCHAR path[MAX_PATH] = L"", folder[MAX_PATH] = L"";
    SuggestSaveName(path, MAX_PATH);
    ::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, folder);
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = m_hWnd;
    ofn.lpstrFilter = L"Text files (*.txt)\0*.txt\0All files (*.*)\0*.*\0";
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = folder;
    ofn.lpstrDefExt = L"txt";
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!::GetSaveFileNameW(&ofn))
        return;
    DWORD error = 0;
    if (SaveHistory(path, error))
        return;
    WCHAR reason[512] = L"";
    if (!::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                          reason, sizeof reason / sizeof reason[0], nullptr))
        wsprintfW(reason, L"Error %u.", error);
    WCHAR message[MAX_PATH + 640] = L"The history could not be saved to\n";
    ::lstrcatW(message, path);
    ::lstrcatW(message, L"\n\n");
    ::lstrcatW(message, reason);
    WCHAR caption[MAX_PATH] = L"";
    ::MultiByteToWideChar(CP_ACP, 0, m_caption, -1, caption, MAX_PATH);
    ::MessageBoxW(m_hWnd, message, caption, MB_OK | MB_ICONERROR);
}

// Entries that go while the file is written are left out; those that come are not waited for.
BOOL CHistoryWnd::SaveHistory(LPCWSTR path, DWORD& error) {
    WCHAR folder[MAX_PATH] = L".", temp[MAX_PATH] = L"";
    if (LPCWSTR slash = wcsrchr(path, L'\\'))
        ::lstrcpynW(folder, path, (int)(slash - path + 1 < MAX_PATH ? slash - path + 1 : MAX_PATH));
    if (!::GetTempFileNameW(folder, L"qvh", 0, temp)) {
        error = ::GetLastError();
        return FALSE;
    }
    CHandle file(
        ::CreateFileW(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        error = ::GetLastError();
        ::DeleteFileW(temp);
        return FALSE;
    }
    CUtf8Writer out(file.Get());
    out.Write(L"\xFEFF", 1);
    unsigned long long first = 0;
    const unsigned count = m_pConsole->HistoryCount(&first);
    CConsoleHistory::CEntry entry;
    WCHAR row[CConsole::kMaxLine + kMaxRowOverhead + 2];
    for (unsigned long long serial = first; serial < first + count; ++serial) {
        if (!m_pConsole->GetHistoryEntry(serial, entry, m_text, sizeof m_text))
            continue;
        unsigned n = FormatHistoryRow(entry, m_text, true, row);
        row[n++] = L'\r';
        row[n++] = L'\n';
        out.Write(row, n);
    }
    m_bFetched = false; // m_text was borrowed
    BOOL saved = out.Flush() && ::FlushFileBuffers(file.Get());
    error = out.Error() ? out.Error() : ::GetLastError();
    file.Reset(); // closed before it is renamed
    if (saved && !::MoveFileExW(temp, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = ::GetLastError();
        saved = FALSE;
    }
    if (!saved)
        ::DeleteFileW(temp);
    return saved;
}
