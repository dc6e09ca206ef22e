// The console's history: its storage, what the worker writes into it and what the window reads from it.
#include "console/ConsoleHistory.h"

#include "console/ScriptText.h"

#include <stdio.h>
#include <string.h>

namespace {

const unsigned kRecordSize = 512;

ULONGLONG FileTimeNow() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return ((ULONGLONG)now.dwHighDateTime << 32) | now.dwLowDateTime;
}

// By the time zone's rules for that moment, so that an entry from before a change to summer time keeps
// the hour it was shown with.
void ToLocalTime(ULONGLONG time, SYSTEMTIME& local) {
    FILETIME file = {(DWORD)time, (DWORD)(time >> 32)};
    SYSTEMTIME utc;
    if (!FileTimeToSystemTime(&file, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        memset(&local, 0, sizeof local);
    }
}

unsigned Smaller(unsigned a, unsigned b) { return a < b ? a : b; }

// "0.2 s" up to a minute, then the two largest units: "4 min 12 s", "3 h 5 min", "91 d 4 h".
void FormatLength(ULONGLONG s, unsigned ms, char* text) {
    if (s < 60)
        wsprintfA(text, "%u.%u s", (unsigned)s, ms / 100);
    else if (s < 3600)
        wsprintfA(text, "%u min %u s", (unsigned)(s / 60), (unsigned)(s % 60));
    else if (s < 86400)
        wsprintfA(text, "%u h %u min", (unsigned)(s / 3600), (unsigned)(s / 60 % 60));
    else
        wsprintfA(text, "%u d %u h", (unsigned)(s / 86400), (unsigned)(s / 3600 % 24));
}

// What the C++ runtimes of Microsoft's compilers raise for a throw; unhandled, the process ends with it.
const DWORD kCppException = 0xE06D7363;

struct CExceptionName {
    DWORD code;
    const char* name;
};

const CExceptionName kExceptionNames[] = {
    {0x80000001, "guard page"},
    {0x80000002, "misaligned data"},
    {0x80000003, "breakpoint"},
    {0x80000004, "single step"},
    {0xC0000005, "access violation"},
    {0xC0000006, "in-page error"},
    {0xC0000008, "invalid handle"},
    {0xC0000017, "out of memory"},
    {0xC000001D, "illegal instruction"},
    {0xC0000025, "noncontinuable exception"},
    {0xC000008C, "array bounds exceeded"},
    {0xC000008E, "floating-point division by zero"},
    {0xC0000094, "integer division by zero"},
    {0xC0000095, "integer overflow"},
    {0xC0000096, "privileged instruction"},
    {0xC00000FD, "stack overflow"},
    {0xC0000135, "a DLL was not found"},
    {0xC0000139, "an entry point was not found"},
    {0xC0000142, "a DLL failed to initialise"},
    {0xC000013A, "ended by Ctrl+C"},
    {0xC0000374, "heap corruption"},
    {0xC0000409, "stack buffer overrun"},
    {0xC0000417, "invalid parameter to the C runtime"},
    {0xC0000602, "fail fast"},
    {kCppException, "C++ exception"},
};

// The codes of the exceptions the system raises: its statuses of warning severity up to 0x8000001F (a
// breakpoint, a guard page) and all of error severity, and a C++ throw. A process that does not handle
// one ends with its code, at once where the job says so.
bool IsExceptionCode(DWORD code) {
    return (code >= 0x80000001 && code <= 0x8000001F) || (code & 0xF0000000) == 0xC0000000 ||
           code == kCppException;
}

// Any other code is the script's own. A small one reads as a number, a negative one too, such as PHP's
// exit(-1); a large one, an HRESULT or a status, tells more in hexadecimal, which it has beside it.
void FormatExitCode(DWORD code, char* text) {
    if (!IsExceptionCode(code)) {
        const int value = (int)code;
        const int length = wsprintfA(text, ": exit code %d", value);
        if (value < -0xFFFF || value > 0xFFFF)
            wsprintfA(text + length, " (0x%08X)", code);
        return;
    }
    const char* name = nullptr;
    for (const CExceptionName& known : kExceptionNames)
        if (known.code == code)
            name = known.name;
    if (name != nullptr)
        wsprintfA(text, " by exception 0x%08X (%s)", code, name);
    else
        wsprintfA(text, " by exception 0x%08X", code);
}

} // namespace

CConsoleHistory::CConsoleHistory()
    : m_slots(nullptr), m_text(nullptr), m_first(0), m_count(0), m_textUsed(0), m_textWrite(0), m_changes(0),
      m_run(0), m_running(false), m_runStart(0), m_runStartCount(), m_countsPerSecond(), m_failedRuns(0),
      m_ended(false), m_lastEnd(0), m_lastHow(), m_startError(0), m_streakOpen(false), m_streakError(0),
      m_streakFirstRun(0), m_streakRuns(0), m_lineTick(0), m_lineTime(0),
      m_pfnCounter(QueryPerformanceCounter) {
    static_assert((kMaxEntries & kEntryMask) == 0, "the slots are found by masking the serial number");
    // Committed now, so the history costs the same from the first minute to the last month and never
    // fails for want of memory later. The pages are the system's zeroes until written.
    void* store = VirtualAlloc(nullptr, kMaxEntries * sizeof(CSlot) + kTextBytes, MEM_RESERVE | MEM_COMMIT,
                               PAGE_READWRITE);
    if (store != nullptr) {
        m_slots = static_cast<CSlot*>(store);
        m_text = reinterpret_cast<char*>(m_slots + kMaxEntries);
    }
    QueryPerformanceFrequency(&m_countsPerSecond);
}

