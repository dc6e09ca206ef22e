// One run of a script through the stand-in interpreter, shown in a real list view of this thread.
#include "tests/console/ConsoleHost.h"

#include <gtest/gtest.h>

namespace {

using Rows = std::vector<std::string>;

class ConsoleRun : public ::testing::Test {
protected:
    void SetUp() override {
        m_host.Bind(m_console, 0);
        m_host.m_lists[0].InsertItem(0, "left from before");
        m_host.m_inserted[0] = 0;
    }
    // Runs `script` once on this thread and gives the rows it left.
    Rows RunScript(const std::string& script) {
        m_console.SetCommand(m_scripts.Write("run.php", script));
        m_console.Run();
        return m_host.Rows(0);
    }

    CScriptFolder m_scripts;
    CConsoleHost m_host;
    CConsole m_console;
};

TEST_F(ConsoleRun, ShowsLinesByTheDisplayRules) {
    m_host.m_stop.EnableWindow(FALSE);
    DWORD begin = GetTickCount();
    Rows rows = RunScript("out  ~ a blank first: shown\n"
                          "out 2010-05-17 12:34:56 message\n"
                          "out 2011-05-17 another year\n"
                          "out note 2010-05-17 further in\n"
                          "out 2010-05-17 \n"
                          "out 2010-05-17 x\n"
                          "out ~ends the run\n"
                          "out never shown\n"
                          "hang\n");
    EXPECT_EQ(Rows({" ~ a blank first: shown", "12:34:56 message", "2011-05-17 another year",
                    "note 2010-05-17 further in", "2010-05-17", "x"}),
              rows);
    EXPECT_LT(GetTickCount() - begin, 3000u) << "the '~' line ended the run of a hanging script";
    EXPECT_EQ(0, CountChildren()) << "and its child with it";
    EXPECT_TRUE(m_host.m_stop.IsWindowEnabled()) << "a run that started its child enables Stop";
    EXPECT_EQ(1, m_host.m_emptied[0]);

    // A '~' as the very first line: no exit code was ever asked for, the child still goes.
    EXPECT_EQ(Rows(), RunScript("out ~\nout hidden\nhang\n"));
    EXPECT_EQ(0, CountChildren());
}

TEST_F(ConsoleRun, KeepsTheNewestSixRowsAndShowsEverythingTheChildLeft) {
    // Far more than the pipe and the ring hold: the child ends with lines still waiting.
    Rows rows = RunScript("lines 3000 line %n of 3000, padded to make the output larger\n"
                          "raw no line end\n");
    EXPECT_EQ(Rows({"line 2995 of 3000, padded to make the output larger",
                    "line 2996 of 3000, padded to make the output larger",
                    "line 2997 of 3000, padded to make the output larger",
                    "line 2998 of 3000, padded to make the output larger",
                    "line 2999 of 3000, padded to make the output larger",
                    "line 3000 of 3000, padded to make the output larger"}),
              rows)
        << "the newest at the bottom; a last line without a line end is not shown";
    EXPECT_EQ(3000, m_host.m_inserted[0]) << "no line lost";

    EXPECT_EQ(Rows({"one", "two"}), RunScript("out one\nsleep 300\nout two\n"))
        << "every run starts with an empty list; the last words of a script are shown";
}

TEST_F(ConsoleRun, ALineThatOutgrowsTheRingIsShownCutAndReadingGoesOn) {
    Rows rows = RunScript("out before\nlong 20000\nout after\n");
    ASSERT_EQ(3u, rows.size());
    std::string alphabet;
    while (alphabet.size() < CConsole::kMaxLine)
        alphabet += "abcdefghijklmnopqrstuvwxyz";
    EXPECT_EQ("before", rows[0]);
    EXPECT_EQ(alphabet.substr(0, CConsole::kMaxLine), rows[1]);
    EXPECT_EQ("after", rows[2]);
}

TEST_F(ConsoleRun, OnceRunningIsNotWantedAnEmptyLineEndsTheRun) {
    m_host.m_running = 0;
    EXPECT_EQ(Rows({"a"}), RunScript("raw a\\n\\nb\\n\nhang\n"));
    EXPECT_EQ(0, CountChildren()) << "the child is terminated, not left hanging";
}

TEST_F(ConsoleRun, AProgramThatCannotStartEmptiesTheListAndNothingElse) {
    m_host.m_stop.EnableWindow(FALSE);
    m_console.SetCommand("quorvid-no-such-program -f x.php");
    m_console.Run();
    EXPECT_EQ(Rows(), m_host.Rows(0));
    EXPECT_EQ(1, m_host.m_emptied[0]);
    EXPECT_FALSE(m_host.m_stop.IsWindowEnabled());

    m_console.SetCommand("php -f quorvid-missing.php");
    m_console.Run();
    EXPECT_EQ(Rows({"Could not open input file: quorvid-missing.php"}), m_host.Rows(0));
}

} // namespace
