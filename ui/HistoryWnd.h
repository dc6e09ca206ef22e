// CHistoryWnd: the history window of one console, modeless and resizable: a status line (the current run,
// the runs that ended with an error, the last end) above a virtual list of the console's history, one row
// per line or run record, with its time. It follows the newest row while the view is at the bottom and
// nothing is selected; otherwise it stays where it is. Each row keeps its entry, by serial number, as the
// oldest go.
//
// Each row is decoded as it is drawn, copied or saved (console/ScriptText.h), from the bytes the history
// keeps. The console's worker never waits for it: the owner passes on the console's notice of a change
// (ConsoleChanged), and it reads the history under the console's lock at most every kRedrawMs for as long
// as changes go on. Its timer runs only then: the first redraw that finds nothing new ends it, and asks
// the console for a notice of the next change.
#pragma once

#include "console/Console.h"
#include "console/ConsoleHistory.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"

// Posted to the window's owner when the window has closed.
#define WM_HISTORY_CLOSED (WM_APP + 4)

class CHistoryWnd : public CDialog {
public:
    enum : UINT {
        kRedrawMs = 33,
        // How many rows of entries that went the list keeps above the others at most.
        kStaleRows = 8192,
        kTimerId = 1,
    };

    CHistoryWnd();
    ~CHistoryWnd() override;

    // The console whose history is shown, and the caption: "<script> history". Neither is owned.
    void SetConsole(CConsole* pConsole, LPCSTR scriptName, int cascade);
    // Opens the window, owned by pOwner, or brings it to the front when it is open already.
    BOOL Open(CWnd* pOwner);
    // For the console's WM_CONSOLE_HISTORY: shown now, or with the next redraw within kRedrawMs.
    void ConsoleChanged();
    // Ctrl+C and the context menu's Copy: the selected rows as "hh:mm:ss.mmm text" lines with CRLF, as
    // CF_UNICODETEXT decoded as the rows show them. FALSE when nothing was selected or the clipboard
    // refused, which the status line then says.
    BOOL CopySelection();
    void SelectAll();
    void OnCopy();
    // Ctrl+S and the context menu's Save...: asks for a file and writes the whole history to it.
    void OnSave();
    // Writes every entry held as a "yyyy-mm-dd hh:mm:ss.mmm text" line, in UTF-8 with a byte-order mark
    // and CRLF, first under a temporary name beside `path`, which then takes its place: a write that fails
    // leaves no file behind. FALSE with the system's error code in `error`.
    BOOL SaveHistory(LPCWSTR path, DWORD& error);

    CListCtrl m_list;
    CStatic m_status;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    // Enter does nothing; Escape and the close box destroy the window (EndDialog would only hide it).
    void OnOK() override {}
    void OnCancel() override;
    void OnSize(UINT nType, int cx, int cy);
    LRESULT OnNotify(WPARAM wParam, LPARAM lParam);
    LRESULT OnContextMenu(WPARAM wParam, LPARAM lParam);
    void OnTimer(UINT_PTR nIDEvent);
    LRESULT OnGetMinMaxInfo(WPARAM wParam, LPARAM lParam);
    LRESULT OnFitTextColumn(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    void Refresh();
    void KeepRedrawing(bool on);
    void ShiftRows(unsigned rows);
    void ShowStatus();
    void Place();
    void Layout(int cx, int cy);
    // The entry of a row, looked up once for its colour and both its columns. FALSE for a row whose entry
    // has gone since the last refresh.
    BOOL Fetch(int item);
    void GetDispInfo(NMLVDISPINFOW* info);
    void GetInfoTip(NMLVGETINFOTIPW* tip);
    void FitTextColumn();
    // Says in the status line why a command failed; an empty note lets the status line say the usual.
    void Note(LPCWSTR text);
    void SuggestSaveName(LPWSTR path, unsigned size) const;
    LRESULT CustomDraw(NMLVCUSTOMDRAW* draw);
    void OnListKey(WORD key);

    CConsole* m_pConsole;
    char m_caption[MAX_PATH];
    int m_cascade;
    // Row 0 shows the entry with serial number m_first; the list has m_count rows, the first m_stale of
    // them of entries that went.
    unsigned long long m_first;
    unsigned m_count;
    unsigned m_stale;
    unsigned long long m_changes;
    bool m_bTimer;
    DWORD m_lastRefresh;
    // Layout measures, in pixels, from the template's dialog units.
    int m_margin;
    int m_listTop;
    int m_timeWidth;
    POINT m_minSize;

    bool m_bFetched;
    BOOL m_bHeld;
    unsigned long long m_fetchedSerial;
    CConsoleHistory::CEntry m_entry;
    char m_text[CConsole::kMaxLine + 1];
    WCHAR m_shown[CConsole::kMaxLine + 1]; // m_text as it is shown
    WCHAR m_note[128];
};

// One entry as copied and saved: "hh:mm:ss.mmm text", with "yyyy-mm-dd " in front when `withDate`, its
// text decoded as the list shows it. `out` has room for kMaxRowOverhead characters more than the entry
// has bytes. Gives the characters written, zero-terminated.
enum : unsigned { kMaxRowOverhead = 32 };
unsigned FormatHistoryRow(const CConsoleHistory::CEntry& entry, const char* text, bool withDate, WCHAR* out);
