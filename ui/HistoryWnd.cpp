#include "ui/HistoryWnd.h"

#include "console/ScriptText.h"
#include "framework/App.h"
#include "res/resource.h"

#include <windowsx.h>

#include <string.h>
#include <wchar.h>

namespace {

// Rows going to the clipboard: each with CRLF after it.
const unsigned kCopiedRowOverhead = kMaxRowOverhead + 2;
// Another program may hold the clipboard for a moment: it is tried for about 100 ms.
const int kClipboardTries = 10;
const DWORD kClipboardPauseMs = 10;
// What a fitted text column has beside its longest text: the label's margins.
const int kFitPadding = 16;
// Posted after a double-click on the header's divider: the list's own handling has run by then.
const UINT WM_FIT_TEXT_COLUMN = WM_APP + 1;

// "hh:mm:ss.mmm", or "yyyy-mm-dd hh:mm:ss.mmm".
unsigned FormatTime(const SYSTEMTIME& t, bool withDate, WCHAR* out) {
    const int n = withDate ? wsprintfW(out, L"%04u-%02u-%02u ", t.wYear, t.wMonth, t.wDay) : 0;
    return (unsigned)(n + wsprintfW(out + n, L"%02u:%02u:%02u.%03u", t.wHour, t.wMinute, t.wSecond,
                                    t.wMilliseconds));
}

} // namespace

unsigned FormatHistoryRow(const CConsoleHistory::CEntry& entry, const char* text, bool withDate, WCHAR* out) {
    unsigned n = FormatTime(entry.time, withDate, out);
    out[n++] = L' ';
    return n + DecodeScriptText(text, entry.length, out + n);
}

CHistoryWnd::CHistoryWnd()
    : CDialog(IDD_HISTORY), m_pConsole(nullptr), m_caption(), m_cascade(0), m_first(0), m_count(0),
      m_stale(0), m_changes(0), m_bTimer(false), m_lastRefresh(0), m_margin(0), m_listTop(0), m_timeWidth(0),
      m_minSize(), m_bFetched(false), m_bHeld(FALSE), m_fetchedSerial(0), m_entry(), m_text(), m_shown(),
      m_note() {}

// The window reads this object to its end: it must not outlive it.
CHistoryWnd::~CHistoryWnd() {
    if (m_hWnd != nullptr)
        DestroyWindow();
}

void CHistoryWnd::SetConsole(CConsole* pConsole, LPCSTR scriptName, int cascade) {
    m_pConsole = pConsole;
    m_cascade = cascade;
    wsprintfA(m_caption, "%.200s history", scriptName);
}

void CHistoryWnd::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_HISTORY_LIST, m_list);
    DDX_Control(pDX, IDC_HISTORY_STATUS, m_status);
}

BEGIN_MESSAGE_MAP(CHistoryWnd, CDialog)
ON_WM_SIZE()
ON_WM_NOTIFY()
ON_WM_CONTEXTMENU()
ON_WM_TIMER()
ON_WM_GETMINMAXINFO()
ON_COMMAND(ID_HISTORY_COPY, &CHistoryWnd::OnCopy)
ON_COMMAND(ID_HISTORY_SELECT_ALL, &CHistoryWnd::SelectAll)
ON_COMMAND(ID_HISTORY_SAVE, &CHistoryWnd::OnSave)
ON_MESSAGE(WM_FIT_TEXT_COLUMN, &CHistoryWnd::OnFitTextColumn)
END_MESSAGE_MAP()

