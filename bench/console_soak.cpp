// What a long stretch of restarts leaves behind. Two consoles, as in the program, run a script that writes
// one line and ends, with the pause between runs cut to a millisecond, until they have made RUNS runs
// between them (default 100,000; a station that restarts a failing script makes that many in half a day).
// The process's own handles, private bytes, bytes in use in its heaps, threads, GDI and USER objects are
// read with both consoles stopped: at the start, after the first 1,000 runs (which load and allocate what
// every later run reuses) and after every fifth of the runs. Target: every reading after the first 1,000 runs
// within its allowance of the reading there. Prints a table; exits 1 if a figure missed.
//   console_soak [RUNS]
#include "bench/BenchClock.h"
#include "tests/console/ConsoleHost.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <stdio.h>
#include <stdlib.h>

namespace {

const int kFigures = 6;
const unsigned kBaseRuns = 1000;

const char* const kNames[kFigures] = {"handles", "private bytes (KB)", "heap in use (KB)",
                                      "threads", "GDI objects",        "USER objects"};
const double kAllowed[kFigures] = {2, 64, 16, 0, 2, 2};

struct CUsage {
    double figure[kFigures];
};

// Wine counts no handles for GetProcessHandleCount: then every handle value is tried (they are multiples
// of four, and a process of this size stays far below the limit).
DWORD CountHandles() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0)
        return count;
    DWORD flags = 0;
    for (UINT_PTR value = 4; value < 0x10000; value += 4)
        count += GetHandleInformation((HANDLE)value, &flags) != FALSE;
    return count;
}

DWORD CountThreads() {
    DWORD threads = 0;
    CHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry))
        threads += entry.th32OwnerProcessID == GetCurrentProcessId();
    return threads;
}

// The commit charge. Wine leaves PrivateUsage 0 and counts in PagefileUsage only the pages written so far,
// so that the histories, committed whole at the start, would seem to grow until their rings are full:
// there the committed private pages are added up instead, as Windows counts them.
double PrivateKb() {
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), (PROCESS_MEMORY_COUNTERS*)&memory, sizeof memory);
    if (memory.PrivateUsage)
        return memory.PrivateUsage / 1024.0;
    SIZE_T bytes = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region); at += region.RegionSize)
        bytes += region.State == MEM_COMMIT && region.Type == MEM_PRIVATE ? region.RegionSize : 0;
    return bytes / 1024.0;
}

// What the heaps hold in blocks in use. A heap may keep the pages it once needed (Wine's kept them in
// every soak here), so that a moment when much was in use can show in private bytes for good; this figure
// shows whether anything stayed.
double HeapInUseKb() {
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    SIZE_T bytes = 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        PROCESS_HEAP_ENTRY entry = {};
        HeapLock(heaps[i]);
        while (HeapWalk(heaps[i], &entry))
            bytes += entry.wFlags & PROCESS_HEAP_ENTRY_BUSY ? entry.cbData : 0;
        HeapUnlock(heaps[i]);
    }
    return bytes / 1024.0;
}

// Of this process: Wine reads another process's handles and GUI objects as 0.
CUsage Measure() {
    return {{(double)CountHandles(), PrivateKb(), HeapInUseKb(), (double)CountThreads(),
             (double)GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS),
             (double)GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)}};
}

class CSoak {
public:
    CSoak() : m_host(true) {
        for (int i = 0; i < CConsoleHost::kLists; ++i) {
            m_host.Bind(m_consoles[i], i);
            CConsoleTestAccess::SetRestartPause(m_consoles[i], 1);
            m_consoles[i].SetCommand(m_scripts.Write(i ? "soak2.php" : "soak1.php", "out soak\n"));
        }
    }
    // Runs both consoles until they have made `runs` runs in all, then stops them and lets the owner's
    // window handle what they posted.
    void RunUntil(unsigned runs) {
        m_host.m_running = 1;
        for (CConsole& console : m_consoles)
            console.Start();
        m_host.PumpUntil([&] { return Runs() >= runs; }, INFINITE);
        m_host.m_running = 0;
        CConsole* const both[] = {&m_consoles[0], &m_consoles[1]};
        CConsole::StopTogether(both, 2);
        for (CConsole& console : m_consoles)
            console.WaitForWorker(INFINITE);
        m_host.Pump(200);
        // What the host records of each message it was told grows with every run, and is not the program's.
        for (std::vector<DWORD>& ticks : m_host.m_screenTicks)
            std::vector<DWORD>().swap(ticks);
        std::string().swap(m_host.m_notices);
    }
    unsigned Runs() const { return m_consoles[0].GetScreen().runs + m_consoles[1].GetScreen().runs; }

private:
    CScriptFolder m_scripts;
    CConsoleHost m_host;
    CConsole m_consoles[CConsoleHost::kLists];
};

void PrintRow(const char* label, unsigned runs, const CUsage& usage) {
    printf("%-12s %9u", label, runs);
    for (double figure : usage.figure)
        printf(" %14.0f", figure);
    printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    const unsigned runs = argc > 1 ? strtoul(argv[1], nullptr, 10) : 100000;
    const unsigned step = runs / 5 > kBaseRuns ? runs / 5 : kBaseRuns;
    printf("\nconsole_soak: two consoles restarting a script that writes a line and ends, pause 1 ms, %u "
           "runs\n\n",
           runs);
    printf("%-12s %9s", "reading", "runs");
    for (const char* name : kNames)
        printf(" %14s", name);
    printf("\n");

    CSoak soak;
    const double begin = Now();
    PrintRow("start", 0, Measure());
    // Every reading stops the consoles and starts them again: the first 1,000 runs are made in two such
    // stretches, so that what a new worker costs once (Wine frees an ended thread's block only when the
    // next thread ends, so a second start holds one more) is in the base, as it is in every later reading.
    soak.RunUntil(kBaseRuns / 2);
    soak.RunUntil(kBaseRuns);
    const CUsage base = Measure();
    PrintRow("base", soak.Runs(), base);
    CUsage most = base, least = base;
    for (unsigned next = (kBaseRuns / step + 1) * step; soak.Runs() < runs; next += step) {
        soak.RunUntil(next < runs ? next : runs);
        const CUsage now = Measure();
        PrintRow("", soak.Runs(), now);
        for (int i = 0; i < kFigures; ++i) {
            most.figure[i] = now.figure[i] > most.figure[i] ? now.figure[i] : most.figure[i];
            least.figure[i] = now.figure[i] < least.figure[i] ? now.figure[i] : least.figure[i];
        }
    }
    const double seconds = (Now() - begin) / 1000.0;
    printf("\n%u runs in %.0f s (%.1f per s)\n\n", soak.Runs(), seconds, soak.Runs() / seconds);

    printf("%-20s %12s %12s   %-12s\n", "after the base", "least", "most", "target");
    bool met = true;
    for (int i = 0; i < kFigures; ++i) {
        const bool flat =
            most.figure[i] - base.figure[i] <= kAllowed[i] && base.figure[i] - least.figure[i] <= kAllowed[i];
        met = met && flat;
        printf("%-20s %+12.0f %+12.0f   +-%-10.0f %s\n", kNames[i], least.figure[i] - base.figure[i],
               most.figure[i] - base.figure[i], kAllowed[i], flat ? "met" : "MISSED");
    }
    return met ? 0 : 1;
}
