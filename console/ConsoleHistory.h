// CConsoleHistory: what a console's script said across its runs, with a record of how each run began and
// ended. The program writes no file, so this is the one place where the reason a script died survives the
// next run. Its storage is allocated once, at construction: the newest entries up to kMaxEntries of them or
// kTextBytes of text, whichever is reached first; the oldest go first.
//
// Not locked itself: the console writes it on its worker and reads it for the window under its own lock.
#pragma once

#include <windows.h>

class CConsoleHistory {
public:
    enum : unsigned {
        // Room for at least 2,000 lines even where every run shows one line between its two records.
        kMaxEntries = 8192,
        kTextBytes = 512 * 1024,
    };
    enum EKind : BYTE {
        kLine,   // a line of the script, as its list shows it
        kRecord, // a run record: "run 17 started", "run 17 ended after 0.2 s: exit code 255", ...
    };

    // One entry as copied out for the window.
    struct CEntry {
        SYSTEMTIME time; // local time of arrival (for a collapsed record: of the last attempt)
        ULONGLONG utc;   // the same as a UTC FILETIME
        EKind kind;
        unsigned length; // of the text copied, without its terminating zero
    };

    // What the window's status line says.
    struct CStatus {
        unsigned run;        // the number of the current or last run, 0 before the first
        bool running;        // that run's child is up
        SYSTEMTIME since;    // when that run started (valid while running)
        unsigned failedRuns; // runs that ended with an error: an exit code other than 0, an exception,
                             // or no start at all
        bool ended;          // some run has ended
        SYSTEMTIME lastEnd;  // when the last run ended
        char lastHow[160];   // how, as its record says it after the run number ("ended after 0.2 s: ...")
        ULONGLONG sinceTime; // since and lastEnd as UTC FILETIMEs
        ULONGLONG lastEndTime;
        DWORD startError; // the system's error when the last run could not start; 0 when it started
    };

    CConsoleHistory();
    ~CConsoleHistory();
    CConsoleHistory(const CConsoleHistory&) = delete;
    CConsoleHistory& operator=(const CConsoleHistory&) = delete;

    // How many entries are held, and the serial number of the oldest (how many were ever dropped), so that
    // a view can tell how far its rows moved since it last looked.
    unsigned Count() const;
    unsigned long long FirstSerial() const;
    // Grows with every change, including a collapsed record counted up in place.
    unsigned long long Changes() const;
    // Copies the entry with this serial number (FirstSerial() is the oldest held, FirstSerial() + Count()
    // - 1 the newest): its text, cut to size - 1 bytes and zero-terminated. FALSE for an entry that is not
    // held (dropped already, or not yet written). By serial rather than by position, so that a view that
    // asks while the oldest entries go never shows one row twice or skips one.
    BOOL GetEntry(unsigned long long serial, CEntry& entry, char* text, unsigned size) const;
    void GetStatus(CStatus& status) const;

    // How a run ended, as its record tells it.
    enum EEnd : BYTE {
        kExited,     // the child ended on its own, with the exit code given
        kByTilde,    // the script wrote a '~' line
        kStopped,    // the child was ended for Stop or because running was no longer wanted
        kPipeFailed, // its output could no longer be read
    };
    // Written by the console's worker. A line is added as its list shows it: at most kMaxLine bytes,
    // the date already cut. Nothing here allocates; a history whose storage could not be had records
    // nothing.
    void AddLine(const char* text, unsigned length);
    void RunStarted();
    void RunEnded(EEnd end, DWORD exitCode);
    // `message` is the system's text for `error` (SystemMessage), found before the console's lock is taken.
    void CouldNotStart(DWORD error, const char* message);
    // A copy of another process's history, kept entry by entry (a view of a service's console): Clear
    // starts it again (the serial numbers go on), Append adds an entry as it was there, ReplaceNewest
    // rewrites the newest (a record counted up in place), and SetStatus takes that history's status.
    void Clear();
    void Append(EKind kind, const char* text, unsigned length, ULONGLONG utc);
    void ReplaceNewest(EKind kind, const char* text, unsigned length, ULONGLONG utc);
    void SetStatus(const CStatus& status);

    // A UTC FILETIME as local time, by the time zone's rules for that moment.
    static void LocalTime(ULONGLONG utc, SYSTEMTIME& local);
    // The system's own text for an error code, its line end trimmed; "" when it has none.
    static void SystemMessage(DWORD error, char* text, unsigned size);
    // A record's local time as the status lines give it: "15:30:02", with the date in front
    // ("2026-12-07 15:30:02") when it is not today's or `withDate`.
    static void FormatWhen(const SYSTEMTIME& time, bool withDate, char* text, unsigned size);

private:
    friend class CConsoleTestAccess;

    enum : unsigned {
        kEntryMask = kMaxEntries - 1,
        kHowSize = sizeof(CStatus::lastHow),
    };
    // 16 bytes an entry; its text lies in the text ring from `offset` on, wrapping at its end.
    struct CSlot {
        ULONGLONG time; // FILETIME of arrival, UTC: converted to local time only when read
        unsigned offset;
        WORD length;
        EKind kind;
    };

    void Add(EKind kind, const char* text, unsigned length, ULONGLONG time);
    void DropOldest();
    void DropNewest();
    void AddRecord(unsigned firstRun, const char* how, ULONGLONG time);
    void EndRun(unsigned firstRun, const char* how, bool failed, ULONGLONG time);
    void RunLength(ULONGLONG& seconds, unsigned& ms) const;

    // Both parts of one allocation, made by the constructor: kMaxEntries slots, then kTextBytes of text.
    CSlot* m_slots;
    char* m_text;
    unsigned long long m_first; // the serial number of the oldest entry held
    unsigned m_count;
    unsigned m_textUsed;  // bytes of text held, from the oldest entry's text on
    unsigned m_textWrite; // where the next entry's text goes
    unsigned long long m_changes;

    unsigned m_run;
    bool m_running;
    ULONGLONG m_runStart;          // FILETIME
    LARGE_INTEGER m_runStartCount; // for the run's length, which a change of the clock must not falsify
    LARGE_INTEGER m_countsPerSecond;
    unsigned m_failedRuns;
    bool m_ended;
    ULONGLONG m_lastEnd; // FILETIME
    char m_lastHow[kHowSize];
    DWORD m_startError;

    // A streak of runs that could not start for the same error is one record, the newest entry, counted up
    // in place while the streak lasts; any other entry ends it.
    bool m_streakOpen;
    DWORD m_streakError;
    unsigned m_streakFirstRun;
    unsigned m_streakRuns;

    // The tick count when a line was last added, and the time it was given.
    DWORD m_lineTick;
    ULONGLONG m_lineTime;

    // The counter a run's length is read from: QueryPerformanceCounter, at m_countsPerSecond.
    BOOL(WINAPI* m_pfnCounter)(LARGE_INTEGER* count);
};
