// The main dialog: construction, control binding, initialisation, the system menu's About entry, the
// minimised paint and the window's destruction. Run control is in RunControl.cpp, the tray in Tray.cpp.
#include "ui/QuorvidDlg.h"

#include "config/ConfigControls.h"
#include "config/ConfigReader.h"
#include "framework/App.h"
#include "framework/PaintDC.h"
#include "res/resource.h"
#include "ui/AboutDlg.h"

#include <string.h>

bool HasStartSwitch(LPCSTR commandLine) { return commandLine && strstr(commandLine, "--start") != nullptr; }

int CenteredIconOrigin(int clientExtent, int iconExtent) { return (clientExtent - iconExtent + 1) / 2; }

int ScaledForScreen(int pixelsAt96Dpi) {
    int dpi = 96;
    if (HDC screen = ::GetDC(nullptr)) {
        dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
        ::ReleaseDC(nullptr, screen);
    }
    return ::MulDiv(pixelsAt96Dpi, dpi, 96);
}

// The plain members get their working values in OnInitDialog; they start out idle so that nothing reads
// an undefined value should the window never come into being.
CQuorvidDlg::CQuorvidDlg(CWnd* pParent)
    : CDialog(IDD_MAIN_DIALOG, pParent), m_hIcon(nullptr), m_bRunning(0), m_trayIconIndex(0), m_hStateIcon(),
      m_hTrayMenu(nullptr), m_nid(), m_runMask(0) {
    m_hIcon = AfxGetApp()->LoadIcon(IDI_APP);
}

CQuorvidDlg::~CQuorvidDlg() = default;

void CQuorvidDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_LIST_STATION, m_listStation);
    DDX_Control(pDX, IDC_LIST_UPLOADER, m_listUploader);
    DDX_Control(pDX, IDC_STOP, m_btnStop);
    DDX_Control(pDX, IDC_START, m_btnStart);
    DDX_Control(pDX, IDC_CLOSE, m_btnClose);
    DDX_Control(pDX, IDC_LOGIN, m_editLogin);
    DDX_Control(pDX, IDC_PASSWORD, m_editPassword);
    DDX_Control(pDX, IDC_UDP_SERVER, m_editUdpServer);
    DDX_Control(pDX, IDC_HTTP_SERVER, m_editHttpServer);
    DDX_Control(pDX, IDC_INTERVAL, m_sliderInterval);
    DDX_Control(pDX, IDC_INTERVAL_LABEL, m_staticInterval);
}

// A WM_COMMAND comes through OnCommand (Tray.cpp) before this map is searched.
BEGIN_MESSAGE_MAP(CQuorvidDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_COMMAND(IDCLOSE, &CQuorvidDlg::OnBnClickedClose)
ON_BN_CLICKED(IDC_START, &CQuorvidDlg::OnBnClickedStart)
ON_WM_DESTROY()
ON_MESSAGE(WM_TRAYICON, &CQuorvidDlg::OnTrayIcon)
ON_MESSAGE(WM_CONSOLE_STATE, &CQuorvidDlg::OnConsoleState)
ON_MESSAGE(WM_CONSOLE_SCREEN, &CQuorvidDlg::OnConsoleScreen)
ON_MESSAGE(WM_CONSOLE_STOPBUTTON, &CQuorvidDlg::OnConsoleStopButton)
ON_MESSAGE(WM_CONSOLE_HISTORY, &CQuorvidDlg::OnConsoleHistory)
ON_WM_SIZE()
ON_WM_TIMER()
ON_WM_CLOSE()
ON_BN_CLICKED(IDC_CLOSE, &CQuorvidDlg::OnBnClickedClose)
ON_BN_CLICKED(IDC_STOP, &CQuorvidDlg::OnBnClickedStop)
ON_REGISTERED_MESSAGE(s_wmTaskbarCreated, &CQuorvidDlg::OnTaskbarCreated)
ON_WM_LBUTTONDBLCLK()
ON_WM_NOTIFY()
ON_COMMAND(IDOK, &CQuorvidDlg::OnEnter)
ON_MESSAGE(WM_CONTROL_PENDING, &CQuorvidDlg::OnControlPending)
ON_MESSAGE(WM_WINDOWPOSCHANGING, &CQuorvidDlg::OnWindowPosChanging)
ON_MESSAGE(WM_WINDOWPOSCHANGED, &CQuorvidDlg::OnWindowPosChanged)
ON_MESSAGE(WM_VIEW_STATE, &CQuorvidDlg::OnViewState)
ON_MESSAGE(WM_HISTORY_CLOSED, &CQuorvidDlg::OnHistoryClosed)
END_MESSAGE_MAP()

BOOL CQuorvidDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    m_bRunning = 1;
    m_runMask = 0;
    m_trayIconIndex = 0;

    SetUpHistory();
    if (HMENU sysMenu = GetSystemMenu(FALSE)) {
        char about[256] = "";
        if (::LoadStringA(AfxGetResourceHandle(), IDS_ABOUTBOX, about, sizeof about) > 0 && about[0]) {
            ::AppendMenuA(sysMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(sysMenu, MF_STRING, IDM_ABOUTBOX, about);
        }
    }

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    SetUpList(m_listStation);
    SetUpList(m_listUploader);

    m_stationConsole.SetList(&m_listStation);
    m_stationConsole.SetOwner(this, kStationId, &m_bRunning);
    m_uploaderConsole.SetList(&m_listUploader);
    m_uploaderConsole.SetOwner(this, kUploaderId, &m_bRunning);

    for (int i = 0; i < 4; ++i)
        m_hStateIcon[i] = ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_STATE_0 + i));
    m_hTrayMenu = ::LoadMenuA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_TRAY_MENU));

    // The range comes first: the configuration then sets the position within it.
    m_sliderInterval.SetRangeMin(kIntervalMin, TRUE);
    m_sliderInterval.SetRangeMax(kIntervalMax, TRUE);
    LoadConfig("config.ini");

    AddTrayIcon();
    if (m_bStartInTray && !m_bTrayIconAdded)
        ShowOnTaskbar();
    SetUpControl();
    if (m_bView)
        SetUpView();

    // Posted, not sent: the consoles start once the modal loop runs, never from within this handler. The
    // Start command itself, not a click: BM_CLICK is documented to fail when the dialog is not the active
    // window, as it usually is not when the program starts at log-on.
    if (HasStartSwitch(::GetCommandLineA()))
        PostMessage(WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), (LPARAM)m_btnStart.m_hWnd);

    return TRUE;
}

