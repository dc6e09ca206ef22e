// What a script leaves behind when its run ends (nothing, whatever it started and however it ended), and
// what its child can reach (its own pipe's write end, no other pipe).
#include "tests/console/ConsoleHost.h"
#include "tests/Processes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace {

bool Shows(const std::vector<std::string>& rows, const std::string& line) {
    return std::find(rows.begin(), rows.end(), line) != rows.end();
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

} // namespace
