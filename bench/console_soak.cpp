// What a long stretch of restarts leaves behind. Two consoles, as in the program, run a script that ends at
// once, so they restart it about every 100 ms, for the given number of seconds (default 600). The process's
// handles, private bytes and threads are taken from inside, idle before and idle after, and sampled while
// the consoles run. Prints a table: each figure beside its target.
//   console_soak [SECONDS]
#include "tests/console/ConsoleHost.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <stdio.h>
#include <stdlib.h>

namespace {

struct CUsage {
    DWORD handles;
    double privateKb;
    DWORD threads;
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

CUsage Measure() {
    CUsage usage = {};
    usage.handles = CountHandles();
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), (PROCESS_MEMORY_COUNTERS*)&memory, sizeof memory);
    // The commit charge: Wine fills in only the older field of the two that hold it.
    usage.privateKb = (memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage) / 1024.0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        usage.threads += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return usage;
}

class CSoak {
public:
    CSoak() {
        for (int i = 0; i < CConsoleHost::kLists; ++i) {
            m_host.Bind(m_consoles[i], i);
            m_consoles[i].SetCommand(m_scripts.Write(i ? "soak2.php" : "soak1.php", "# ends at once\n"));
        }
    }
    void Run(DWORD ms, CUsage* most) {
        m_host.m_running = 1;
        for (CConsole& console : m_consoles)
            console.Start();
        for (DWORD begin = GetTickCount(); GetTickCount() - begin < ms;) {
            m_host.Pump(1000);
            CUsage now = Measure();
            if (most != nullptr) {
                most->handles = std::max(most->handles, now.handles);
                most->privateKb = std::max(most->privateKb, now.privateKb);
                most->threads = std::max(most->threads, now.threads);
            }
        }
        m_host.m_running = 0;
        for (CConsole& console : m_consoles)
            console.Stop(), console.WaitForWorker(INFINITE);
        m_host.Pump(200);
    }
    int Runs() const {
        int runs = 0;
        for (const CConsole& console : m_consoles)
            runs += (int)console.GetScreen().runs;
        return runs;
    }

private:
    CScriptFolder m_scripts;
    CConsoleHost m_host;
    CConsole m_consoles[CConsoleHost::kLists];
};

void Row(const char* what, double before, double most, double after, double allowed) {
    bool met = after - before <= allowed;
    printf("%-34s %12.0f %12.0f %12.0f   %-18s %s\n", what, before, most, after,
           ("growth <= " + std::to_string((int)allowed)).c_str(), met ? "met" : "MISSED");
}

} // namespace

int main(int argc, char** argv) {
    const DWORD seconds = argc > 1 ? strtoul(argv[1], nullptr, 10) : 600;
    CSoak soak;
    // The first runs load and allocate what every later run reuses: they are not growth.
    soak.Run(10000, nullptr);
    const int warmUpRuns = soak.Runs();
    const CUsage before = Measure();
    CUsage most = before;
    soak.Run(seconds * 1000, &most);
    const CUsage after = Measure();
    const int runs = soak.Runs() - warmUpRuns;

    printf(
        "console_soak: two consoles restarting a script that ends at once, %lu s, %d runs (%.1f per s)\n\n",
        (unsigned long)seconds, runs, runs / (double)seconds);
    printf("%-34s %12s %12s %12s   %-18s\n", "measure (idle before/after)", "before", "most, running",
           "after", "target");
    // Noise: a run's own handles and the heap's growth in whole pages while it settles.
    Row("handles", before.handles, most.handles, after.handles, 4);
    Row("private bytes (KB)", before.privateKb, most.privateKb, after.privateKb, 256);
    Row("threads", before.threads, most.threads, after.threads, 0);
    bool met = after.handles <= before.handles + 4 && after.privateKb <= before.privateKb + 256 &&
               after.threads <= before.threads;
    return met ? 0 : 1;
}
