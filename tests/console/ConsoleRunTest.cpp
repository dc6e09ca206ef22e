// Runs of stand-in scripts and the worker's supervision, shown in list views of this (the owner's) thread.
#include "tests/console/ConsoleHost.h"
#include "tests/Processes.h"

#include <gtest/gtest.h>

namespace {

using Rows = std::vector<std::string>;

struct ConsoleTest : ::testing::Test {
    void SetUp() override { host.Bind(console, 0); }
    void TearDown() override {
        host.m_running = 0;
        console.WaitForWorker(INFINITE);
    }
    int Start(const char* script) {
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
        const char* script;
        Rows rows;
        int shown;
    } cases[] = {
        {1,
         "out  ~ a blank first: shown\nout 2010-05-17 12:34:56 message\nout 2011-05-17 another year\n"
         "out 2010-05-17 \nout 2010-05-17 x\nout ~ends the run unseen\nout never shown\nhang\n",
         {" ~ a blank first: shown", "12:34:56 message", "2011-05-17 another year", "2010-05-17", "x"},
         5},
        {1, "out ~\nout hidden\nhang\n", {}, 0},
        // Far more than the pipe and the ring hold: the child ends with lines still waiting.
        {1, "lines 3000 line %n\nlines 6 %n\n", {"1", "2", "3", "4", "5", "6"}, 3006},
        {1, "out one\nsleep 300\nout two\nraw no line end\n", {"one", "two"}, 2},
        {1, "out before\nlong 20000\nout after\n", {"before", abc.substr(0, CConsole::kMaxLine), "after"}, 3},
        {0, "raw a\\n\\nb\\n\nhang\n", {"a"}, 1},
        {1, nullptr, {}, 0},
    };
    for (const auto& c : cases) {
        host.m_lists[0].InsertItem(0, "left from before");
        host.m_inserted[0] = 0;
        host.m_running = c.running;
        console.SetCommand(c.script ? scripts.Write("run.php", c.script) : "quorvid-no-such-program -f x");
        console.Run();
        EXPECT_EQ(0u, ScriptChildren()) << "no child outlives its run";
        EXPECT_EQ(c.rows, host.Rows(0)) << (c.script ? c.script : "no interpreter");
        EXPECT_EQ(c.shown, host.m_inserted[0]) << "no line lost, no line hidden";
    }
}

TEST_F(ConsoleTest, SupervisesRestartsTheRunFlagAndStop) {
    EXPECT_EQ(0, console.Stop()) << "nothing to stop";
    ASSERT_EQ(1, Start("every 20 3 tick %n\n"));
    EXPECT_EQ(0, console.Start()) << "a console never has a second worker";
    EXPECT_TRUE(PumpUntil([&] { return host.m_emptied[0] >= 4; }));
    EXPECT_EQ("1", host.m_notices) << "no notice per restart, none from the first Stop";
    host.m_running = 0;
    EXPECT_EQ("10", Notices(2)) << "clearing the flag alone ends the worker";

    // Stop with a hanging child, then during floods, the child killed at a different point each time.
    for (int round = 0; round < 4; ++round) {
        host.m_notices.clear();
        host.m_inserted[0] = 0;
        ASSERT_EQ(1, Start(round ? "lines 1000000 flood line %n\n" : "out hello\nhang\n")) << "a new worker";
        ASSERT_TRUE(PumpUntil([&] { return host.m_inserted[0] >= 1 + 50 * round; }));
        host.m_running = 0;
        EXPECT_TRUE(console.Stop() == 1 || round > 0) << "the hanging child was active";
        ASSERT_FALSE(console.HasWorker()) << "the worker's lines got through while Stop waited";
        EXPECT_EQ(0u, ScriptChildren());
        EXPECT_EQ(round ? 6u : 1u, host.Rows(0).size()) << "the child's lines are shown";
        EXPECT_EQ("10", Notices(2));
    }
}

} // namespace