BOOL CHistoryWnd::Open(CWnd* pOwner) {
    if (m_pConsole == nullptr || (m_hWnd == nullptr && !Create(pOwner)))
        return FALSE;
    ShowWindow(IsIconic() ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow();
    return TRUE;
}

BOOL CHistoryWnd::OnInitDialog() {
    CDialog::OnInitDialog();
    SetWindowText(m_caption);

    RECT units = {7, 22, 160, 90};
    ::MapDialogRect(m_hWnd, &units);
    m_margin = units.left;
    m_listTop = units.top;
    m_minSize.x = units.right;
    m_minSize.y = units.bottom;
    // The info tip shows a row's whole text where its column cuts it.
    m_list.SetExtendedStyle(m_list.GetExtendedStyle() | LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP |
                            LVS_EX_INFOTIP);
    m_list.SetUnicodeFormat(TRUE);
    m_timeWidth = (int)m_list.SendMessage(LVM_GETSTRINGWIDTHA, 0, (LPARAM) "00:00:00.000") + 2 * m_margin;
    m_list.InsertColumn(0, "Time", LVCFMT_LEFT, m_timeWidth);
    m_list.InsertColumn(1, "Text", LVCFMT_LEFT, m_timeWidth);

    SetIcon(AfxGetApp()->LoadIcon(IDI_APP), TRUE);
    SetIcon(AfxGetApp()->LoadIcon(IDI_APP), FALSE);
    Place();
    RECT client;
    GetClientRect(&client);
    Layout(client.right, client.bottom);

    m_first = 0;
    m_count = 0;
    m_stale = 0;
    m_bTimer = false;
    m_note[0] = 0;
    // Anything but the console's count: the first refresh reads the whole history.
    m_changes = m_pConsole->HistoryChanges() - 1;
    Refresh();
    return TRUE;
}

// Beside the main window where the screen has room, else over it; the second console's window a caption
// lower, so that the two do not hide each other.
void CHistoryWnd::Place() {
    RECT frame, owner;
    ::GetWindowRect(m_hWnd, &frame);
    HWND hOwner = ::GetWindow(m_hWnd, GW_OWNER);
    const int step = m_cascade * ::GetSystemMetrics(SM_CYCAPTION);
    POINT at = {frame.left + step, frame.top + step};
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (hOwner != nullptr && ::GetWindowRect(hOwner, &owner) &&
        ::GetMonitorInfoA(::MonitorFromWindow(hOwner, MONITOR_DEFAULTTONEAREST), &monitor) &&
        owner.right + (frame.right - frame.left) <= monitor.rcWork.right)
        at = POINT{owner.right, owner.top + step};
    ::SetWindowPos(m_hWnd, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CHistoryWnd::OnCancel() {
    const HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    DestroyWindow();
    ::PostMessageA(owner, WM_HISTORY_CLOSED, 0, 0);
}

void CHistoryWnd::OnSize(UINT nType, int cx, int cy) {
    if (nType != SIZE_MINIMIZED)
        Layout(cx, cy);
}

// The status line across the top, the list below it to the edges; the text column takes the list's width
// but for the time column and a vertical scroll bar, so that only a longer line needs the horizontal one.
void CHistoryWnd::Layout(int cx, int cy) {
    if (m_list.m_hWnd == nullptr)
        return;
    const int width = cx - 2 * m_margin;
    ::MoveWindow(m_status, m_margin, m_margin / 2, width, m_listTop - m_margin, TRUE);
    ::MoveWindow(m_list, m_margin, m_listTop, width, cy - m_listTop - m_margin, TRUE);
    const int textWidth = width - m_timeWidth - ::GetSystemMetrics(SM_CXVSCROLL) - 4;
    m_list.SetColumnWidth(1, textWidth > m_timeWidth ? textWidth : m_timeWidth);
}

LRESULT CHistoryWnd::OnGetMinMaxInfo(WPARAM, LPARAM lParam) {
    MINMAXINFO* info = reinterpret_cast<MINMAXINFO*>(lParam);
    info->ptMinTrackSize = m_minSize;
    return 0;
}

// A closed window leaves the notice unanswered, so the console posts no more until one opens: its first
// redraw reads everything, and its first quiet one answers.
void CHistoryWnd::ConsoleChanged() {
    if (m_hWnd == nullptr)
        return;
    if (::GetTickCount() - m_lastRefresh >= kRedrawMs)
        Refresh();
    else
        KeepRedrawing(true);
}

void CHistoryWnd::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent == kTimerId)
        Refresh();
}

void CHistoryWnd::KeepRedrawing(bool on) {
    if (on && !m_bTimer)
        m_bTimer = ::SetTimer(m_hWnd, kTimerId, kRedrawMs, nullptr) != 0;
    else if (!on && m_bTimer)
        m_bTimer = !::KillTimer(m_hWnd, kTimerId);
}

// Reads what changed: the rows, and the status line. Each row stays on its entry: the newest are added
// below, and the rows of entries that went stay above, empty, so that a view that follows the newest row
// only scrolls (the list draws the new rows alone) and a view that does not stays where it is. Only once
// there are kStaleRows of them, or the view shows one, do the rows, the selection and the view move up by
// as many: a list view keeps its selection by row, and moving it costs a message per selected row.
void CHistoryWnd::Refresh() {
    m_lastRefresh = ::GetTickCount();
    const unsigned long long changes = m_pConsole->HistoryChanges();
    // Nothing new: the redraws end, unless a change has come since the count was read.
    if (changes == m_changes) {
        KeepRedrawing(!m_pConsole->HistorySeen(changes));
        return;
    }
    KeepRedrawing(true);
    m_changes = changes;
    m_bFetched = false;

    unsigned long long first = 0;
    const unsigned held = m_pConsole->HistoryCount(&first);
    const unsigned before = m_count;
    const int top = m_list.GetTopIndex();
    const bool follow = m_list.GetSelectedCount() == 0 && top + m_list.GetCountPerPage() >= (int)before;
    // A history that began again (never while this window shows it) starts the rows again too.
    const unsigned long long stale = first >= m_first ? first - m_first : (unsigned long long)kStaleRows;
    const int staleBefore = (int)m_stale;
    const bool rebase = stale >= kStaleRows || (stale > 0 && !follow && (unsigned long long)top < stale);
    if (rebase) {
        ShiftRows(stale < before ? (unsigned)stale : before);
        m_first = first;
    }
    m_stale = (unsigned)(first - m_first);
    m_count = (unsigned)(first + held - m_first);
    m_list.SetItemCountEx((int)m_count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    if (follow && m_count > 0)
        m_list.EnsureVisible((int)m_count - 1, FALSE);
    if (rebase)
        m_list.Invalidate(m_count < before);
    else if (m_count > 0) {
        // The rows of the entries that went since, and the newest, which a record counted up in place
        // changes; the list draws those of them that are in view.
        if ((int)m_stale > staleBefore)
            m_list.SendMessage(LVM_REDRAWITEMS, staleBefore, (int)m_stale - 1);
        m_list.SendMessage(LVM_REDRAWITEMS, (int)m_count - 1, (int)m_count - 1);
    }
    ShowStatus();
}

// The selection, its anchor, the focus and the view move up with their entries; rows whose entries went
// lose their selection. A selection of one run of rows (Ctrl+A's, a Shift+click's) moves with a message
// per row that changes; any other with three per selected row.
void CHistoryWnd::ShiftRows(unsigned rows) {
    const int by = (int)rows;
    const int top = m_list.GetTopIndex();
    const int focus = m_list.GetNextItem(-1, LVNI_FOCUSED);
    const int first = m_list.GetNextItem(-1, LVNI_SELECTED);
    const int last = first + (int)m_list.GetSelectedCount() - 1;
    if (first >= 0 && m_list.GetNextItem(last - 1, LVNI_SELECTED) == last &&
        m_list.GetNextItem(last, LVNI_SELECTED) < 0) {
        for (int item = first - by < 0 ? 0 : first - by; item < first && item <= last - by; ++item)
            m_list.SetItemState(item, LVIS_SELECTED, LVIS_SELECTED);
        for (int item = last - by + 1 > first ? last - by + 1 : first; item <= last; ++item)
            m_list.SetItemState(item, 0, LVIS_SELECTED);
    } else {
        for (int item = -1; (item = m_list.GetNextItem(item, LVNI_SELECTED)) >= 0;) {
            m_list.SetItemState(item, 0, LVIS_SELECTED);
            if (item >= by)
                m_list.SetItemState(item - by, LVIS_SELECTED, LVIS_SELECTED);
        }
    }
    if (focus >= 0)
        m_list.SetItemState(focus >= by ? focus - by : 0, LVIS_FOCUSED, LVIS_FOCUSED);
    const int mark = (int)m_list.SendMessage(LVM_GETSELECTIONMARK);
    if (mark >= 0)
        m_list.SendMessage(LVM_SETSELECTIONMARK, 0, mark >= by ? mark - by : 0);
    RECT row;
    if (m_list.GetItemRect(top, &row, LVIR_BOUNDS))
        m_list.Scroll(0, ((top > by ? top - by : 0) - top) * (row.bottom - row.top));
}

// Each of its two lines is decoded on its own, as the rows are: the last end's text can hold the system's
// message. A note of a failed command takes the first line's place.
void CHistoryWnd::ShowStatus() {
    CConsoleHistory::CStatus status;
    m_pConsole->GetHistoryStatus(status);
    char line[2][320] = {}, when[32];
    int length;
    if (status.run == 0) {
        length = wsprintfA(line[0], "Not started yet.");
    } else if (status.running) {
        CConsoleHistory::FormatWhen(status.since, false, when, sizeof when);
        length = wsprintfA(line[0], "Run %u running since %s.", status.run, when);
    } else {
        length = wsprintfA(line[0], "Not running; last run: %u.", status.run);
    }
    wsprintfA(line[0] + length, "    Runs that ended with an error: %u.", status.failedRuns);
    if (status.ended) {
        CConsoleHistory::FormatWhen(status.lastEnd, false, when, sizeof when);
        status.lastHow[sizeof status.lastHow - 1] = 0;
        wsprintfA(line[1], "Last end at %s: %s.", when, status.lastHow);
    }
    WCHAR text[2 * sizeof line[0] + 2];
    unsigned n = m_note[0] ? (unsigned)wsprintfW(text, L"%s", m_note)
                           : DecodeScriptText(line[0], (unsigned)lstrlenA(line[0]), text);
    if (line[1][0]) {
        text[n++] = L'\r';
        text[n++] = L'\n';
        DecodeScriptText(line[1], (unsigned)lstrlenA(line[1]), text + n);
    }
    WCHAR shown[sizeof text / sizeof text[0]] = L"";
    m_status.GetWindowText(shown, sizeof shown / sizeof shown[0]);
    if (wcscmp(shown, text) != 0)
        m_status.SetWindowText(text);
}

void CHistoryWnd::Note(LPCWSTR text) {
    lstrcpynW(m_note, text, sizeof m_note / sizeof m_note[0]);
    ShowStatus();
}

BOOL CHistoryWnd::Fetch(int item) {
    const unsigned long long serial = m_first + (unsigned)item;
    if (m_bFetched && serial == m_fetchedSerial)
        return m_bHeld;
    m_bFetched = true;
    m_fetchedSerial = serial;
    m_bHeld = item >= 0 && (unsigned)item < m_count &&
              m_pConsole->GetHistoryEntry(serial, m_entry, m_text, sizeof m_text);
    if (!m_bHeld)
        m_entry.length = 0;
    DecodeScriptText(m_text, m_entry.length, m_shown);
    return m_bHeld;
}

void CHistoryWnd::GetDispInfo(NMLVDISPINFOW* info) {
    LVITEMW& item = info->item;
    if (!(item.mask & LVIF_TEXT) || item.pszText == nullptr || item.cchTextMax <= 0)
        return;
    WCHAR time[kMaxRowOverhead] = L"";
    if (Fetch(item.iItem) && item.iSubItem == 0)
        FormatTime(m_entry.time, false, time);
    ::lstrcpynW(item.pszText, item.iSubItem == 0 ? time : m_shown, item.cchTextMax);
}

// The whole text of the row under the pointer, which its column may cut off.
void CHistoryWnd::GetInfoTip(NMLVGETINFOTIPW* tip) {
    if (tip->pszText != nullptr && tip->cchTextMax > 0 && Fetch(tip->iItem))
        ::lstrcpynW(tip->pszText, m_shown, tip->cchTextMax);
}

// Every row held, measured as the list draws it.
void CHistoryWnd::FitTextColumn() {
    int widest = 0;
    for (unsigned item = m_stale; item < m_count; ++item) {
        if (Fetch((int)item)) {
            const int width = m_list.GetStringWidth(m_shown);
            widest = width > widest ? width : widest;
        }
    }
    m_list.SetColumnWidth(1, widest + kFitPadding);
}

LRESULT CHistoryWnd::OnFitTextColumn(WPARAM, LPARAM) {
    FitTextColumn();
    return 0;
}

// Run records in grey, so that the runs stand apart from what the script said.
LRESULT CHistoryWnd::CustomDraw(NMLVCUSTOMDRAW* draw) {
    const auto& [header, stage, dc, rect, item, state, param] = draw->nmcd;
    if (stage == CDDS_PREPAINT)
        return CDRF_NOTIFYITEMDRAW;
    if (stage == CDDS_ITEMPREPAINT && Fetch((int)item) && m_entry.kind == CConsoleHistory::kRecord) {
        draw->clrText = ::GetSysColor(COLOR_GRAYTEXT);
        return CDRF_NEWFONT;
    }
    return CDRF_DODEFAULT;
}

// The list speaks in wide notifications (SetUnicodeFormat); its header's come through it.
LRESULT CHistoryWnd::OnNotify(WPARAM, LPARAM lParam) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->hwndFrom != m_list.m_hWnd) {
        const bool divider = header->code == HDN_DIVIDERDBLCLICKW || header->code == HDN_DIVIDERDBLCLICKA;
        if (divider && header->hwndFrom == m_list.GetHeader() &&
            reinterpret_cast<const NMHEADERW*>(lParam)->iItem == 1)
            PostMessage(WM_FIT_TEXT_COLUMN);
        return Default();
    }
    switch (header->code) {
    case LVN_GETDISPINFOW:
        GetDispInfo(reinterpret_cast<NMLVDISPINFOW*>(lParam));
        return 0;
    case LVN_GETINFOTIPW:
        GetInfoTip(reinterpret_cast<NMLVGETINFOTIPW*>(lParam));
        return 0;
    case NM_CUSTOMDRAW:
        return CustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
    case LVN_ODFINDITEMW:
        return -1; // typing does not search
    case LVN_KEYDOWN:
        OnListKey(reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey);
        return 0;
    default:
        return Default();
    }
}

