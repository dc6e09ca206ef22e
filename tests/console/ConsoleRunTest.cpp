// Runs of stand-in scripts shown in list views of this (the owner's) thread, the worker's supervision and
// Stop, what a script leaves behind (nothing a job holds) and what its child can reach (its own pipe).
#include "tests/console/ConsoleHost.h"
#include "tests/Processes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <tuple>

namespace {

using Rows = std::vector<std::string>;

// A script that writes the dated lines "flood 1" to "flood N" as fast as it can.
std::string Flood(unsigned long lines) { return "lines " + std::to_string(lines) + " 2010-05-17 flood %n\n"; }

Rows LastSix(unsigned lines) {
    Rows rows;
    for (unsigned n = lines - 5; n <= lines; ++n)
        rows.push_back("flood " + std::to_string(n));
    return rows;
}

// Every entry held, oldest first, one a line, run records in brackets.
std::string History(const CConsole& console) {
    unsigned long long first = 0;
    std::string all;
    char text[4096];
    CConsoleHistory::CEntry entry;
    for (unsigned i = 0, count = console.HistoryCount(&first); i < count; ++i)
        all += !console.GetHistoryEntry(first + i, entry, text, sizeof text) ? std::string("<not held>\n")
               : entry.kind == CConsoleHistory::kRecord                      ? "[" + std::string(text) + "]\n"
                                                        : std::string(text, entry.length) + "\n";
    return all;
}

// The console whose next run's pipe the test keeps full, as long as it does: two feeders, each with a copy
// of the write end, write empty lines (the reader's slowest) 4 MB at a time, which the pipe queues whole.
CConsole* g_fed;
volatile LONG g_feeding;
const std::string g_lines(1 << 22, '\n');

DWORD WINAPI FeedPipe(LPVOID pipe) {
    for (DWORD n; g_feeding && WriteFile(pipe, g_lines.data(), (DWORD)g_lines.size(), &n, nullptr);)
        ;
    return CloseHandle(pipe);
}

// On the worker, as the child joins its job: lines wait before the child can start.
HANDLE JoinAndFeed(HANDLE process) {
    for (DWORD i = 0, n; g_fed && i < 2; ++i) {
        HANDLE pipe = nullptr;
        DuplicateHandle(GetCurrentProcess(), CConsoleTestAccess::PipeWrite(*g_fed), GetCurrentProcess(),
                        &pipe, 0, FALSE, DUPLICATE_SAME_ACCESS);
        if (i > 0 || WriteFile(pipe, g_lines.data(), 1 << 15, &n, nullptr))
            CloseHandle(CreateThread(nullptr, 0, FeedPipe, pipe, 0, nullptr));
    }
    g_fed = nullptr;
    return CConsoleTestAccess::Join(process);
}

struct ConsoleTest : ::testing::Test {
    void SetUp() override {
        // Wine's crash dialog, like the system's error report, waits for a person whom a station does not
        // have; on Windows the job spares a script's crash the report. Wine's debugger is told to write its
        // report instead, which then goes into the crashed script's output like any other line.
        RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Wine\\WineDbg", &wineDbg);
        RegSetValueExA(wineDbg, "ShowCrashDialog", 0, REG_DWORD, (const BYTE*)"\0\0\0", 4);
        host.Bind(consoles[0], 0);
        host.Bind(consoles[1], 1);
        // A helper that starts one of its own before it says so: once its line is shown, the tree stands.
        scripts.Write("leaf.php", "hang\n");
        scripts.Write("helper.php", "spawn leaf.php\nout helper up\nhang\n");
        scripts.Write("writer.php", "lines 100000000 writing %n\n");
    }
    void TearDown() override {
        host.m_running = 0;
        // Whatever is left, what ran without a job too, is ended here.
        for (DWORD pid : ProcessesNamed("php.exe"))
            if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid))
                TerminateProcess(process, 1), CloseHandle(process);
        for (CConsole& console : consoles)
            console.WaitForWorker(INFINITE);
        RegDeleteValueA(wineDbg, "ShowCrashDialog"), RegCloseKey(wineDbg);
    }
    int Start(const std::string& script, int index = 0) {
        consoles[index].SetCommand(script.empty()
                                       ? "quorvid-no-such-program -f x"
                                       : scripts.Write(index ? "second.php" : "first.php", script));
        host.m_running = 1;
        return consoles[index].Start();
    }
    bool PumpUntil(const std::function<bool()>& done) { return host.PumpUntil(done, 10000); }
    // Ending a job only asks for the end of its processes: they go a moment later.
    bool NoneLeft() {
        return host.PumpUntil([] { return Interpreters() == 0; }, 5000);
    }
    CConsole::CScreen Screen(int index = 0) { return consoles[index].GetScreen(); }
    // The notices once there are `n`, and a little longer for any that should not come.
    std::string Notices(size_t n) {
        PumpUntil([&] { return host.m_notices.size() >= n; });
        host.Pump(100);
        return host.m_notices;
    }
    HKEY wineDbg = nullptr;
    CScriptFolder scripts;
    CConsoleHost host;
    CConsole consoles[2];
    CConsole& console = consoles[0];
    CConsole* const both[2] = {&consoles[0], &consoles[1]};
};