CConsoleHistory::~CConsoleHistory() {
    if (m_slots != nullptr)
        VirtualFree(m_slots, 0, MEM_RELEASE);
}

unsigned CConsoleHistory::Count() const { return m_count; }

unsigned long long CConsoleHistory::FirstSerial() const { return m_first; }

unsigned long long CConsoleHistory::Changes() const { return m_changes; }

BOOL CConsoleHistory::GetEntry(unsigned long long serial, CEntry& entry, char* text, unsigned size) const {
    if (serial < m_first || serial - m_first >= m_count || size == 0)
        return FALSE;
    const CSlot& slot = m_slots[serial & kEntryMask];
    entry.kind = slot.kind;
    entry.length = Smaller(slot.length, size - 1);
    ToLocalTime(slot.time, entry.time);
    entry.utc = slot.time;
    const unsigned head = Smaller(entry.length, kTextBytes - slot.offset);
    memcpy(text, m_text + slot.offset, head);
    memcpy(text + head, m_text, entry.length - head);
    text[entry.length] = 0;
    return TRUE;
}

void CConsoleHistory::GetStatus(CStatus& status) const {
    memset(&status, 0, sizeof status);
    status.run = m_run;
    status.running = m_running;
    if (m_running)
        ToLocalTime(m_runStart, status.since);
    status.failedRuns = m_failedRuns;
    status.ended = m_ended;
    if (m_ended)
        ToLocalTime(m_lastEnd, status.lastEnd);
    lstrcpynA(status.lastHow, m_lastHow, sizeof status.lastHow);
    status.sinceTime = m_running ? m_runStart : 0;
    status.lastEndTime = m_ended ? m_lastEnd : 0;
    status.startError = m_startError;
}

// The system time moves in steps of the system's timer (15.6 ms by default), and so does the tick count,
// which costs next to nothing where the time can cost a flood under Wine a tenth of its speed: a line in
// the same tick as the one before it takes that line's time.
void CConsoleHistory::AddLine(const char* text, unsigned length) {
    const DWORD tick = GetTickCount();
    if (tick != m_lineTick || m_lineTime == 0) {
        m_lineTick = tick;
        m_lineTime = FileTimeNow();
    }
    Add(kLine, text, length, m_lineTime);
}

// Makes room first: the oldest entries go until one more entry and its text fit. The text goes into the
// ring in at most two pieces, so one entry's text can wrap round its end.
void CConsoleHistory::Add(EKind kind, const char* text, unsigned length, ULONGLONG time) {
    if (m_slots == nullptr)
        return;
    m_streakOpen = false;
    while (m_count > 0 && (m_count == kMaxEntries || m_textUsed + length > kTextBytes))
        DropOldest();
    CSlot& slot = m_slots[(m_first + m_count) & kEntryMask];
    slot.time = time;
    slot.offset = m_textWrite;
    slot.length = (WORD)length;
    slot.kind = kind;
    const unsigned head = Smaller(length, kTextBytes - m_textWrite);
    memcpy(m_text + m_textWrite, text, head);
    memcpy(m_text, text + head, length - head);
    m_textWrite = (m_textWrite + length) % kTextBytes;
    m_textUsed += length;
    ++m_count;
    ++m_changes;
}

void CConsoleHistory::DropOldest() {
    m_textUsed -= m_slots[m_first & kEntryMask].length;
    ++m_first;
    --m_count;
}

// The newest entry's text is the last that was written, so its room is given back to the ring as well.
void CConsoleHistory::DropNewest() {
    const CSlot& slot = m_slots[(m_first + m_count - 1) & kEntryMask];
    m_textUsed -= slot.length;
    m_textWrite = slot.offset;
    --m_count;
}

void CConsoleHistory::Clear() {
    m_first += m_count;
    m_count = 0;
    m_textUsed = 0;
    m_textWrite = 0;
    ++m_changes;
}

void CConsoleHistory::Append(EKind kind, const char* text, unsigned length, ULONGLONG utc) {
    Add(kind, text, length, utc);
}

void CConsoleHistory::ReplaceNewest(EKind kind, const char* text, unsigned length, ULONGLONG utc) {
    if (m_count > 0)
        DropNewest();
    Add(kind, text, length, utc);
}

void CConsoleHistory::SetStatus(const CStatus& status) {
    m_run = status.run;
    m_running = status.running;
    m_runStart = status.sinceTime;
    m_failedRuns = status.failedRuns;
    m_ended = status.ended;
    m_lastEnd = status.lastEndTime;
    m_startError = status.startError;
    CopyWholeCharacters(m_lastHow, kHowSize, status.lastHow);
    ++m_changes;
}