// The modal loop that runs this window is the main window's, which knows nothing of it: its keys come
// from the list. Escape closes by a posted command, since the list is still in its key handling.
void CHistoryWnd::OnListKey(WORD key) {
    const bool control = ::GetKeyState(VK_CONTROL) < 0;
    if (key == VK_ESCAPE)
        PostMessage(WM_COMMAND, IDCANCEL);
    else if (control && (key == 'C' || key == VK_INSERT))
        CopySelection();
    else if (control && key == 'A')
        SelectAll();
    else if (control && key == 'S')
        PostMessage(WM_COMMAND, ID_HISTORY_SAVE); // its dialog runs once the list's key handling is over
}

LRESULT CHistoryWnd::OnContextMenu(WPARAM, LPARAM lParam) {
    POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    // From the keyboard (-1, -1): below the focused row, or at the list's corner.
    if (at.x == -1 && at.y == -1) {
        RECT row = {};
        const int focus = m_list.GetNextItem(-1, LVNI_FOCUSED);
        if (focus < 0 || !m_list.GetItemRect(focus, &row, LVIR_LABEL))
            row = RECT{};
        at = POINT{row.left, row.bottom};
        ::ClientToScreen(m_list, &at);
    }
    HMENU menu = ::LoadMenuA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_HISTORY_MENU));
    HMENU popup = ::GetSubMenu(menu, 0);
    if (popup == nullptr)
        return 0;
    ::EnableMenuItem(popup, ID_HISTORY_COPY, m_list.GetSelectedCount() > 0 ? MF_ENABLED : MF_GRAYED);
    ::EnableMenuItem(popup, ID_HISTORY_SELECT_ALL, m_count > 0 ? MF_ENABLED : MF_GRAYED);
    ::EnableMenuItem(popup, ID_HISTORY_SAVE, m_count > 0 ? MF_ENABLED : MF_GRAYED);
    ::TrackPopupMenu(popup, TPM_RIGHTBUTTON, at.x, at.y, 0, m_hWnd, nullptr);
    ::DestroyMenu(menu);
    return 0;
}