// The list shows each line decoded on its own (ScriptText.h); the history keeps its bytes.
TEST_F(ConsoleTest, ShowsLinesByTheDisplayRules) {
    std::string abc(CConsole::kMaxLine, 'a');
    for (size_t i = 0; i < abc.size(); ++i)
        abc[i] += i % 26;
    WCHAR e9[2];
    char cafe[8] = "caf";
    WideCharToMultiByte(CP_UTF8, 0, e9, MultiByteToWideChar(CP_ACP, 0, "\xE9", 1, e9, 2), cafe + 3, 4, 0, 0);
    const std::string utf8 = "Connexion refus\xC3\xA9"
                             "e \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xF0\x9F\x9B\xAB",
                      cut = "\xC3\xA9" + std::string(CConsole::kMaxLine - 3, 'a');
    const struct {
        std::string script;
        Rows rows;
        unsigned shown;
    } cases[] = {
        {"out  ~ a blank first: shown\nout 2010-05-17 12:34:56 message\nout 2011-05-17 another year\n"
         "out 2010-05-17 \nout 2010-05-17x\nout 2010-05-17 x\nout ~ends the run unseen\nout never "
         "shown\nhang\n",
         {" ~ a blank first: shown", "12:34:56 message", "2011-05-17 another year", "2010-05-17",
          "2010-05-17x", "x"},
         6},
        {"out ~\nout hidden\nhang\n", {}, 0},
        // Far more than the pipe and the ring hold: the child ends with lines still waiting.
        {Flood(200000), LastSix(200000), 200000},
        {"out one\nsleep 300\nout two\nraw 2010-05-17 last words  \t\n", {"one", "two", "last words"}, 3},
        {"out before\nlong 20000\nout after\n", {"before", abc, "after"}, 3},
        // The script has ended: what it left is shown, also behind an empty line.
        {"out PHP Warning: x\nout\nout PHP Fatal error: y\nexit 255\n",
         {"PHP Warning: x", "PHP Fatal error: y"},
         2},
        // A 2047-byte line whose 2046th byte starts a character: the cut leaves it out.
        {"out 2010-05-17 " + utf8 + "\nout bin\\x00ary\ttail\nout after\nout caf\xE9\nout " + cut +
             "\xC3\xA9\nout Z\xC3\xBCrich\n",
         {utf8,
          "bin\xEF\xBF\xBD"
          "ary tail",
          "after", cafe, cut, "Z\xC3\xBCrich"},
         6},
        {"", {}, 0},
    };
    for (const auto& c : cases) {
        host.m_lists[0].InsertItem(0, "left from before");
        console.SetCommand(c.script.empty() ? "quorvid-no-such-program -f x"
                                            : scripts.Write("run.php", c.script));
        console.Run();
        EXPECT_TRUE(NoneLeft()) << "no child outlives its run";
        EXPECT_EQ(c.shown, Screen().lines) << "every line taken, none hidden: " << c.script;
        PumpUntil([&] { return host.Rows(0) == c.rows; });
        EXPECT_EQ(c.rows, host.Rows(0)) << c.script;
    }
    EXPECT_NE(std::string::npos, History(console).find(std::string("\nbin\0ary\ttail\nafter\n", 20)));
}