// The column is wider than the list, so that a long line runs to the list's edge and is cut there. The
// program is DPI-aware (its manifest says so): the dialog grows with the system font, and the column,
// given in pixels, must grow with it.
void CQuorvidDlg::SetUpList(CListCtrl& list) {
    list.SetExtendedStyle(list.GetExtendedStyle() | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    list.InsertColumn(0, "", LVCFMT_LEFT, ScaledForScreen(kListColumnWidth));
}

void CQuorvidDlg::OnSysCommand(UINT nID, LPARAM lParam) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX)
        ShowAboutBox();
    else if ((nID & 0xFFF0) == IDM_STATION_HISTORY)
        OpenHistory(kStationId);
    else if ((nID & 0xFFF0) == IDM_UPLOADER_HISTORY)
        OpenHistory(kUploaderId);
    else
        CDialog::OnSysCommand(nID, lParam);
}

void CQuorvidDlg::ShowAboutBox() {
    CAboutDlg about;
    about.DoModal();
}

void CQuorvidDlg::OnPaint() {
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, (WPARAM)dc.m_hDC, 0);
    RECT rect;
    GetClientRect(&rect);
    const int x = CenteredIconOrigin(rect.right - rect.left, ::GetSystemMetrics(SM_CXICON));
    const int y = CenteredIconOrigin(rect.bottom - rect.top, ::GetSystemMetrics(SM_CYICON));
    ::DrawIcon(dc.m_hDC, x, y, m_hIcon);
}

HCURSOR CQuorvidDlg::OnQueryDragIcon() { return (HCURSOR)m_hIcon; }

void CQuorvidDlg::OnDestroy() {
    CDialog::OnDestroy();
    EndControl();
    m_view.Stop();
    // Whichever way the dialog ended (Escape and Enter end it while scripts run), no worker may start its
    // script again once the window is going.
    m_bRunning = 0;
    CConsole* const consoles[] = {&m_uploaderConsole, &m_stationConsole};
    const BOOL stopped = CConsole::StopTogether(consoles, 2);
    RemoveTrayIcon();
    // A worker still alive after Stop's bound uses its console, a member of this dialog, which goes when
    // the dialog ends: the program ends here instead, and the system ends the scripts' jobs with it.
    if (!stopped)
        AfxEndProcessNow(kWorkerLeftExitCode);
}

BOOL CQuorvidDlg::LoadConfig(LPCSTR fileName) {
    CConfigControls view(m_editLogin, m_editPassword, m_editUdpServer, m_editHttpServer, m_sliderInterval,
                         m_staticInterval);
    return ReadConfig(fileName, view);
}
