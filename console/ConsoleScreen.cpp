// The console's screen: the worker keeps the rows its list is to show, and the owner's thread draws
// them. A script that floods its console thus costs the window one redraw per kRedrawMs, not two calls
// per line, and never waits for a window that is busy elsewhere.
#include "console/Console.h"
#include "console/ScriptText.h"

#include <string.h>
#include <wchar.h>

void CConsole::ClearScreen() {
    CLockGuard lock(m_lock);
    m_screen.first = 0;
    m_screen.rows = 0;
    m_screen.lines = 0;
    ++m_screen.runs;
    ScreenChanged();
}

// The newest row takes the oldest one's slot once six stand.
void CConsole::PutRow(const char* text, unsigned length) {
    CLockGuard lock(m_lock);
    unsigned slot = (m_screen.first + m_screen.rows) % kRows;
    if (m_screen.rows == kRows)
        m_screen.first = (m_screen.first + 1) % kRows;
    else
        ++m_screen.rows;
    memcpy(m_screen.text[slot], text, length);
    m_screen.length[slot] = length;
    ++m_screen.lines;
    m_history.AddLine(text, length);
    HistoryChanged();
    ScreenChanged();
}

// Under m_lock. One message at a time: while one is on its way, or the owner's thread is still
// redrawing, the change is picked up without one. A message that cannot be posted is tried again with
// the next change.
void CConsole::ScreenChanged() {
    ++m_screen.changes;
    if (m_pWatch != nullptr)
        m_pWatch->OnConsoleChange(CConsoleWatch::kScreenChange);
    m_bScreenChanged = true;
    if (!m_bScreenPosted)
        m_bScreenPosted = PostToOwner(WM_CONSOLE_SCREEN, 0);
}

CConsole::CScreen CConsole::GetScreen() const {
    CLockGuard lock(m_lock);
    return m_screen;
}

void CConsole::MirrorScreen(const CScreen& screen) {
    CLockGuard lock(m_lock);
    const unsigned changes = m_screen.changes;
    m_screen = screen;
    m_screen.changes = changes;
    ScreenChanged();
}

unsigned CConsole::ScreenChanges() const {
    CLockGuard lock(m_lock);
    return m_screen.changes;
}

// The timer is named by this console, so one owner can keep a redraw going for each of its lists.
void CConsole::ShowScreen() {
    if (RedrawScreen() && m_pOwner != nullptr)
        ::SetTimer(m_pOwner->m_hWnd, (UINT_PTR)this, kRedrawMs, OnRedrawTimer);
}

void CALLBACK CConsole::OnRedrawTimer(HWND hWnd, UINT, UINT_PTR idEvent, DWORD) {
    if (!reinterpret_cast<CConsole*>(idEvent)->RedrawScreen())
        ::KillTimer(hWnd, idEvent);
}

// Once the worker has ended its screen changes no more: what it last wrote is drawn now, and nothing
// is left to redraw it after the owner has emptied the list. A worker that is still writing (the notice
// came from elsewhere) is heard of again with its next change.
void CConsole::SettleScreen() {
    if (m_pOwner != nullptr)
        ::KillTimer(m_pOwner->m_hWnd, (UINT_PTR)this);
    RedrawScreen();
    CLockGuard lock(m_lock);
    m_bScreenPosted = false;
    if (m_bScreenChanged)
        ScreenChanged();
}

// Draws the screen if it changed since it was last drawn. When it did not, the redraws are over and the
// worker's next change posts again; FALSE then.
BOOL CConsole::RedrawScreen() {
    CScreen screen;
    bool changed;
    {
        CLockGuard lock(m_lock);
        changed = m_bScreenChanged;
        if (changed)
            screen = m_screen;
        else
            m_bScreenPosted = false;
        m_bScreenChanged = false;
    }
    if (changed)
        ShowRows(screen);
    return changed;
}

// Only rows whose text differs are set, and rows are inserted or deleted only where the counts differ,
// so a list that already shows the screen is left alone. The rows are decoded here, at most six a redraw,
// so that a flood costs the worker no more for text outside ASCII than for ASCII.
void CConsole::ShowRows(const CScreen& screen) const {
    if (m_pList == nullptr)
        return;
    const int shown = m_pList->GetItemCount();
    WCHAR row[kMaxLine + 1], text[kMaxLine + 2];
    for (unsigned i = 0; i < screen.rows; ++i) {
        DecodeScriptText(screen.Row(i), screen.RowLength(i), row);
        if ((int)i >= shown) {
            m_pList->InsertItem((int)i, row);
            continue;
        }
        text[0] = 0;
        m_pList->GetItemText((int)i, 0, text, kMaxLine + 2);
        if (wcscmp(text, row) != 0)
            m_pList->SetItemText((int)i, 0, row);
    }
    for (int i = shown; i > (int)screen.rows; --i)
        m_pList->DeleteItem(i - 1);
}