TEST_F(ConsoleTest, SupervisesRestartsTheRunFlagAndStop) {
    EXPECT_EQ(0, console.Stop()) << "nothing to stop";
    // Restarted after the pause between runs, about ten times a second and not in a spin: a script that
    // cannot start, one that ends, also with STILL_ACTIVE's code 259. A script whose records are separated
    // by empty lines shows them all, without a pause per empty line.
    const struct {
        const char* script;
        unsigned runs, lines;
    } cases[] = {{"", 5, 0},
                 {"every 20 3 tick\n", 2, 0},
                 {"exit 259\n", 2, 0},
                 {"lines 5000 r %n\\n\nhang\n", 1, 5000}};
    for (const auto& c : cases) {
        const unsigned runs = Screen().runs;
        ASSERT_TRUE(Start(c.script) == 1 && console.Start() == 0) << "a console never has a second worker";
        host.Pump(2000);
        EXPECT_TRUE(Screen().runs >= runs + c.runs && Screen().runs <= runs + 40 && Screen().lines >= c.lines)
            << c.script << ": " << Screen().runs - runs << " runs";
        EXPECT_EQ(*c.script != 0, host.m_stop.IsWindowEnabled())
            << "a run that started its child enables Stop";
        EXPECT_EQ("1", host.m_notices) << "no notice per restart, none from the first Stop";
        host.m_running = 0;
        // A script that cannot start spends its time in the pause between runs: a stop there ends the
        // worker without another run. Elsewhere, clearing the flag alone ends the worker.
        const unsigned ran = Screen().runs;
        EXPECT_TRUE(*c.script || (console.Stop() == 0 && Screen().runs == ran && !console.HasWorker()));
        EXPECT_EQ("10", Notices(2));
        host.m_notices.clear();
    }

    // Stop while a script and the helpers it started hang, then during floods, the child killed at a
    // different point each time; the other console's script idles meanwhile. Each console alone with its
    // Stop, or both together as the window stops them.
    for (unsigned round = 0; round < 5; ++round) {
        const bool flood = round >= 2, together = round % 2;
        host.m_notices.clear();
        const unsigned runs = Screen().runs;
        host.m_lists[0].DeleteAllItems();
        // The second child is created while the first console's pipe and child come to be.
        ASSERT_TRUE(Start(flood ? Flood(100000000) : "spawn helper.php\nhang\n") &&
                    Start("pipes\nhang\n", 1));
        // Drawn at least once, so that the lines taken since must still reach the list when it stops.
        ASSERT_TRUE(PumpUntil([&] {
            CConsole::CScreen screen = Screen();
            return screen.runs > runs && screen.lines >= 1 + 50 * flood * round &&
                   host.Rows(0).size() == screen.rows && host.Rows(1) == Rows{"pipes 0"};
        })) << "the second child holds its own read end or the other console's pipe";
        host.m_running = 0;
        // Stop's result is known only for the hanging child: a flood's worker ends its child itself once it
        // sees the flag, often before Stop looks. Together, the result says that no worker is left.
        const int stopped = together ? CConsole::StopTogether(both, 2) : (consoles[1].Stop(), console.Stop());
        if (together || !flood) {
            EXPECT_EQ(1, stopped);
        }
        EXPECT_FALSE(console.HasWorker() || consoles[1].HasWorker()) << "Stop returns once the worker ended";
        EXPECT_TRUE(NoneLeft());
        std::string notices = Notices(4);
        EXPECT_EQ("0011??", (std::sort(notices.begin(), notices.end()), notices)) << "one of each a console";
        EXPECT_EQ(flood ? LastSix(Screen().lines) : Rows{"helper up"}, host.Rows(0))
            << "the list ends with the run's last lines, none lost in between";
    }
}

// A stop cuts the pause between runs short, for every console that StopTogether is given: with a pause
// of 10 s, both end well within Stop's bound.
TEST_F(ConsoleTest, StopTogetherCutsEveryPauseShort) {
    CConsoleHistory::CStatus status;
    const auto ended = [&](int i) { return consoles[i].GetHistoryStatus(status), status.ended; };
    for (int i = 0; i < 2; ++i)
        CConsoleTestAccess::SetRestartPause(consoles[i], 10000), Start("exit 0\n", i);
    ASSERT_TRUE(PumpUntil([&] { return ended(0) && ended(1); }));
    host.m_running = 0;
    const DWORD begin = GetTickCount();
    EXPECT_TRUE(CConsole::StopTogether(both, 2));
    EXPECT_LT(GetTickCount() - begin, 2000u);
}

// The test keeps the first run's pipe full from a copy of its write end (a script's flood leaves gaps):
// the run still ends with its child, which ends at once, and the script is started again.
TEST_F(ConsoleTest, ARunEndsWithItsChildWhileItsPipeNeverRunsDry) {
    g_fed = &console, g_feeding = 1;
    CConsoleTestAccess::SetJoin(console, JoinAndFeed);
    ASSERT_TRUE(Start("exit 0\n"));
    EXPECT_TRUE(host.PumpUntil([&] { return Screen().runs >= 2; }, CConsole::kStopWaitMs));
    g_feeding = 0;
}

