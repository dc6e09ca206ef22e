// What a console's history keeps of its runs: their lines in order, how each ended, its bounds.
#include "tests/console/ConsoleHost.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

using Texts = std::vector<std::string>;

// The lines or the run records held, oldest first, and the bytes of all texts held.
Texts History(const CConsole& console, CConsoleHistory::EKind kind, size_t* bytes = nullptr) {
    unsigned long long first = 0;
    Texts texts;
    char text[4096];
    CConsoleHistory::CEntry entry;
    for (unsigned i = 0, count = console.HistoryCount(&first); i < count; ++i) {
        EXPECT_TRUE(console.GetHistoryEntry(first + i, entry, text, sizeof text));
        if (entry.kind == kind)
            texts.push_back(text);
        if (bytes != nullptr)
            *bytes += entry.length;
    }
    return texts;
}

void ExpectRecords(const CConsole& console, const Texts& patterns) {
    Texts records = History(console, CConsoleHistory::kRecord);
    ASSERT_EQ(patterns.size(), records.size()) << records.back();
    for (size_t i = 0; i < records.size(); ++i)
        EXPECT_TRUE(std::regex_match(records[i], std::regex(patterns[i]))) << records[i];
}

struct ConsoleHistoryTest : ::testing::Test {
    void SetUp() override { host.Bind(console, 0); }
    void TearDown() override { host.m_running = 0, console.Stop(), console.WaitForWorker(INFINITE); }
    void Run(const std::string& script) {
        console.SetCommand(scripts.Write("run.php", script)), console.Run();
    }

    CNoCrashDialog noCrashDialog;
    CScriptFolder scripts;
    CConsoleHost host;
    CConsole console;
};

TEST_F(ConsoleHistoryTest, KeepsTheLinesOfEveryRunAndHowEachEnded) {
    Run("out 2010-05-17 one\nout  ~ seen\nsleep 300\nout two\nexit 255\n");
    Run("out three\nout ~ unseen\nout four\nhang\n");
    Run("crash\n");
    host.m_running = 1;
    console.SetCommand(scripts.Write("run.php", "out five\nhang\n"));
    console.Start();
    ASSERT_TRUE(
        host.PumpUntil([&] { return History(console, CConsoleHistory::kLine).back() == "five"; }, 9000));
    host.m_running = 0;
    console.Stop();
    ExpectRecords(console, {"run 1 started", R"(run 1 ended after 0\.[3-9] s: exit code 255)",
                            "run 2 started", R"(run 2 ended after \d\.\d s by '~')", "run 3 started",
                            R"(run 3 ended after \d+\.\d s by exception 0xC0000005 \(access violation\))",
                            "run 4 started", R"(run 4 stopped after \d\.\d s)"});
    const Texts lines = History(console, CConsoleHistory::kLine);
    EXPECT_EQ(Texts({"one", " ~ seen", "two", "three"}), Texts(lines.begin(), lines.begin() + 4));
    EXPECT_EQ("five", lines.back()) << "after what the crash report said";
    CConsoleHistory::CStatus status;
    console.GetHistoryStatus(status);
    EXPECT_TRUE(status.run == 4 && !status.running && status.failedRuns == 2 && status.ended) << status.run;
    EXPECT_TRUE(std::regex_match(status.lastHow, std::regex(R"(stopped after \d\.\d s)"))) << status.lastHow;
}

TEST_F(ConsoleHistoryTest, CountsAStreakOfRunsThatCouldNotStartInOneRecord) {
    char message[256];
    CConsoleHistory::SystemMessage(ERROR_FILE_NOT_FOUND, message, sizeof message);
    console.SetCommand("quorvid-no-such-program -f x");
    Texts records;
    for (int run = 1; run <= 3; ++run)
        console.Run(), records.push_back(History(console, CConsoleHistory::kRecord).back());
    ExpectRecords(console, {R"(runs 1 to 3 could not start: .+ \(2\), 3 times, last at \d\d:\d\d:\d\d)"});
    EXPECT_EQ("run 1 could not start: " + std::string(message) + " (2)", records[0]);
    EXPECT_EQ("runs 1 to 2 " + records[0].substr(6) + ", 2 times, last at ",
              records[1].substr(0, records[1].size() - 8));
    CConsoleHistory::CStatus status;
    console.GetHistoryStatus(status);
    EXPECT_EQ(3u, status.failedRuns);
}

TEST_F(ConsoleHistoryTest, HoldsTheNewestEntriesWithinItsBounds) {
    Run("lines 10000 2010-05-17 line %n\n");
    const Texts lines = History(console, CConsoleHistory::kLine);
    EXPECT_EQ(CConsoleHistory::kMaxEntries, console.HistoryCount()) << "and the records of its end";
    EXPECT_EQ("line 10000", lines.back());
    EXPECT_EQ("line " + std::to_string(10001 - lines.size()), lines.front());

    Run("lines 400 " + std::string(1990, 'x') + "%n\n");
    size_t bytes = 0;
    const size_t count = History(console, CConsoleHistory::kLine, &bytes).size();
    EXPECT_TRUE(bytes <= CConsoleHistory::kTextBytes && bytes + 2000 > CConsoleHistory::kTextBytes) << bytes;
    EXPECT_EQ(std::string(1990, 'x') + "400", History(console, CConsoleHistory::kLine).back()) << count;
}

} // namespace
