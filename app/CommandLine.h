// The program's command line: what it is to do, and in which station folder.
#pragma once

#include <windows.h>

enum EAction {
    kRun,    // no switch: run here, or show the copy that runs in this folder
    kStart,  // --start: run here and start the scripts, or have the copy that runs start them
    kShow,   // --show: show the copy that runs in this folder
    kStatus, // --status
    kStop,   // --stop
    kExit,   // --exit
    kList,   // --list: every copy that runs in this session
};

// The switches, for the message that names them.
extern const char kSwitches[];

struct CCommandLine {
    EAction action = kRun;
    // The folder of --station=DIR; empty for the current directory. Wide: the folder's name may hold
    // characters outside the code page.
    WCHAR station[MAX_PATH] = {};
    // The first argument that is no switch of the program, or the second action; empty when all is well.
    char unknown[MAX_PATH] = {};
};

// FALSE when an argument is no switch of the program, or when it names two actions. Switches are
// case-sensitive and stand alone, each in an argument of its own.
BOOL ParseCommandLine(LPCWSTR commandLine, CCommandLine& parsed);
