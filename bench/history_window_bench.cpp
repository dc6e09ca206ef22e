// What the history window costs while a script floods: how fast the real main dialog's station console
// shows 200,000 lines with its history window closed, open and following the newest row, and open and
// held with every row selected (the dearest case: the selection moves with its entries as they go), and
// the process's CPU time for each. Prints a table. Runs the stand-in php.exe found beside this program.
#include "bench/BenchClock.h"
#include "bench/BenchReport.h"
#include "framework/App.h"
#include "res/resource.h"
#include "ui/QuorvidDlg.h"

#include <fstream>
#include <stdio.h>

CWinApp g_app;

namespace {

const unsigned kLines = 200000;
const char* const kModes[] = {"closed", "open, following", "open, held, all rows selected"};

CQuorvidDlg* g_dlg = nullptr;
int g_mode = 0;
double g_ms = 0, g_cpuMs = 0;

// Handles the dialog's messages, as its modal loop would, until the station console has shown them all.
unsigned PumpUntilShown(double until) {
    unsigned lines = 0;
    for (; (lines = g_dlg->m_stationConsole.GetScreen().lines) < kLines && Now() < until;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return lines;
}

// Runs once the dialog's modal loop is under way.
void CALLBACK Measure(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    CQuorvidDlg& d = *g_dlg;
    if (g_mode > 0)
        d.SendMessage(WM_SYSCOMMAND, IDM_STATION_HISTORY);
    const double start = Now(), cpu = CpuMs();
    d.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), (LPARAM)d.GetDlgItem(IDC_START));
    if (g_mode == 2) {
        CListCtrl& list = d.m_stationHistory.m_list;
        while (list.GetItemCount() < 100 && Now() < start + 10000)
            PumpUntilShown(Now() + 5);
        d.m_stationHistory.SelectAll();
        list.EnsureVisible(0, FALSE);
    }
    const unsigned shown = PumpUntilShown(start + 120000);
    g_ms = shown == kLines ? Now() - start : 0;
    g_cpuMs = CpuMs() - cpu;
    d.EndDialog(IDCANCEL);
}

} // namespace

int main() {
    CBenchFolder folder("qhb");
    std::ofstream("sbs1station.php")
        << "lines " << kLines << " 2010-05-17 bench line %n: the quick brown fox jumps over the lazy dog\n"
        << "hang\n";
    std::ofstream("uploader.php") << "hang\n";

    printf("%-34s %12s %10s %14s\n", "history window, 200000 lines", "lines/s", "of closed", "CPU ms");
    double closed = 0;
    for (g_mode = 0; g_mode < 3; ++g_mode) {
        CQuorvidDlg dlg;
        g_dlg = &dlg;
        SetTimer(nullptr, 0, 200, Measure);
        dlg.DoModal();
        const double rate = g_ms > 0 ? kLines * 1000.0 / g_ms : 0;
        if (g_mode == 0)
            closed = rate;
        printf("%-34s %12.0f %9.0f%% %14.0f%s\n", kModes[g_mode], rate, closed > 0 ? rate * 100 / closed : 0,
               g_cpuMs, g_ms > 0 ? "" : "  (not all lines shown in 120 s)");
    }
    printf("no target: the worker never waits for the window, which costs the flood only the CPU it takes\n");
    return 0;
}
