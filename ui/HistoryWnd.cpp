#include "ui/HistoryWnd.h"

#include "framework/App.h"
#include "res/resource.h"

#include <windowsx.h>

#include <string.h>

namespace {

// A copied row beyond its text: the time, a space and CRLF.
const unsigned kRowOverhead = CHistoryWnd::kTimeLength + 3;

// The time of day, with the date in front when it is not today's.
void FormatWhen(const SYSTEMTIME& time, char* text) {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    if (time.wYear != now.wYear || time.wMonth != now.wMonth || time.wDay != now.wDay)
        text += wsprintfA(text, "%04u-%02u-%02u ", time.wYear, time.wMonth, time.wDay);
    wsprintfA(text, "%02u:%02u:%02u", time.wHour, time.wMinute, time.wSecond);
}

} // namespace

int FormatHistoryTime(const SYSTEMTIME& time, char* text) {
    return wsprintfA(text, "%02u:%02u:%02u.%03u", time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
}

CHistoryWnd::CHistoryWnd()
    : CDialog(IDD_HISTORY), m_pConsole(nullptr), m_caption(), m_cascade(0), m_first(0), m_count(0),
      m_stale(0), m_changes(0), m_bTimer(false), m_lastRefresh(0), m_margin(0), m_listTop(0), m_timeWidth(0),
      m_minSize(), m_bFetched(false), m_bHeld(FALSE), m_fetchedSerial(0), m_entry(), m_text() {}

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
    m_list.SetExtendedStyle(m_list.GetExtendedStyle() | LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP);
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

void CHistoryWnd::OnCancel() { DestroyWindow(); }

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

void CHistoryWnd::ShowStatus() {
    CConsoleHistory::CStatus status;
    m_pConsole->GetHistoryStatus(status);
    char text[512], when[32];
    int length;
    if (status.run == 0) {
        length = wsprintfA(text, "Not started yet.");
    } else if (status.running) {
        FormatWhen(status.since, when);
        length = wsprintfA(text, "Run %u running since %s.", status.run, when);
    } else {
        length = wsprintfA(text, "Not running; last run: %u.", status.run);
    }
    length += wsprintfA(text + length, "    Runs that ended with an error: %u.", status.failedRuns);
    if (status.ended) {
        FormatWhen(status.lastEnd, when);
        status.lastHow[sizeof status.lastHow - 1] = 0;
        wsprintfA(text + length, "\r\nLast end at %s: %s.", when, status.lastHow);
    }
    char shown[sizeof text] = "";
    m_status.GetWindowText(shown, sizeof shown);
    if (strcmp(shown, text) != 0)
        m_status.SetWindowText(text);
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
        m_text[0] = 0;
    return m_bHeld;
}

void CHistoryWnd::GetDispInfo(NMLVDISPINFOA* info) {
    LVITEMA& item = info->item;
    if (!(item.mask & LVIF_TEXT) || item.pszText == nullptr || item.cchTextMax <= 0)
        return;
    char time[kTimeLength + 1] = "";
    if (Fetch(item.iItem) && item.iSubItem == 0)
        FormatHistoryTime(m_entry.time, time);
    ::lstrcpynA(item.pszText, item.iSubItem == 0 ? time : m_text, item.cchTextMax);
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

LRESULT CHistoryWnd::OnNotify(WPARAM, LPARAM lParam) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->hwndFrom != m_list.m_hWnd)
        return Default();
    switch (header->code) {
    case LVN_GETDISPINFOA:
        GetDispInfo(reinterpret_cast<NMLVDISPINFOA*>(lParam));
        return 0;
    case NM_CUSTOMDRAW:
        return CustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
    case LVN_ODFINDITEMA:
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
    ::TrackPopupMenu(popup, TPM_RIGHTBUTTON, at.x, at.y, 0, m_hWnd, nullptr);
    ::DestroyMenu(menu);
    return 0;
}

void CHistoryWnd::OnCopy() { CopySelection(); }

void CHistoryWnd::SelectAll() { m_list.SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED); }

// The text of distinct entries is at most the history's own, so the rows fit in that and their overhead.
// Rows whose entries went since the last refresh are left out.
BOOL CHistoryWnd::CopySelection() {
    const UINT selected = m_list.GetSelectedCount();
    if (selected == 0)
        return FALSE;
    const SIZE_T size = (SIZE_T)selected * kRowOverhead + CConsoleHistory::kTextBytes + 1;
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, size);
    char* out = memory ? static_cast<char*>(::GlobalLock(memory)) : nullptr;
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
        if (used + kRowOverhead + entry.length >= size)
            break;
        used += FormatHistoryTime(entry.time, out + used);
        out[used++] = ' ';
        memcpy(out + used, m_text, entry.length);
        used += entry.length;
        out[used++] = '\r';
        out[used++] = '\n';
    }
    out[used] = 0;
    m_bFetched = false; // m_text was borrowed
    ::GlobalUnlock(memory);
    if (HGLOBAL smaller = ::GlobalReAlloc(memory, used + 1, GMEM_MOVEABLE))
        memory = smaller;

    // The clipboard owns the memory once SetClipboardData has taken it.
    BOOL copied = FALSE;
    if (::OpenClipboard(m_hWnd)) {
        ::EmptyClipboard();
        copied = ::SetClipboardData(CF_TEXT, memory) != nullptr;
        ::CloseClipboard();
    }
    if (!copied)
        ::GlobalFree(memory);
    return copied;
}
