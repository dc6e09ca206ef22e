#include "service/ScriptFailures.h"

#include "console/ScriptText.h"

#include "ServiceEvents.h"

#include <stdio.h>

void CScriptFailures::Look(const CConsole& console, unsigned index, const char* script, const WCHAR* folder) {
    CConsoleHistory::CStatus status;
    console.GetHistoryStatus(status);
    const bool noStart = status.failStreakStartError != 0;
    if (status.failStreak == 0 || status.failStreakRun == m_reported[index] ||
        (!noStart && status.failStreak < kStreak))
        return;
    m_reported[index] = status.failStreakRun;

    WCHAR name[64], count[16], how[sizeof status.lastHow + 1], words[CConsole::kMaxLine + 2] = L"(none)";
    ::MultiByteToWideChar(CP_ACP, 0, script, -1, name, 64);
    if (noStart) {
        WCHAR reason[256], text[300];
        CConsoleHistory::SystemText(status.failStreakStartError, reason, 256);
        swprintf(text, 300, L"%ls (%lu)", reason, status.failStreakStartError);
        const WCHAR* strings[] = {name, folder, text};
        m_log.Report(MSG_SCRIPT_NOT_STARTED, strings, 3);
        return;
    }
    swprintf(count, 16, L"%u", status.failStreak);
    DecodeScriptText(status.lastHow, (unsigned)::lstrlenA(status.lastHow), how);
    CConsoleHistory::CEntry entry;
    char line[CConsole::kMaxLine + 1];
    if (status.lastWords && console.GetHistoryEntry(status.lastWordsSerial, entry, line, sizeof line))
        DecodeScriptText(line, entry.length, words);
    const WCHAR* strings[] = {name, folder, count, how, words};
    m_log.Report(MSG_SCRIPT_FAILING, strings, 5);
}
