// The worker thread: restarts, notices, Start and Stop, with this thread as the owner's UI thread.
#include "tests/console/ConsoleHost.h"

#include <gtest/gtest.h>

namespace {

class ConsoleSupervision : public ::testing::Test {
protected:
    void SetUp() override { m_host.Bind(m_console, 0); }
    void TearDown() override {
        m_host.m_running = 0;
        m_console.WaitForWorker(INFINITE);
    }
    bool PumpUntil(const std::function<bool()>& done, DWORD ms = 5000) { return m_host.PumpUntil(done, ms); }
    bool PumpUntilNotices(size_t n) {
        return PumpUntil([&] { return m_host.m_notices.size() >= n; });
    }
    // The notices as "1" (started) and "0" (stopped), oldest first, checking their identifier.
    std::string Notices() const {
        std::string states;
        for (const CNotice& notice : m_host.m_notices) {
            EXPECT_EQ(1, notice.id);
            states += notice.state == 1 ? '1' : '0';
        }
        return states;
    }

    CScriptFolder m_scripts;
    CConsoleHost m_host;
    CConsole m_console;
};

TEST_F(ConsoleSupervision, RestartsAScriptThatEndsWithOneStartedNotice) {
    m_console.SetCommand(m_scripts.Write("quick.php", "out quick\n"));
    EXPECT_EQ(1, m_console.Start());
    EXPECT_EQ(0, m_console.Start()) << "a console never has a second worker";
    EXPECT_TRUE(PumpUntil([&] { return m_host.m_emptied[0] >= 4; }));
    EXPECT_EQ("1", Notices()) << "no notice per restart";
    EXPECT_GE(m_host.m_inserted[0], 3);

    m_host.m_running = 0;
    m_console.Stop();
    EXPECT_FALSE(m_console.HasWorker());
    EXPECT_TRUE(PumpUntilNotices(2));
    m_host.Pump(150);
    EXPECT_EQ("10", Notices());
}

TEST_F(ConsoleSupervision, StopEndsAnActiveChildAndTheWorker) {
    m_console.SetCommand(m_scripts.Write("hang.php", "out hello\nhang\n"));
    ASSERT_EQ(1, m_console.Start());
    ASSERT_TRUE(PumpUntil([&] { return m_host.m_inserted[0] == 1; }));
    EXPECT_TRUE(m_host.m_stop.IsWindowEnabled());

    m_host.m_running = 0;
    DWORD begin = GetTickCount();
    EXPECT_EQ(1, m_console.Stop());
    EXPECT_LT(GetTickCount() - begin, (DWORD)CConsole::kStopWaitMs) << "the worker ended inside the bound";
    EXPECT_FALSE(m_console.HasWorker());
    EXPECT_EQ(0, CountChildren());
    EXPECT_TRUE(PumpUntilNotices(2));
    EXPECT_EQ("10", Notices());
    EXPECT_EQ(std::vector<std::string>({"hello"}), m_host.Rows(0)) << "the rows of the last run stay";

    // Start after Stop starts a new worker; with the flag cleared it runs once and ends by itself.
    EXPECT_EQ(1, m_console.Start());
    EXPECT_TRUE(PumpUntilNotices(4));
    EXPECT_EQ("1010", Notices());
    EXPECT_FALSE(m_console.HasWorker());
    EXPECT_EQ(0, CountChildren());
}

TEST_F(ConsoleSupervision, StopWithoutAnActiveChildStillWaitsForTheWorker) {
    EXPECT_EQ(0, m_console.Stop()) << "never started";
    m_host.Pump(150);
    EXPECT_EQ("", Notices());

    m_console.SetCommand("quorvid-no-such-program -f x.php");
    ASSERT_EQ(1, m_console.Start());
    ASSERT_TRUE(PumpUntil([&] { return m_host.m_emptied[0] >= 2; })) << "retried without an interpreter";
    m_host.m_running = 0;
    EXPECT_EQ(0, m_console.Stop());
    EXPECT_FALSE(m_console.HasWorker()) << "Stop waited for the worker instead of resetting under it";
    EXPECT_TRUE(PumpUntilNotices(2));
    m_host.Pump(150);
    EXPECT_EQ("10", Notices());
}

TEST_F(ConsoleSupervision, StopWhileLinesAreBeingShown) {
    // Several rounds: the child is killed at a different point of its writes each time.
    m_console.SetCommand(m_scripts.Write("flood.php", "lines 1000000 flood line %n\n"));
    for (int round = 0; round < 4; ++round) {
        m_host.m_notices.clear();
        m_host.m_inserted[0] = 0;
        m_host.m_running = 1;
        ASSERT_EQ(1, m_console.Start());
        ASSERT_TRUE(PumpUntil([&] { return m_host.m_inserted[0] >= 50 + 40 * round; }));

        m_host.m_running = 0;
        DWORD begin = GetTickCount();
        m_console.Stop();
        EXPECT_LT(GetTickCount() - begin, (DWORD)CConsole::kStopWaitMs)
            << "the worker's lines got through while Stop waited";
        ASSERT_FALSE(m_console.HasWorker()) << round;
        EXPECT_EQ(0, CountChildren());
        EXPECT_EQ(6u, m_host.Rows(0).size());
        EXPECT_TRUE(PumpUntilNotices(2));
        m_host.Pump(50);
        EXPECT_EQ("10", Notices());
    }
}

TEST_F(ConsoleSupervision, ClearingTheFlagAloneEndsEvenASteadilyWritingScript) {
    m_console.SetCommand(m_scripts.Write("steady.php", "every 40 0 tick %n at %t\n"));
    ASSERT_EQ(1, m_console.Start());
    ASSERT_TRUE(PumpUntil([&] { return m_host.m_inserted[0] >= 3; }));
    m_host.m_running = 0;
    EXPECT_TRUE(PumpUntilNotices(2)) << "the worker ended without Stop";
    EXPECT_FALSE(m_console.HasWorker());
    EXPECT_EQ(0, CountChildren());

    m_host.m_running = 1;
    EXPECT_EQ(1, m_console.Start()) << "its record was released";
    int shown = m_host.m_inserted[0];
    EXPECT_TRUE(PumpUntil([&] { return m_host.m_inserted[0] > shown; }));
    m_host.m_running = 0;
    m_console.Stop();
    EXPECT_TRUE(PumpUntilNotices(4));
    EXPECT_EQ("1010", Notices());
}

TEST_F(ConsoleSupervision, AWorkerPastTheBoundStaysRecordedUntilItEnds) {
    m_console.SetCommand(m_scripts.Write("quick.php", "out quick\n"));
    ASSERT_EQ(1, m_console.Start());
    ASSERT_TRUE(PumpUntilNotices(1));

    // The flag is still 1, so the worker keeps restarting: the wait runs to its bound, and the
    // worker's calls into the list get through meanwhile, while the notices wait in the queue.
    int emptied = m_host.m_emptied[0];
    EXPECT_FALSE(m_console.WaitForWorker(800));
    EXPECT_GT(m_host.m_emptied[0], emptied);
    EXPECT_TRUE(m_console.HasWorker());
    EXPECT_EQ(0, m_console.Start());

    m_host.m_running = 0;
    EXPECT_TRUE(m_console.WaitForWorker(INFINITE));
    EXPECT_FALSE(m_console.HasWorker());
    EXPECT_EQ("1", Notices()) << "the stopped notice is posted, not handled inside the wait";
    EXPECT_TRUE(PumpUntilNotices(2));
    EXPECT_EQ("10", Notices());
}

} // namespace
