// Runs of stand-in scripts and the worker's supervision, shown in list views of this (the owner's) thread.
#include "tests/console/ConsoleHost.h"
#include "tests/Processes.h"

#include <gtest/gtest.h>

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

struct ConsoleTest : ::testing::Test {
    void SetUp() override { host.Bind(console, 0); }
    void TearDown() override {
        host.m_running = 0;
        console.WaitForWorker(INFINITE);
    }
    int Start(const std::string& script) {
        console.SetCommand(scripts.Write("run.php", script));
        host.m_running = 1;
        return console.Start();
    }
    bool PumpUntil(const std::function<bool()>& done) { return host.PumpUntil(done, 10000); }
    // The notices once there are `n`, and a little longer for any that should not come.
    std::string Notices(size_t n) {
        PumpUntil([&] { return host.m_notices.size() >= n; });
        host.Pump(100);
        return host.m_notices;
    }

    CScriptFolder scripts;
    CConsoleHost host;
    CConsole console;
};

TEST_F(ConsoleTest, ShowsLinesByTheDisplayRules) {
    std::string abc;
    while (abc.size() < CConsole::kMaxLine)
        abc += "abcdefghijklmnopqrstuvwxyz";
    const struct {
        BYTE running;
        std::string script;
        Rows rows;
        unsigned shown;
    } cases[] = {
        {1,
         "out  ~ a blank first: shown\nout 2010-05-17 12:34:56 message\nout 2011-05-17 another year\n"
         "out 2010-05-17 \nout 2010-05-17x\nout 2010-05-17 x\nout ~ends the run unseen\nout never "
         "shown\nhang\n",
         {" ~ a blank first: shown", "12:34:56 message", "2011-05-17 another year", "2010-05-17",
          "2010-05-17x", "x"},
         6},
        {1, "out ~\nout hidden\nhang\n", {}, 0},
        // Far more than the pipe and the ring hold: the child ends with lines still waiting.
        {1, Flood(20000), LastSix(20000), 20000},
        {1, Flood(200000), LastSix(200000), 200000},
        {1, "out one\nsleep 300\nout two\nraw no line end\n", {"one", "two"}, 2},
        {1, "out before\nlong 20000\nout after\n", {"before", abc.substr(0, CConsole::kMaxLine), "after"}, 3},
        {0, "raw a\\n\\nb\\n\nhang\n", {"a"}, 1},
        {1, "", {}, 0},
    };
    for (const auto& c : cases) {
        host.m_lists[0].InsertItem(0, "left from before");
        host.m_running = c.running;
        console.SetCommand(c.script.empty() ? "quorvid-no-such-program -f x"
                                            : scripts.Write("run.php", c.script));
        console.Run();
        EXPECT_EQ(0u, ScriptChildren()) << "no child outlives its run";
        EXPECT_EQ(c.shown, CConsoleHost::Screen(console).lines)
            << "every line taken, none hidden: " << c.script;
        PumpUntil([&] { return host.Rows(0) == c.rows; });
        EXPECT_EQ(c.rows, host.Rows(0)) << c.script;
    }
}

TEST_F(ConsoleTest, SupervisesRestartsTheRunFlagAndStop) {
    EXPECT_EQ(0, console.Stop()) << "nothing to stop";
    ASSERT_EQ(1, Start("every 20 3 tick %n\n"));
    EXPECT_EQ(0, console.Start()) << "a console never has a second worker";
    EXPECT_TRUE(PumpUntil([&] { return CConsoleHost::Screen(console).runs >= 4; }));
    EXPECT_TRUE(host.m_stop.IsWindowEnabled()) << "a run that has started its child enables Stop";
    EXPECT_EQ("1", host.m_notices) << "no notice per restart, none from the first Stop";
    host.m_running = 0;
    EXPECT_EQ("10", Notices(2)) << "clearing the flag alone ends the worker";

    // Stop with a hanging child, then during floods, the child killed at a different point each time.
    for (unsigned round = 0; round < 4; ++round) {
        host.m_notices.clear();
        const unsigned runs = CConsoleHost::Screen(console).runs;
        host.m_lists[0].DeleteAllItems();
        ASSERT_EQ(1, Start(round ? Flood(100000000) : "out hello\nhang\n")) << "a new worker";
        // Drawn at least once, so that the lines taken since must still reach the list when it stops.
        ASSERT_TRUE(PumpUntil([&] {
            CConsole::CScreen screen = CConsoleHost::Screen(console);
            return screen.runs > runs && screen.lines >= 1 + 50 * round && host.Rows(0).size() == screen.rows;
        }));
        host.m_running = 0;
        EXPECT_TRUE(console.Stop() == 1 || round > 0) << "the hanging child was active";
        EXPECT_FALSE(console.HasWorker())
            << "Stop returns once the worker has ended, without this thread's help";
        EXPECT_EQ(0u, ScriptChildren());
        EXPECT_EQ("10", Notices(2));
        const unsigned lines = CConsoleHost::Screen(console).lines;
        EXPECT_EQ(round ? LastSix(lines) : Rows{"hello"}, host.Rows(0))
            << "the list ends with the run's last lines, none lost in between";
    }
}

} // namespace
