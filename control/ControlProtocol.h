// What a copy of the program and those who ask it say to each other through its pipes: every request and
// every answer is one message of a fixed layout that says its own size and version first, the same in
// 32-bit and 64-bit programs. A reader checks a message's size before it reads a field and a string's
// length before it reads the string; nothing is read up to a zero. Times are UTC FILETIMEs.
#pragma once

#include <windows.h>

enum : WORD { kControlVersion = 1 };

enum : DWORD {
    // A request is exactly one CControlRequest; an answer at most this many bytes: a state with two
    // paths of the longest kind, or a history's entries, as many as fit.
    kControlMaxAnswer = 163840,
    kControlHistoryBytes = 65536,
    // Characters of a path: the system's limit for a path of its own.
    kControlMaxPath = 32767,
    // Bytes of a run record's "how" ("ended after 0.2 s: exit code 255").
    kControlHowSize = 160,
    kControlRows = 6,
    kControlRowSize = 2048,
};

enum EControlCommand : WORD {
    kControlAsk = 1, // the state
    kControlStart,   // as the Start button, where it could be used; answers the state
    kControlStop,    // as the Stop button; answers the state once the scripts have stopped
    kControlExit,    // Stop, then Close, whatever the window shows; a service stops nothing
    kControlShow,    // the window to the front
    kControlWatch,   // the state, once it differs from the marks given in what `watch` names
    kControlScreen,  // a console's rows
    kControlHistory, // a console's history from a serial number on
    kControlLastCommand = kControlHistory,
};

// What changes, counted: the run state, and each console's screen and history. Console 1 first.
struct CControlMarks {
    DWORD state;
    DWORD screens[2];
    DWORD reserved;
    ULONGLONG histories[2];
};
static_assert(sizeof(CControlMarks) == 32, "the same in 32-bit and 64-bit programs");

enum : DWORD { kWatchState = 1, kWatchScreens = 2, kWatchHistories = 4 };
// Whether a mark that `watch` names differs between the two.
bool MarksDiffer(const CControlMarks& a, const CControlMarks& b, DWORD watch);

struct CControlRequest {
    DWORD size; // sizeof(CControlRequest)
    WORD version;
    WORD command;  // EControlCommand
    DWORD console; // kControlScreen, kControlHistory: 1 station, 2 uploader
    DWORD watch;   // kControlWatch: kWatchState, kWatchScreens, kWatchHistories
    DWORD hold;    // kControlWatch: for how many ms only a change of the run state is answered
    DWORD reserved;
    ULONGLONG from;     // kControlHistory: the serial number of the first entry wanted
    CControlMarks seen; // kControlWatch
};
static_assert(sizeof(CControlRequest) == 64, "the same in 32-bit and 64-bit programs");

enum EControlKind : WORD { kAnswerState = 1, kAnswerScreen, kAnswerHistory, kAnswerError };

enum EControlError : DWORD {
    kErrorNone,
    kErrorMalformed, // a request of the wrong size or with a field out of its range
    kErrorVersion,
    kErrorCommand,  // no such command
    kErrorRefused,  // the caller may not do this, or could not be identified
    kErrorNoAnswer, // the window did not carry the command out within its bound
};

struct CControlHead {
    DWORD size; // of the whole message
    WORD version;
    WORD kind;   // EControlKind
    DWORD error; // EControlError, with kAnswerError
    DWORD reserved;
};
static_assert(sizeof(CControlHead) == 16, "the same in 32-bit and 64-bit programs");

// One script as its history tells it.
struct CControlScript {
    DWORD run;        // the current or last run, 0 before the first
    DWORD running;    // that run's child is up
    DWORD ended;      // some run has ended
    DWORD failedRuns; // runs that ended with an error
    DWORD startError; // the system's error when the last run could not start; 0 when it started
    DWORD howLength;  // bytes of how
    ULONGLONG since;  // when the current run started
    ULONGLONG lastEnd;
    // How the last run ended, as its record says it after the run's number: the record's bytes as the
    // history keeps them, decoded where they are shown.
    char how[kControlHowSize];
};
static_assert(sizeof(CControlScript) == 200, "the same in 32-bit and 64-bit programs");

