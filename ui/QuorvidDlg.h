// CQuorvidDlg: the program's main window. Owns the two consoles and shows what they do, the read-only
// settings of config.ini, the Start, Stop and Close buttons, and the tray icon with its popup menu.
#pragma once

#include "console/Console.h"
#include "control/ControlDesk.h"
#include "control/ControlServer.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "ui/HistoryWnd.h"
#include "ui/StationView.h"

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <stddef.h>

// The tray icon's callback: lParam is the mouse message.
#define WM_TRAYICON (WM_USER + 100)

// True when "--start" stands anywhere in the command line, case-sensitively.
bool HasStartSwitch(LPCSTR commandLine);
// Where an icon of the given extent starts when centred in the client extent, rounding as the
// minimised paint does (signed, truncated toward zero).
int CenteredIconOrigin(int clientExtent, int iconExtent);
// A length given in pixels at 96 DPI, in pixels of the screen's DPI.
int ScaledForScreen(int pixelsAt96Dpi);

class CQuorvidDlg : public CDialog {
public:
    explicit CQuorvidDlg(CWnd* pParent = nullptr);

    // The tray record as far as guidItem: the size the shell knows for this build's own layout (504
    // bytes for 32-bit programs, 520 for 64-bit ones), whatever newer members the headers declare.
    static constexpr UINT kNotifyIconDataSize = offsetof(NOTIFYICONDATAA, guidItem) + sizeof(GUID);
    ~CQuorvidDlg() override;

    enum : UINT {
        kStationId = 1,
        kUploaderId = 2,
        kTrayIconId = 100,
        kTrayRetryTimer = 1,
        kTrayRetryMs = 2000,
        kListColumnWidth = 400, // pixels at 96 DPI
        kIntervalMin = 5,
        kIntervalMax = 30,
        // The program's exit code when it closed with a script's worker still alive after Stop's bound.
        kWorkerLeftExitCode = ERROR_PROCESS_ABORTED,
    };

    HICON m_hIcon;
    // Written here on the user-interface thread, read by the consoles' workers.
    std::atomic<BYTE> m_bRunning;
    BYTE m_trayIconIndex;
    HICON m_hStateIcon[4];
    HMENU m_hTrayMenu;
    NOTIFYICONDATAA m_nid;
    // Whether the icon is in the notification area: only then does minimising hide the window.
    BOOL m_bTrayIconAdded = FALSE;
    UINT32 m_runMask;
    CConsole m_stationConsole;
    CConsole m_uploaderConsole;
    CListCtrl m_listStation;
    CListCtrl m_listUploader;
    CButton m_btnStop;
    CButton m_btnStart;
    CButton m_btnClose;
    CEdit m_editLogin;
    CEdit m_editPassword;
    CEdit m_editUdpServer;
    CEdit m_editHttpServer;
    CSliderCtrl m_sliderInterval;
    CStatic m_staticInterval;
    // Each console's history window, opened from its list and from the system menu (History.cpp).
    CHistoryWnd m_stationHistory;
    CHistoryWnd m_uploaderHistory;
    // The station id whose pipe this window's station is controlled through; null for none. Not owned.
    const WCHAR* m_pszStationId = nullptr;
    // The window starts hidden in the notification area (--tray), until it is asked for.
    bool m_bStartInTray = false;
    // The control channel (Control.cpp): its server's threads hand commands to this window on the desk.
    CControlDesk m_desk;
    CControlServer m_server{m_desk};
    // The window is a view of the service that supervises its station (View.cpp): its consoles show the
    // service's, Start and Stop act on the service's scripts, and closing it closes only the view.
    bool m_bView = false;
    CStationView m_view;
    CStatic m_viewStatus;

    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnDestroy();

    // Run control.
    void OnBnClickedStart();
    void OnBnClickedStop();
    void OnBnClickedClose();
    void OnClose();
    LRESULT OnConsoleState(WPARAM wParam, LPARAM lParam);
    LRESULT OnConsoleScreen(WPARAM wParam, LPARAM lParam);
    LRESULT OnConsoleStopButton(WPARAM wParam, LPARAM lParam);
    void DisableControls();
    // The buttons, the lists and the tray picture as the run mask says, and the state for the control
    // channel.
    void ApplyRunState();

    // Tray icon.
    void AddTrayIcon();
    void SetTrayStateIcon(BYTE index);
    void RemoveTrayIcon();
    LRESULT OnTrayIcon(WPARAM wParam, LPARAM lParam);
    LRESULT OnTaskbarCreated(WPARAM wParam, LPARAM lParam);
    void OnTimer(UINT_PTR nIDEvent);
    void OnSize(UINT nType, int cx, int cy);
    // Shell_NotifyIconA; the tests make it fail as the shell can at log-on.
    virtual BOOL NotifyIcon(DWORD message, NOTIFYICONDATAA* data);

    BOOL LoadConfig(LPCSTR fileName);

    // History windows.
    void SetUpHistory();
    BOOL OpenHistory(LPARAM id);
    LRESULT OnConsoleHistory(WPARAM wParam, LPARAM lParam);
    LRESULT OnLButtonDblClk(WPARAM wParam, LPARAM lParam);
    LRESULT OnNotify(WPARAM wParam, LPARAM lParam);
    void OnEnter();

    // The control channel (Control.cpp).
    void SetUpControl();
    void EndControl();
    void PublishState();
    LRESULT OnControlPending(WPARAM wParam, LPARAM lParam);
    void CloseEverythingAbove();
    LRESULT OnWindowPosChanging(WPARAM wParam, LPARAM lParam);

    // The view of a service's station (View.cpp).
    void SetUpView();
    LRESULT OnViewState(WPARAM wParam, LPARAM lParam);
    LRESULT OnWindowPosChanged(WPARAM wParam, LPARAM lParam);
    LRESULT OnHistoryClosed(WPARAM wParam, LPARAM lParam);
    void FollowWhatIsShown();
    void ShowViewStatus(const CStationView::CRemote& remote);

    static const UINT s_wmTaskbarCreated;

    DECLARE_MESSAGE_MAP()

private:
    void SetUpList(CListCtrl& list);
    void StartConsole(CConsole& console, LPCSTR command, BYTE id);
    CConsole* ConsoleOf(LPARAM id);
    void ShowTrayMenu();
    void ShowAndRestore();
    void ShowOnTaskbar();
    void ShowAboutBox();
    static LPCSTR CommandOf(LPARAM id);
    // The script's file name: the command's last word.
    static LPCSTR ScriptOf(LPARAM id);
    CHistoryWnd* HistoryOf(LPARAM id);
};
