// The console's side of its history: what a run tells it, and the window's reads, each under the
// console's lock, which the worker holds for every line it shows anyway.
#include "console/Console.h"

unsigned CConsole::HistoryCount(unsigned long long* firstSerial) const {
    CLockGuard lock(m_lock);
    const unsigned count = m_history.Count();
    if (firstSerial != nullptr)
        *firstSerial = m_history.FirstSerial();
    return count;
}

unsigned long long CConsole::HistoryChanges() const {
    CLockGuard lock(m_lock);
    return m_history.Changes();
}

BOOL CConsole::GetHistoryEntry(unsigned long long serial, CConsoleHistory::CEntry& entry, char* text,
                               unsigned size) const {
    CLockGuard lock(m_lock);
    return m_history.GetEntry(serial, entry, text, size);
}

void CConsole::GetHistoryStatus(CConsoleHistory::CStatus& status) const {
    CLockGuard lock(m_lock);
    m_history.GetStatus(status);
}

// Under m_lock, on the worker. One notice until the window has read the history: a flood costs the
// worker no message a line, and a change that comes while the window still reads is found by its next
// read. A notice that cannot be posted is tried again with the next change.
void CConsole::HistoryChanged() {
    if (m_pWatch != nullptr)
        m_pWatch->OnConsoleChange(CConsoleWatch::kHistoryChange);
    if (!m_bHistoryNoticed)
        m_bHistoryNoticed = PostToOwner(WM_CONSOLE_HISTORY, 0);
}

// The check and the end of the notice under one lock: a change made after it posts anew.
BOOL CConsole::HistorySeen(unsigned long long seen) {
    CLockGuard lock(m_lock);
    const BOOL quiet = m_history.Changes() == seen;
    if (quiet)
        m_bHistoryNoticed = false;
    return quiet;
}

// On the worker, once the child is gone. Only a child that ended by itself has a code worth telling:
// after a '~', a failed pipe or a stop, it is the one this console's termination gave it.
void CConsole::RecordRunEnd(ERunEnd end, DWORD exitCode) {
    const DWORD code = end == kRunExited ? exitCode : 0;
    const CConsoleHistory::EEnd how = end == kRunTilde     ? CConsoleHistory::kByTilde
                                      : end == kRunStopped ? CConsoleHistory::kStopped
                                      : end == kRunExited  ? CConsoleHistory::kExited
                                                           : CConsoleHistory::kPipeFailed;
    CLockGuard lock(m_lock);
    m_history.RunEnded(how, code);
    HistoryChanged();
}

// The system's text is found before the lock is taken: the window may be reading meanwhile.
void CConsole::RecordNoStart(DWORD error) {
    char message[256];
    CConsoleHistory::SystemMessage(error, message, sizeof message);
    CLockGuard lock(m_lock);
    m_history.CouldNotStart(error, message);
    HistoryChanged();
}
