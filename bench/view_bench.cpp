// What a view of a station's service costs and how fast it follows: how fast a flooding script's lines reach
// the view's list against the window that runs the script itself, how soon the view is idle after its Stop,
// and the view's own CPU while its window is hidden. The service is a real one, installed for a throw-away
// station folder with Quorvid.exe --install-service (an administrator's rights); the view and the window are
// the real main dialog in this process, so that their CPU can be read. Prints a table; exit code 1 when a
// figure misses its target.
#include "bench/BenchClock.h"
#include "bench/BenchReport.h"
#include "control/ControlNames.h"
#include "framework/App.h"
#include "res/resource.h"
#include "service/ServiceControl.h"
#include "ui/QuorvidDlg.h"

#include <fstream>
#include <functional>
#include <stdio.h>
#include <string>
#include <vector>

CWinApp g_app;

namespace {

const unsigned kLines = 200000;

// Handles this thread's messages until `done` holds or `ms` pass; false then.
bool PumpUntil(const std::function<bool()>& done, double ms) {
    for (const double until = Now() + ms; !done();) {
        if (Now() > until)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);)
            DispatchMessageA(&msg);
    }
    return true;
}

// Handles this thread's messages for `ms`, woken by them alone.
void Idle(double ms) {
    for (const double until = Now() + ms; Now() < until;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, (DWORD)(until - Now()) + 1, QS_ALLINPUT);
        for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);)
            DispatchMessageA(&msg);
    }
}

std::string LastRow(const CListCtrl& list) {
    char text[256] = "";
    list.GetItemText(CConsole::kRows - 1, 0, text, sizeof text);
    return text;
}

void Click(CQuorvidDlg& dlg, int id) {
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)dlg.GetDlgItem(id));
}

DWORD ServicePid(const WCHAR* stationId) {
    DWORD pid = 0;
    FindStationService(stationId, &pid);
    return pid;
}

// Runs `body` inside the dialog's modal loop, in view mode for `stationId` where it is given.
void WithDialog(const WCHAR* stationId, const std::function<void(CQuorvidDlg&)>& body) {
    static std::function<void(CQuorvidDlg&)> s_body;
    static CQuorvidDlg* s_dlg;
    CQuorvidDlg dlg;
    dlg.m_bView = stationId != nullptr;
    dlg.m_pszStationId = stationId;
    dlg.m_view.m_pfnServicePid = ServicePid;
    struct CTimer {
        static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            s_body(*s_dlg);
            s_dlg->EndDialog(IDCANCEL);
        }
    };
    s_body = body, s_dlg = &dlg;
    SetTimer(nullptr, 0, 200, CTimer::OnTimer);
    dlg.DoModal();
}

void Write(const std::string& station, const std::string& uploader) {
    std::ofstream("sbs1station.php") << station;
    std::ofstream("uploader.php") << uploader;
}

// Lines a second from Start to the flood's last line shown in the station's list; `who` marks the lines.
double FloodRate(CQuorvidDlg& dlg, const std::string& who) {
    Write("lines " + std::to_string(kLines) + " 2010-05-17 " + who + " %n\nhang\n", "hang\n");
    const std::string last = who + " " + std::to_string(kLines);
    const double start = Now();
    Click(dlg, IDC_START);
    if (!PumpUntil([&] { return LastRow(dlg.m_listStation) == last; }, 120000))
        return 0;
    const double rate = kLines * 1000.0 / (Now() - start);
    Click(dlg, IDC_STOP);
    PumpUntil([&] { return dlg.m_runMask == 0; }, 10000);
    return rate;
}

// The median time from Stop until the window is idle, for idle scripts, the moment moved through the
// workers' polling.
double StopMedian(CQuorvidDlg& dlg) {
    Write("out ready\nhang\n", "out ready\nhang\n");
    std::vector<double> stops;
    for (int i = 0; i < 9; ++i) {
        Click(dlg, IDC_START);
        PumpUntil([&] { return dlg.m_runMask == 3 && dlg.m_listUploader.GetItemCount() == 1; }, 10000);
        Idle(37 * i % 200);
        const double start = Now();
        Click(dlg, IDC_STOP);
        PumpUntil([&] { return dlg.m_runMask == 0 && dlg.m_btnStart.IsWindowEnabled(); }, 10000);
        stops.push_back(Now() - start);
    }
    return Median(stops);
}

bool Quorvid(const std::string& arguments) {
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    strcpy(strrchr(program, '\\') + 1, "Quorvid.exe");
    std::string line = "\"" + std::string(program) + "\" " + arguments;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    DWORD code = 1;
    if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        WaitForSingleObject(pi.hProcess, 60000);
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hProcess), CloseHandle(pi.hThread);
    }
    return code == 0;
}

} // namespace

int main() {
    CBenchFolder folder("qvb");
    Write("hang\n", "hang\n");
    WCHAR stationId[kStationIdSize];
    CurrentStationId(stationId);
    CBenchTable table;

    // The window's own, before the folder is the service's.
    double own = 0, ownStop = 0;
    WithDialog(nullptr, [&](CQuorvidDlg& dlg) {
        own = FloodRate(dlg, "own line");
        ownStop = StopMedian(dlg);
    });
    table.Report("the window's own: 200000 lines shown per second", "%.0f", own, "-", true);
    table.Report("the window's own: median Stop to idle, idle scripts (ms)", "%.0f", ownStop, "-", true);

    if (!Quorvid(std::string("--install-service --force --station=") + folder.m_path) || !Quorvid("--stop")) {
        printf("view_bench: the service could not be installed (an administrator's rights are needed)\n");
        return 1;
    }
    double view = 0, viewStop = 0, cpu = 0;
    WithDialog(stationId, [&](CQuorvidDlg& dlg) {
        PumpUntil([&] { return dlg.m_view.Remote().connected; }, 10000);
        view = FloodRate(dlg, "view line");
        viewStop = StopMedian(dlg);
        // Hidden, while the service's scripts write a line every 20 ms.
        Write("every 20 0 tick %n\n", "every 20 0 tick %n\n");
        Click(dlg, IDC_START);
        PumpUntil([&] { return dlg.m_runMask == 3; }, 10000);
        dlg.ShowWindow(SW_HIDE);
        Idle(1000);
        const double start = Now(), used = CpuMs();
        Idle(10000);
        cpu = (CpuMs() - used) * 100 / (Now() - start);
        Click(dlg, IDC_STOP);
        PumpUntil([&] { return dlg.m_runMask == 0; }, 10000);
    });
    Quorvid("--remove-service");

    table.Report("the view: 200000 lines shown per second", "%.0f", view,
                 ">= " + Format("%.0f", (int)own / 2) + " (half the window's)", view >= own / 2);
    table.Report("the view: median Stop to idle, idle scripts (ms)", "%.0f", viewStop, "<= 50",
                 viewStop <= 50);
    table.Report("the view: CPU while hidden, scripts writing (% of a core)", "%.3f", cpu, "<= 0.1",
                 cpu <= 0.1);
    return table.Print() ? 0 : 1;
}
