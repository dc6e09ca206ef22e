#include "app/Quorvid.h"

#include "app/CommandLine.h"
#include "app/ControlClient.h"
#include "app/Output.h"
#include "app/StationLock.h"
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

// What the copy that holds the station's lock is asked to do.
int ActOnHolder(EAction action, HWND holder, COutput& out) {
    CControlClient control(out);
    switch (action) {
    case kStart:
        return control.Start(holder);
    case kStatus:
        return control.Status(holder);
    case kStop:
        return control.Stop(holder);
    case kExit:
        return control.Exit(holder);
    default:
        return control.Show(holder);
    }
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
    char text[2 * MAX_PATH + 100];
    if (!ParseCommandLine(::GetCommandLineW(), command)) {
        snprintf(text, sizeof text, "unknown switch: %s\r\nthe switches are %s", command.unknown, kSwitches);
        Refuse(out, text, ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (command.station[0] != 0 && !::SetCurrentDirectoryW(command.station)) {
        char folder[MAX_PATH * 2] = "";
        ::WideCharToMultiByte(CP_ACP, 0, command.station, -1, folder, sizeof folder, nullptr, nullptr);
        snprintf(text, sizeof text, "no station folder %s", folder);
        Refuse(out, text, ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (command.action == kList) {
        CControlClient control(out);
        m_nExitCode = control.List();
        return FALSE;
    }

    // Held until the program ends. A copy that finds another holding it acts on that one instead, or, with
    // no switch, shows its window, and starts nothing of its own.
    CStationLock station;
    HWND holder = nullptr;
    switch (station.TakeOrFind(holder)) {
    case CStationLock::kHolderHere:
        m_nExitCode = ActOnHolder(command.action, holder, out);
        return FALSE;
    case CStationLock::kHolderWindowless:
        out.Line("the copy of Quorvid that supervises this folder did not answer in time");
        m_nExitCode = CControlClient::kNoAnswer;
        return FALSE;
    case CStationLock::kHolderElsewhere:
        // A log-on start in a second session shows nothing: only a person who started it by hand is told.
        if (command.action == kRun)
            ::MessageBoxA(nullptr, kElsewhere, "Quorvid", MB_ICONINFORMATION);
        else
            out.Line(kElsewhere);
        m_nExitCode = CControlClient::kElsewhere;
        return FALSE;
    case CStationLock::kTaken:
        break;
    }
    if (command.action != kRun && command.action != kStart) {
        station.Release();
        out.Line(kNoCopy);
        m_nExitCode = CControlClient::kNotRunning;
        return FALSE;
    }

    INITCOMMONCONTROLSEX icc;
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&icc);

    CWinApp::InitInstance();

    // Named for form's sake: the program has no profile, so nothing is ever stored under this key.
    SetRegistryKey("Local AppWizard-Generated Applications");

    CQuorvidDlg dlg;
    dlg.m_pszWindowMark = station.WindowMark();
    m_pMainWnd = &dlg;
    dlg.DoModal();

    // The dialog was the program: no message loop of our own follows.
    return FALSE;
}
