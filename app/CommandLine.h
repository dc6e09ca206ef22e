// The program's command line: what it is to do, and in which station folder.
#pragma once

#include <windows.h>

enum EAction {
    kRun,            // no switch: run here, or show the copy that runs in this folder
    kStart,          // --start: run here and start the scripts, or have the copy that runs start them
    kShow,           // --show: show the copy that runs in this folder
    kStatus,         // --status
    kStop,           // --stop
    kExit,           // --exit
    kList,           // --list: every copy of this user's, and every service
    kExitAll,        // --exit-all --program-folder=DIR --save=FILE: close every copy of a program folder
    kResume,         // --resume=FILE: start again the copies --exit-all closed
    kInstallService, // --install-service [--force]
    kRemoveService,  // --remove-service
    kService,        // --service: run as the service the system starts
};

// The switches, for the message that names them.
extern const char kSwitches[];

// What the command line says. The strings point into its own copy of the command line; null when not given.
struct CCommandLine {
    EAction action = kRun;
    const WCHAR* station = nullptr;       // --station=DIR
    const WCHAR* programFolder = nullptr; // --program-folder=DIR
    const WCHAR* save = nullptr;          // --save=FILE
    const WCHAR* resume = nullptr;        // --resume=FILE
    bool tray = false;                    // --tray: the window starts hidden in the notification area
    bool force = false;                   // --force
    // The first argument that is no switch of the program, or that does not go with the others; empty when
    // all is well.
    WCHAR unknown[MAX_PATH] = {};

    CCommandLine() = default;
    ~CCommandLine();
    CCommandLine(const CCommandLine&) = delete;
    CCommandLine& operator=(const CCommandLine&) = delete;

    WCHAR* m_copy = nullptr;
};

// FALSE when an argument is no switch of the program, when it names two actions, or when a switch does not
// go with the action. Switches are case-sensitive and stand alone, each in an argument of its own. A value
// may be quoted, in part or whole ("--station=C:\a b\" and --station="D:\" alike): a path has no quote of
// its own, so a quote always ends or begins a quoted stretch and a backslash is always a backslash.
BOOL ParseCommandLine(LPCWSTR commandLine, CCommandLine& parsed);

// An argument as ParseCommandLine reads it back: quoted where it holds a blank or is empty.
// `out` has room for the argument and three characters more.
void QuoteArgument(const WCHAR* argument, WCHAR* out);
