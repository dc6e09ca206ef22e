#include "app/Quorvid.h"

#include "app/CommandLine.h"
#include "app/ControlClient.h"
#include "app/Output.h"
#include "app/StationLock.h"
#include "service/ServiceControl.h"
#include "ui/QuorvidDlg.h"

#include <commctrl.h>

#include <stdio.h>

BEGIN_MESSAGE_MAP(CQuorvidApp, CWinApp)
ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CQuorvidApp theApp;

namespace {

const char kNoCopy[] = "no copy of Quorvid supervises this folder";
const char kElsewhere[] = "this station folder is supervised in another user's session";
// A holder may still be starting (its pipe not yet served) or ending (its lock about to be free).
const DWORD kLookForHolderMs = 3000;
const DWORD kLookAgainMs = 50;

// What the copy that holds the station's lock is asked to do.
int ActOnHolder(EAction action, CControlChannel& channel, COutput& out) {
    CControlClient control(out);
    switch (action) {
    case kStart:
        return control.Start(channel);
    case kStatus:
        return control.Status(channel);
    case kStop:
        return control.Stop(channel);
    case kExit:
        return control.Exit(channel);
    default:
        return control.Show(channel);
    }
}

// The process of the station's service while it runs, else 0.
DWORD ServicePidOf(const WCHAR* stationId) {
    DWORD pid = 0;
    FindStationService(stationId, &pid);
    return pid;
}

} // namespace

// Says what is wrong where the caller can read it: on its output, else, for a person who started the
// program without a console, in a message box.
void CQuorvidApp::Refuse(COutput& out, LPCSTR text, int exitCode) {
    if (!out.Line(text))
        ::MessageBoxA(nullptr, text, "Quorvid", MB_ICONERROR);
    m_nExitCode = exitCode;
}

BOOL CQuorvidApp::InitInstance() {
    COutput out;
    CCommandLine command;
    char text[2 * MAX_PATH + 400];
    if (!ParseCommandLine(::GetCommandLineW(), command)) {
        snprintf(text, sizeof text, "unknown switch: %ls\r\nthe switches are %s", command.unknown, kSwitches);
        Refuse(out, text, ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (command.station != nullptr && !::SetCurrentDirectoryW(command.station)) {
        snprintf(text, sizeof text, "no station folder %.260ls", command.station);
        Refuse(out, text, ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    CControlClient control(out);
    switch (command.action) {
    case kList:
        m_nExitCode = control.List();
        return FALSE;
    case kExitAll:
        m_nExitCode = control.ExitAll(command.programFolder, command.save);
        return FALSE;
    case kResume:
        m_nExitCode = control.Resume(command.resume);
        return FALSE;
    default:
        break;
    }
    return RunOrAct(command, out);
}

// Held until the program ends. A copy that finds another holding the lock acts on that one instead, or,
// with no switch, shows its window, and starts nothing of its own.
BOOL CQuorvidApp::RunOrAct(const CCommandLine& command, COutput& out) {
    CStationLock station;
    DWORD servicePid = 0;
    if (FindStationService(station.StationId(), &servicePid))
        return ActOnService(command, station, out);
    WCHAR pipe[kPipeNameSize];
    StationPipeName(station.StationId(), pipe);
    CControlChannel channel;
    CStationLock::EResult lock = CStationLock::kHeld;
    for (const DWORD start = ::GetTickCount(); (lock = station.Take()) != CStationLock::kTaken;
         ::Sleep(kLookAgainMs)) {
        switch (channel.Open(pipe, 0)) {
        case CControlChannel::kOpened:
            m_nExitCode = ActOnHolder(command.action, channel, out);
            return FALSE;
        case CControlChannel::kForeign:
            m_nExitCode = CControlClient(out).Foreign(channel.ServerPid());
            return FALSE;
        case CControlChannel::kDenied:
            lock = CStationLock::kHeldElsewhere;
            break;
        case CControlChannel::kNoServer:
            break;
        }
        if (lock == CStationLock::kHeldElsewhere || ::GetTickCount() - start >= kLookForHolderMs)
            break;
    }
    if (lock == CStationLock::kHeldElsewhere) {
        // A log-on start in a second session shows nothing: only a person who started it by hand is told.
        if (command.action == kRun && !command.tray)
            ::MessageBoxA(nullptr, kElsewhere, "Quorvid", MB_ICONINFORMATION);
        else
            out.Line(kElsewhere);
        m_nExitCode = CControlClient::kElsewhere;
        return FALSE;
    }
    if (lock != CStationLock::kTaken) {
        m_nExitCode = CControlClient(out).NoAnswer();
        return FALSE;
    }
    if (command.action != kRun && command.action != kStart) {
        station.Release();
        out.Line(kNoCopy);
        m_nExitCode = CControlClient::kNotRunning;
        return FALSE;
    }
    return RunDialog(command, station.StationId(), false);
}

// A station that a service supervises: the switches reach the service, and with none, or --show, the program
// is this session's one view of it.
BOOL CQuorvidApp::ActOnService(const CCommandLine& command, const CStationLock& station, COutput& out) {
    CControlChannel channel;
    WCHAR id[kStationIdSize], pipe[kPipeNameSize];
    if (command.action == kRun || command.action == kShow) {
        ViewId(station.StationId(), id);
        StationPipeName(id, pipe);
        if (channel.Open(pipe, 0) != CControlChannel::kOpened)
            return RunDialog(command, station.StationId(), true);
        m_nExitCode = command.tray ? (int)CControlClient::kDone : CControlClient(out).Show(channel);
        return FALSE;
    }
    StationPipeName(station.StationId(), pipe);
    switch (channel.Open(pipe, kLookForHolderMs, 0, ServicePidOf(station.StationId()))) {
    case CControlChannel::kOpened:
        m_nExitCode = ActOnHolder(command.action, channel, out);
        break;
    case CControlChannel::kForeign:
        m_nExitCode = CControlClient(out).Foreign(channel.ServerPid());
        break;
    default:
        out.Line("the station's service is not running");
        m_nExitCode = CControlClient::kNotRunning;
        break;
    }
    return FALSE;
}

BOOL CQuorvidApp::RunDialog(const CCommandLine& command, const WCHAR* stationId, bool view) {
    INITCOMMONCONTROLSEX icc;
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&icc);

    CWinApp::InitInstance();

    // Named for form's sake: the program has no profile, so nothing is ever stored under this key.
    SetRegistryKey("Local AppWizard-Generated Applications");

    CQuorvidDlg dlg;
    dlg.m_pszStationId = stationId;
    dlg.m_bStartInTray = command.tray;
    dlg.m_bView = view;
    dlg.m_view.m_pfnServicePid = ServicePidOf;
    m_pMainWnd = &dlg;
    dlg.DoModal();

    // The dialog was the program: no message loop of our own follows.
    return FALSE;
}
