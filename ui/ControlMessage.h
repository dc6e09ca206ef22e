// What copies of the program say to each other: a copy started with a control switch (--status, --stop,
// --start, --exit, --list) asks the copy that supervises a station folder through WM_COPYDATA sent to its
// main window, and that copy answers with WM_COPYDATA sent back to the window the request named. The
// records have the same layout in 32-bit and 64-bit programs, so that either can ask the other.
#pragma once

#include <windows.h>

enum : DWORD {
    kControlRequest = 0x51564331, // COPYDATASTRUCT::dwData of a request ("QVC1")
    kControlAnswer = 0x51564141,  // and of an answer
};

// The requests. Every one is answered with the copy's state; a command is carried out only when it names
// the ticket of an answer that went to the same user's window (see CControlAnswer::ticket).
enum EControl : DWORD { kControlAsk, kControlStart, kControlStop, kControlExit };

struct CControlRequest {
    DWORD command; // EControl
    BYTE ticket[16];
};

struct CControlScript {
    char name[32];      // "uploader.php"
    DWORD run;          // the current or last run, 0 before the first
    DWORD running;      // that run's child is up
    DWORD ended;        // some run has ended
    SYSTEMTIME since;   // when the current run started
    SYSTEMTIME lastEnd; // when the last run ended
    char lastHow[160];  // how, as its record says it ("ended after 0.2 s: exit code 255")
};

struct CControlAnswer {
    DWORD pid;
    DWORD runWanted; // its scripts were started with Start and not stopped
    DWORD idle;      // neither console has a worker: Start may be given
    // A fresh secret with every answer, good for one command: only the window the answer went to learns
    // it, and the copy sends answers only to windows of processes of its own user.
    BYTE ticket[16];
    CControlScript scripts[2]; // station, uploader
    char folder[MAX_PATH];
    char image[MAX_PATH];
};

// Marks the main window of every copy that answers these requests, whatever its folder (for --list).
#define QUORVID_CONTROL_MARK "Quorvid.Control"