enum : DWORD {
    kStateRunWanted = 1,  // the scripts were started and not stopped
    kStateIdle = 2,       // no console has a worker: Start may be given
    kStateService = 4,    // the station runs as a service
    kStateMayControl = 8, // the caller may start and stop the scripts
    kStateView = 16,      // a window that shows a service's station, which it does not run itself
};

// The answer to every command but kControlScreen and kControlHistory. The station folder's and then the
// program file's characters follow it, folderLength and imageLength of them, without a terminating zero.
struct CControlState {
    CControlHead head;
    DWORD pid;
    DWORD flags;   // kState...
    DWORD workers; // the consoles whose worker runs, as the lamps show them
    DWORD runMask; // the consoles still counted as running, as the buttons follow them
    CControlMarks marks;
    CControlScript scripts[2];
    DWORD folderLength;
    DWORD imageLength;
};
static_assert(sizeof(CControlState) == 472, "the same in 32-bit and 64-bit programs");

struct CControlScreen {
    CControlHead head;
    DWORD console;
    DWORD runs;  // the console's runs so far
    DWORD lines; // lines shown by the current run
    DWORD rows;  // rows in use, oldest first
    DWORD length[kControlRows];
    DWORD reserved[2];
    char text[kControlRows][kControlRowSize]; // each row's bytes, length[i] of them
};
static_assert(sizeof(CControlScreen) == 16 + 16 + 32 + kControlRows * kControlRowSize, "fixed layout");

// Entries from `from` on, each a CControlEntry and its bytes, the next at the following multiple of 8.
struct CControlHistory {
    CControlHead head;
    DWORD console;
    DWORD entries;     // in this message
    ULONGLONG first;   // the serial number of the oldest entry held
    ULONGLONG changes; // the history's changes so far
    ULONGLONG from;    // the serial number of the first entry in this message
    DWORD count;       // entries held
    DWORD reserved;
};
static_assert(sizeof(CControlHistory) == 56, "the same in 32-bit and 64-bit programs");

struct CControlEntry {
    ULONGLONG time;
    DWORD kind; // CConsoleHistory::EKind
    DWORD length;
};
static_assert(sizeof(CControlEntry) == 16, "the same in 32-bit and 64-bit programs");

// A request as it is to be sent.
CControlRequest MakeRequest(WORD command, DWORD console = 0);

// Checks a request of `size` bytes, and copies it out: kErrorNone, or what is wrong with it.
EControlError ReadRequest(const void* message, DWORD size, CControlRequest& request);

// An answer's head, checked against the message's size: FALSE for anything but an answer of `kind`
// (an error answer's code is in *error, where given).
BOOL ReadHead(const void* message, DWORD size, WORD kind, DWORD* error = nullptr);

// A state answer and its two paths, checked: the paths point into the message.
struct CStateView {
    CControlState state;
    const WCHAR* folder;
    const WCHAR* image;
};
BOOL ReadState(const void* message, DWORD size, CStateView& view);
BOOL ReadScreen(const void* message, DWORD size, CControlScreen& screen);

// Walks a history answer's entries. Next gives FALSE at the end, or at the first entry that does not fit
// the message, which Whole then tells.
class CHistoryReader {
public:
    BOOL Open(const void* message, DWORD size);
    const CControlHistory& Head() const { return m_head; }
    BOOL Next(CControlEntry& entry, const char*& text);
    BOOL Whole() const { return m_whole; }

private:
    const BYTE* m_message = nullptr;
    DWORD m_size = 0;
    DWORD m_at = 0;
    DWORD m_read = 0;
    BOOL m_whole = FALSE;
    CControlHistory m_head = {};
};

// Writers: each gives the message's size.
CControlHead MakeHead(DWORD size, WORD kind);
DWORD WriteError(void* message, EControlError error);
// `state` is filled in but for its head and its lengths.
DWORD WriteState(void* message, const CControlState& state, const WCHAR* folder, DWORD folderLength,
                 const WCHAR* image, DWORD imageLength);
// Appends an entry to a history answer being written at `size` bytes; FALSE when it does not fit.
BOOL AppendEntry(void* message, DWORD& size, const CControlEntry& entry, const char* text,
                 DWORD limit = kControlHistoryBytes);
