#include "app/Quorvid.h"

#include "app/StationLock.h"
#include "ui/QuorvidDlg.h"

#include <commctrl.h>

BEGIN_MESSAGE_MAP(CQuorvidApp, CWinApp)
ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CQuorvidApp theApp;

BOOL CQuorvidApp::InitInstance() {
    // Held until the program ends. A second copy in this station folder shows the first one's window
    // instead of its own and starts nothing, "--start" or not; its exit code tells whoever started it.
    CStationLock station;
    m_nExitCode = (int)station.TakeOrShowHolder();
    if (m_nExitCode != ERROR_SUCCESS)
        return FALSE;

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