void CHistoryWnd::OnCopy() { CopySelection(); }

void CHistoryWnd::SelectAll() { m_list.SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED); }

// The text of distinct entries is at most the history's own, and none gives more characters than bytes, so
// the rows fit in that and their overhead. Rows whose entries went since the last refresh are left out.
BOOL CHistoryWnd::CopySelection() {
    const UINT selected = m_list.GetSelectedCount();
    if (selected == 0)
        return FALSE;
    const SIZE_T size = (SIZE_T)selected * kCopiedRowOverhead + CConsoleHistory::kTextBytes + 1;
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, size * sizeof(WCHAR));
    WCHAR* out = memory ? static_cast<WCHAR*>(::GlobalLock(memory)) : nullptr;
    if (out == nullptr) {
        if (memory)
            ::GlobalFree(memory);
        return FALSE;
    }
    SIZE_T used = 0;
    CConsoleHistory::CEntry entry;
    for (int item = -1; (item = m_list.GetNextItem(item, LVNI_SELECTED)) >= 0;) {
        if (!m_pConsole->GetHistoryEntry(m_first + (unsigned)item, entry, m_text, sizeof m_text))
            continue;
        if (used + kCopiedRowOverhead + entry.length >= size)
            break;
        used += FormatHistoryRow(entry, m_text, false, out + used);
        out[used++] = L'\r';
        out[used++] = L'\n';
    }
    out[used] = 0;
    m_bFetched = false; // m_text was borrowed
    ::GlobalUnlock(memory);
    if (HGLOBAL smaller = ::GlobalReAlloc(memory, (used + 1) * sizeof(WCHAR), GMEM_MOVEABLE))
        memory = smaller;

    // The clipboard owns the memory once SetClipboardData has taken it.
    BOOL opened = FALSE, copied = FALSE;
    for (int tries = 0; !opened && tries < kClipboardTries; ++tries)
        if (!(opened = ::OpenClipboard(m_hWnd)))
            ::Sleep(kClipboardPauseMs);
    if (opened) {
        ::EmptyClipboard();
        copied = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        ::CloseClipboard();
    }
    if (!copied)
        ::GlobalFree(memory);
    Note(copied   ? L""
         : opened ? L"Nothing was copied: the clipboard did not take the text."
                  : L"Nothing was copied: another program holds the clipboard. Try again.");
    return copied;
}