// "run 17 " and how: "started", "ended after 0.2 s: exit code 255", ...; "runs 18 to 54 " for a streak.
void CConsoleHistory::AddRecord(unsigned firstRun, const char* how, ULONGLONG time) {
    char record[kRecordSize];
    const int length = firstRun == m_run ? wsprintfA(record, "run %u ", m_run)
                                         : wsprintfA(record, "runs %u to %u ", firstRun, m_run);
    CopyWholeCharacters(record + length, kRecordSize - length, how);
    Add(kRecord, record, (unsigned)lstrlenA(record), time);
}

void CConsoleHistory::RunStarted() {
    ++m_run;
    m_running = true;
    m_startError = 0;
    m_runStart = FileTimeNow();
    m_pfnCounter(&m_runStartCount);
    AddRecord(m_run, "started", m_runStart);
}

// Whole seconds by a division of the counts, and the milliseconds of the second begun from what is left:
// a count times 1000 would overflow 64 bits after 70 days of a counter that runs at a few GHz.
void CConsoleHistory::RunLength(ULONGLONG& seconds, unsigned& ms) const {
    LARGE_INTEGER now = {};
    m_pfnCounter(&now);
    const ULONGLONG perSecond = (ULONGLONG)m_countsPerSecond.QuadPart;
    seconds = 0;
    ms = 0;
    if (m_countsPerSecond.QuadPart <= 0 || now.QuadPart < m_runStartCount.QuadPart)
        return;
    const ULONGLONG counts = (ULONGLONG)(now.QuadPart - m_runStartCount.QuadPart);
    seconds = counts / perSecond;
    ms = (unsigned)(counts % perSecond * 1000 / perSecond);
}

void CConsoleHistory::RunEnded(EEnd end, DWORD exitCode) {
    if (!m_running)
        return;
    char length[32], detail[96], how[kHowSize];
    ULONGLONG seconds = 0;
    unsigned ms = 0;
    RunLength(seconds, ms);
    FormatLength(seconds, ms, length);
    if (end == kExited)
        FormatExitCode(exitCode, detail);
    else
        lstrcpyA(detail, end == kByTilde   ? " by '~'"
                         : end == kStopped ? ""
                                           : ": its output could not be read");
    wsprintfA(how, end == kStopped ? "stopped after %s%s" : "ended after %s%s", length, detail);
    m_running = false;
    EndRun(m_run, how, end == kPipeFailed || (end == kExited && exitCode != 0), FileTimeNow());
}

void CConsoleHistory::EndRun(unsigned firstRun, const char* how, bool failed, ULONGLONG time) {
    if (failed)
        ++m_failedRuns;
    m_ended = true;
    m_lastEnd = time;
    CopyWholeCharacters(m_lastHow, kHowSize, how);
    AddRecord(firstRun, how, time);
}

// The first of a streak is a record like any other; each further one takes its place with the count and
// the time of the last, written anew at the end of the text ring like a new entry.
void CConsoleHistory::CouldNotStart(DWORD error, const char* message) {
    ++m_run;
    m_running = false;
    m_startError = error;
    const ULONGLONG now = FileTimeNow();
    char how[kRecordSize];
    const int prefix = wsprintfA(how, "could not start: ");
    CopyWholeCharacters(how + prefix, kRecordSize - 64 - prefix, message);
    int length = lstrlenA(how);
    length += wsprintfA(how + length, length > prefix ? " (%u)" : "error %u", error);
    if (m_streakOpen && m_streakError == error) {
        ++m_streakRuns;
        SYSTEMTIME local;
        ToLocalTime(now, local);
        wsprintfA(how + length, ", %u times, last at %02u:%02u:%02u", m_streakRuns, local.wHour,
                  local.wMinute, local.wSecond);
        DropNewest();
    } else {
        m_streakFirstRun = m_run;
        m_streakRuns = 1;
    }
    EndRun(m_streakFirstRun, how, true, now);
    m_streakOpen = m_slots != nullptr;
    m_streakError = error;
}

void CConsoleHistory::LocalTime(ULONGLONG utc, SYSTEMTIME& local) { ToLocalTime(utc, local); }

void CConsoleHistory::FormatWhen(const SYSTEMTIME& time, bool withDate, char* text, unsigned size) {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    if (withDate || time.wYear != now.wYear || time.wMonth != now.wMonth || time.wDay != now.wDay)
        snprintf(text, size, "%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour,
                 time.wMinute, time.wSecond);
    else
        snprintf(text, size, "%02u:%02u:%02u", time.wHour, time.wMinute, time.wSecond);
}

void CConsoleHistory::SystemMessage(DWORD error, char* text, unsigned size) {
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                  0, text, size, nullptr);
    // The system's texts end with a line end ("...specified.\r\n"), which a record has no room for.
    while (length > 0 && (unsigned char)text[length - 1] <= 0x20)
        --length;
    text[size ? length : 0] = 0;
}
