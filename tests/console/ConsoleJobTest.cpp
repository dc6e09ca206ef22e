// What a script leaves behind when its run ends (nothing, whatever it started and however it ended), what
// its child can reach (its own pipe's write end, no other pipe), and what the console's history keeps of
// its runs.
#include "tests/console/ConsoleHost.h"
#include "tests/Processes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <thread>

namespace {

bool Shows(const std::vector<std::string>& rows, const std::string& line) {
    return std::find(rows.begin(), rows.end(), line) != rows.end();
}

// Wine's crash dialog, like the system's error report, waits for a person whom a station does not have;
// on Windows the job spares a script's crash the report. Wine's debugger is told to write its report
// instead, which then goes into the crashed script's output like any other line.
struct CNoCrashDialog {
    HKEY key = nullptr;
    CNoCrashDialog() {
        DWORD no = 0;
        RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\WineDbg", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr);
        RegSetValueExA(key, "ShowCrashDialog", 0, REG_DWORD, (const BYTE*)&no, sizeof no);
    }
    ~CNoCrashDialog() { RegDeleteValueA(key, "ShowCrashDialog"), RegCloseKey(key); }
};

// Every entry held, oldest first, one a line, run records in brackets.
std::string History(const CConsole& console) {
    unsigned long long first = 0;
    std::string all;
    char text[4096];
    CConsoleHistory::CEntry entry;
    for (unsigned i = 0, count = console.HistoryCount(&first); i < count; ++i)
        all += !console.GetHistoryEntry(first + i, entry, text, sizeof text) ? std::string("<not held>\n")
               : entry.kind == CConsoleHistory::kRecord                      ? "[" + std::string(text) + "]\n"
                                                                             : text + std::string("\n");
    return all;
}

struct ConsoleJobTest : ::testing::Test {
    void SetUp() override {
        host.Bind(consoles[0], 0);
        host.Bind(consoles[1], 1);
        // A helper that starts one of its own before it says so: once its line is shown, the tree stands.
        scripts.Write("leaf.php", "hang\n");
        scripts.Write("helper.php", "spawn leaf.php\nout helper up\nhang\n");
    }
    void TearDown() override {
        host.m_running = 0;
        for (CConsole& console : consoles)
            console.Stop(), console.WaitForWorker(INFINITE);
    }
    // Termination is asked for, not waited on: the processes go a moment later.
    bool NoneLeft() {
        return host.PumpUntil([] { return Interpreters() == 0; }, 5000);
    }
    // One run of the first console on this thread; the most interpreters that lived at once meanwhile.
    size_t RunCountingInterpreters() {
        std::atomic<bool> ran{false};
        size_t most = 0;
        std::thread watch([&] {
            for (; !ran; Sleep(20))
                most = std::max(most, Interpreters());
        });
        consoles[0].Run();
        ran = true;
        watch.join();
        return most;
    }
    void Start(int index, const char* script) {
        consoles[index].SetCommand(scripts.Write(index ? "second.php" : "first.php", script));
        consoles[index].Start();
    }

    CNoCrashDialog noCrashDialog;
    CScriptFolder scripts;
    CConsoleHost host;
    CConsole consoles[2];
};

TEST_F(ConsoleJobTest, WhatAScriptStartedEndsWithItsRun) {
    // However the run ends: the script ended, a '~' line, or a crash (the system's crash report goes into
    // the pipe like any output and must not hold the run up).
    for (const char* end : {"exit 0", "out ~\nhang", "crash"}) {
        host.m_running = 1;
        consoles[0].SetCommand(scripts.Write("run.php", "spawn helper.php\nsleep 1500\n" + std::string(end)));
        EXPECT_EQ(3u, RunCountingInterpreters()) << end << ": the tree was not up in time";
        EXPECT_TRUE(NoneLeft()) << end << ": " << Interpreters() << " interpreters left";
    }

    // Stop while the whole tree runs, on the worker, as the window does it.
    Start(0, "spawn helper.php\nhang\n");
    ASSERT_TRUE(
        host.PumpUntil([&] { return Shows(host.Rows(0), "helper up") && Interpreters() == 3; }, 10000));
    host.m_running = 0;
    EXPECT_EQ(1, consoles[0].Stop());
    EXPECT_TRUE(NoneLeft()) << Interpreters() << " interpreters left";
}

TEST_F(ConsoleJobTest, AChildHoldsNoPipeButItsOwnWriteEnd) {
    host.m_running = 1;
    Start(0, "out first up\nhang\n");
    ASSERT_TRUE(host.PumpUntil([&] { return Shows(host.Rows(0), "first up"); }, 10000));
    // Created while the other console's pipe and its child are there.
    Start(1, "pipes\nhang\n");
    ASSERT_TRUE(host.PumpUntil([&] { return !host.Rows(1).empty(); }, 10000));
    EXPECT_EQ("pipes 0", host.Rows(1)[0]) << "neither its own read end nor the other console's pipe";
}

TEST_F(ConsoleJobTest, TheHistoryKeepsTheLinesOfEveryRunAndHowEachEndedWithinItsBounds) {
    CConsole& console = consoles[0];
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

    // Entries of a few bytes reach the bound on entries, long lines the bound on bytes.
    host.m_running = 1;
    console.SetCommand(scripts.Write("run.php", "lines 10000 2010-05-17 line %n\n")), console.Run();
    EXPECT_EQ(CConsoleHistory::kMaxEntries, console.HistoryCount());
    EXPECT_TRUE(History(console).rfind("line 7954\n", 0) == 0 && holds("line 10000\n[run 8 ended"));
    const std::string x(1990, 'x');
    console.SetCommand(scripts.Write("run.php", "lines 400 " + x + "%n\n")), console.Run();
    // The texts' bytes: without the line ends, nor the brackets of the one record left (the run's end).
    const size_t bytes = History(console).size() - console.HistoryCount() - 2;
    EXPECT_TRUE(bytes <= CConsoleHistory::kTextBytes && bytes + 2000 > CConsoleHistory::kTextBytes &&
                holds("xx400\n[run 9 ended"))
        << bytes;
}

} // namespace