TEST_F(ConsoleTest, WhatAScriptStartedEndsWithItsRun) {
    const auto alive = [](const std::vector<DWORD>& tree) {
        std::vector<DWORD> now = ProcessesNamed("php.exe");
        return std::find_first_of(now.begin(), now.end(), tree.begin(), tree.end()) != now.end();
    };
    // Also where the first join of each run fails, as where this program runs in a job that takes no
    // other: the child is then made again, breaks away and joins.
    for (bool breakaway : {false, true}) {
        if (breakaway)
            CConsoleTestAccess::SetJoin(console, [](HANDLE process) {
                static bool refuse = false;
                return (refuse = !refuse) ? HANDLE() : CConsoleTestAccess::Join(process);
            });
        // However the run ends: the script ended, a '~' line, a crash (the system's crash report goes into
        // the pipe like any output and must not hold the run up), or the script ended while its helper
        // floods the pipe. Once the next run has begun, nothing of the tree of the last one is left.
        for (const char* end : {"exit 0", "out ~\nhang", "crash", "writer"}) {
            const bool writer = end == std::string("writer");
            Start(writer ? "spawn writer.php\nsleep 300\n"
                         : "spawn helper.php\nsleep 1500\n" + std::string(end));
            ASSERT_TRUE(PumpUntil([&] { return Interpreters() == (writer ? 2u : 3u); })) << end;
            const std::vector<DWORD> tree = ProcessesNamed("php.exe");
            EXPECT_TRUE(PumpUntil([&, runs = Screen().runs] { return Screen().runs > runs && !alive(tree); }))
                << end;
            host.m_running = 0;
            console.Stop();
        }
    }
}

// Where no job can be joined, the child runs alone and a helper of it outlives the run, still writing
// into the pipe: the run shows what had arrived and ends all the same, when the program closes too.
TEST_F(ConsoleTest, ARunWithoutAJobEndsWithinTheBound) {
    for (int i = 0; i < 2; ++i) {
        CConsoleTestAccess::SetJoin(consoles[i], [](HANDLE) { return HANDLE(); });
        Start("spawn writer.php\nhang\n", i);
    }
    ASSERT_TRUE(PumpUntil([&] { return Screen(1).lines > 1000 && Interpreters() == 4; }));
    host.m_running = 0;
    EXPECT_FALSE((console.Stop(), console.HasWorker())) << "Stop's bound passed";
    EXPECT_TRUE(CConsole::StopTogether(both, 2)) << "the bound passed as the program closed";
    EXPECT_EQ(2u, Interpreters()) << "the writers, which no job held";
}

TEST_F(ConsoleTest, TheHistoryKeepsTheLinesOfEveryRunAndHowEachEndedWithinItsBounds) {
    for (const char* script : {"out 2010-05-17 one\nout  ~ seen\nsleep 300\nout two\nexit 255\n",
                               "out three\nout ~ unseen\nout four\nhang\n", "crash\n"})
        console.SetCommand(scripts.Write("run.php", script)), console.Run();
    console.SetCommand(scripts.Write("run.php", "out five\nhang\n"));
    auto holds = [&](const std::string& text) { return History(console).find(text) != std::string::npos; };
    ASSERT_TRUE(console.Start() && host.PumpUntil([&] { return holds("\nfive\n"); }, 9000));
    host.m_running = 0;
    console.Stop();
    std::string before = History(console);
    EXPECT_TRUE(std::regex_match(
        before,
        std::regex(
            R"(\[run 1 started\]\none\n ~ seen\ntwo\n\[run 1 ended after 0\.[3-9] s: exit code 255\]\n)"
            R"(\[run 2 started\]\nthree\n\[run 2 ended after \d\.\d s by '~'\]\n\[run 3 started\]\n(.*\n)*)"
            R"(\[run 3 ended after \d+\.\d s by exception 0xC0000005 \(access violation\)\]\n)"
            R"(\[run 4 started\]\nfive\n\[run 4 stopped after \d\.\d s\]\n)")))
        << before;

    // Runs that cannot start: the first has a record of its own, the next ones count it up in place.
    char message[256];
    CConsoleHistory::SystemMessage(ERROR_FILE_NOT_FOUND, message, sizeof message);
    const std::string noStart = "could not start: " + std::string(message) + " (2)";
    console.SetCommand("quorvid-no-such-program -f x"), console.Run();
    EXPECT_EQ(before + "[run 5 " + noStart + "]\n", History(console));
    console.Run(), console.Run();
    const std::string streak = "[runs 5 to 7 " + noStart + ", 3 times, last at ";
    EXPECT_EQ(before + streak, History(console).substr(0, before.size() + streak.size()));
    CConsoleHistory::CStatus status;
    console.GetHistoryStatus(status);
    EXPECT_TRUE(status.run == 7 && !status.running && status.failedRuns == 5 && holds(status.lastHow));

    // Entries of a few bytes reach the bound on entries (the bound on bytes: ConsoleRingTest.cpp).
    host.m_running = 1;
    console.SetCommand(scripts.Write("run.php", "lines 10000 2010-05-17 line %n\n")), console.Run();
    EXPECT_EQ(CConsoleHistory::kMaxEntries, console.HistoryCount());
    EXPECT_TRUE(History(console).rfind("line " + std::to_string(10002 - CConsoleHistory::kMaxEntries) + "\n",
                                       0) == 0 &&
                holds("line 10000\n[run 8 ended"));
}

