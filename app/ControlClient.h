// CControlClient: the asking side of the control switches. It speaks with the copy that supervises a
// station, through that station's pipe, or with every copy of this user's, through their own pipes; it says
// on the output what it found and gives the switch's exit code.
#pragma once

#include "app/Output.h"
#include "control/ControlChannel.h"

#include <windows.h>

class CControlClient {
public:
    // The exit codes of the control switches.
    enum : int {
        kDone = 0,
        kNotRunning = 1, // --status: not both scripts run; --start: a script could not be started; the
                         // others: no copy supervises the folder
        kNoAnswer = 2,   // also: --exit, the copy ended through its last resort
        kElsewhere = 3,  // the folder is supervised in another user's session
        kForeign = 4,    // another program holds the station's control name
        kRefused = ERROR_ACCESS_DENIED, // the station's service does not let this user start or stop it
    };

    explicit CControlClient(COutput& out) : m_out(out) {}
    CControlClient(const CControlClient&) = delete;
    CControlClient& operator=(const CControlClient&) = delete;

    // Each acts on the copy at the other end of the channel, and gives an exit code.
    int Status(CControlChannel& channel);
    int Stop(CControlChannel& channel);
    int Start(CControlChannel& channel);
    int Exit(CControlChannel& channel);
    int Show(CControlChannel& channel);
    // Every copy of this user's, one line each: pid, running or idle, program, folder.
    int List();
    // Closes every copy of this user's whose program lies in `programFolder`, and writes what is needed to
    // start them again to `saveFile`. kNoAnswer when one did not close: those closed are started again.
    int ExitAll(const WCHAR* programFolder, const WCHAR* saveFile);
    // Starts the copies in `file` again, each in its station folder, and deletes the file.
    int Resume(const WCHAR* file);

    int NoAnswer();
    int Foreign(DWORD pid);

private:
    enum : DWORD {
        kAskMs = 5000, // a copy in the middle of a Stop answers after it
        kLookAgainMs = 50,
        // A stop waits at most 4 s for the consoles; ending the program after it takes little more.
        kStopBoundMs = 8000,
    };

    // Asks until `reached` says the copy is where it should be, giving `command` once, when `due` says
    // so; kDone, or kNoAnswer once `ms` have passed. The state last read stays in `view`.
    template <typename Reached, typename Due>
    int Drive(CControlChannel& channel, WORD command, CStateView& view, Reached reached, Due due, DWORD ms);
    int Describe(const CStateView& view);

    COutput& m_out;
};
