// CScriptFailures: tells the event log when a station's script keeps failing. One entry for each streak of
// runs that ended with an error in a row: once it counts kStreak runs, or at once where a run of it could
// not start at all. The entry names the script and the station folder, the system's reason or how the
// last run ended, and the script's last words.
#pragma once

#include "console/Console.h"
#include "service/EventLog.h"

#include <windows.h>

class CScriptFailures {
public:
    enum : unsigned { kStreak = 10 };

    explicit CScriptFailures(CEventLog& log) : m_log(log), m_reported() {}
    CScriptFailures(const CScriptFailures&) = delete;
    CScriptFailures& operator=(const CScriptFailures&) = delete;

    // Looks at the history of console `index` (0 or 1), whose script is `script`, and writes the entry of
    // a streak not yet told. On the host's thread.
    void Look(const CConsole& console, unsigned index, const char* script, const WCHAR* folder);

private:
    CEventLog& m_log;
    // Per console: the first run of the last streak told; 0 for none (runs count from 1).
    unsigned m_reported[2];
};