// What a script writes after its last line end is its last line, whatever ended the run, but after a '~'.
TEST_F(ConsoleTest, ARunsLastWordsWithoutALineEndAreKept) {
    const auto newest = [&](unsigned entries) {
        const std::string all = History(console);
        size_t at = all.size() - 1;
        for (unsigned n = 0; n < entries && at > 0; ++n)
            at = all.rfind('\n', at - 1);
        return all.substr(at + 1);
    };
    console.SetCommand(scripts.Write("run.php", "out line one\nraw dying words\nexit 1\n")), console.Run();
    EXPECT_TRUE(std::regex_match(newest(3),
                                 std::regex(R"(line one\ndying words\n\[run 1 ended .*: exit code 1\]\n)")))
        << newest(3);
    PumpUntil([&] { return host.Rows(0) == Rows{"line one", "dying words"}; });
    EXPECT_EQ((Rows{"line one", "dying words"}), host.Rows(0));

    console.SetCommand(scripts.Write("run.php", "out ~ bye\nraw after\nhang\n")), console.Run();
    EXPECT_TRUE(std::regex_match(newest(2), std::regex(R"(\[run 2 started\]\n\[run 2 ended .* by '~'\]\n)")))
        << newest(2);

    ASSERT_TRUE(Start("out first\nraw half a line\nhang\n") &&
                PumpUntil([&] { return Screen().lines == 1 && Interpreters() == 1; }));
    host.m_running = 0;
    console.Stop();
    EXPECT_TRUE(
        std::regex_match(newest(3), std::regex(R"(first\nhalf a line\n\[run 3 stopped after .*\]\n)")))
        << newest(3);
}

LONGLONG g_counter = 0;
BOOL WINAPI TestCounter(LARGE_INTEGER* count) { return count->QuadPart = g_counter, TRUE; }

// A run's end record: its length at any counter frequency and of any size (91 days at 3 GHz is past 2^64
// thousandths of a count), and its exit code, named as the exception the system raised where it is one.
TEST(ConsoleHistory, ARunsRecordTellsItsLengthAndHowItEnded) {
    const LONGLONG s = 3000000000;
    const std::tuple<LONGLONG, DWORD, const char*> kRuns[] = {
        {(91 * 86400 + 4 * 3600 + 59 * 60) * s, 0, "91 d 4 h: exit code 0"},
        {(3 * 3600 + 12 * 60 + 5) * s, 0x80000003, "3 h 12 min by exception 0x80000003 (breakpoint)"},
        {s + s / 4, 0xE06D7363, "1.2 s by exception 0xE06D7363 (C++ exception)"},
        {s / 20, 0xC0000005, "0.0 s by exception 0xC0000005 (access violation)"},
        {s, 0xFFFFFFFF, "1.0 s: exit code -1"},
        {s, 0x80000020, "1.0 s: exit code -2147483616 (0x80000020)"}};
    CConsoleHistory history;
    CConsoleTestAccess::SetClock(history, TestCounter, s);
    CConsoleHistory::CStatus status;
    for (const auto& [counts, code, how] : kRuns) {
        g_counter = 1000, history.RunStarted();
        g_counter += counts, history.RunEnded(CConsoleHistory::kExited, code);
        history.GetStatus(status);
        EXPECT_EQ("ended after " + std::string(how), status.lastHow);
    }
}

} // namespace
