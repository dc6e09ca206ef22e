// The ring and the line reader, fed directly and through a real anonymous pipe.
#include "tests/console/ConsoleTestAccess.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Take(CConsole& console, unsigned length) {
    std::string out(length, '\0');
    out.resize(console.GetBytes(&out[0], length));
    return out;
}

void Put(CConsole& console, const std::string& bytes) {
    console.PutBytes(bytes.data(), (unsigned)bytes.size());
}

std::string Read(CConsole& console, int& length) {
    char buffer[CConsole::kMaxLine + 2];
    memset(buffer, 'Z', sizeof buffer);
    length = console.ReadLine(buffer, CConsole::kMaxLine);
    if (length >= 0) {
        EXPECT_EQ(0, buffer[length]) << "a read line ends with a zero byte";
    }
    return length >= 0 ? std::string(buffer, length) : std::string();
}

// A pipe the test writes into, given to the console as its read end.
struct CTestPipe {
    HANDLE read = nullptr, write = nullptr;
    explicit CTestPipe(CConsole& console) {
        CreatePipe(&read, &write, nullptr, 1 << 16);
        CConsoleTestAccess::SetPipe(console, read);
    }
    ~CTestPipe() {
        CloseWrite();
        CloseHandle(read);
    }
    void Send(const std::string& bytes) {
        DWORD written = 0;
        WriteFile(write, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    }
    void CloseWrite() {
        if (write != nullptr)
            CloseHandle(write);
        write = nullptr;
    }
};

} // namespace

TEST(ConsoleRing, KeepsTheNewestBytesWhenOverfilled) {
    CConsole console;
    std::string bytes(CConsole::kRingSize + 1, 'x');
    bytes[0] = '0';
    bytes[1] = '1';
    Put(console, bytes);
    EXPECT_EQ(CConsole::kRingSize, CConsoleTestAccess::RingCount(console));
    bool taken = false;
    EXPECT_EQ('1', console.GetByte(taken)) << "the first byte was overwritten, the second is the oldest";
    EXPECT_TRUE(taken);

    Put(console, "y");
    Put(console, "z");
    EXPECT_EQ(CConsole::kRingSize, CConsoleTestAccess::RingCount(console));
    std::string all = Take(console, CConsole::kRingSize + 10);
    ASSERT_EQ(CConsole::kRingSize, all.size());
    EXPECT_EQ("xyz", all.substr(all.size() - 3));
    EXPECT_EQ(0u, CConsoleTestAccess::RingCount(console));
}

TEST(ConsoleRing, FindsAndTakesBytes) {
    CConsole console;
    unsigned position = 77;
    EXPECT_FALSE(console.FindByte('\n', position));
    EXPECT_EQ(77u, position) << "an empty ring leaves the position alone";
    bool taken = false;
    EXPECT_EQ(0, console.GetByte(taken));
    EXPECT_FALSE(taken);

    Put(console, std::string("ab\ncd"));
    EXPECT_TRUE(console.FindByte('\n', position));
    EXPECT_EQ(3u, position);
    EXPECT_FALSE(console.FindByte('q', position));
    EXPECT_EQ("ab\nc", Take(console, 4));
    EXPECT_EQ("d", Take(console, 10));
    EXPECT_EQ(0u, CConsoleTestAccess::RingCount(console));

    // Wrapped round: the only line end is the newest byte of a full ring.
    Put(console, std::string(CConsole::kRingSize - 1, 'k') + "\n");
    EXPECT_TRUE(console.FindByte('\n', position));
    EXPECT_EQ(CConsole::kRingSize, position);
}

TEST(ConsoleLineReader, TrimsTheEndOnlyAndCutsLongLines) {
    CConsole console;
    int length = -2;
    Put(console, "abc\r\n  x \t\n\n\r\nend\xC3\xA9\n");
    EXPECT_EQ("abc", Read(console, length));
    EXPECT_EQ(3, length);
    EXPECT_EQ("  x", Read(console, length)) << "leading blanks stay";
    EXPECT_EQ("", Read(console, length));
    EXPECT_EQ(0, length);
    EXPECT_EQ("", Read(console, length));
    EXPECT_EQ("end\xC3\xA9", Read(console, length)) << "bytes above 0x7F are text";
    EXPECT_EQ(0u, CConsoleTestAccess::RingCount(console));

    std::string longLine(3000, 'L');
    longLine[2045] = ' ';
    Put(console, longLine + "\nnext\n");
    EXPECT_EQ(std::string(2045, 'L'), Read(console, length)) << "cut to 2046 bytes, then trimmed";
    EXPECT_EQ("next", Read(console, length));
}

TEST(ConsoleLineReader, PollsThePipe) {
    CConsole console;
    CTestPipe pipe(console);
    int length = -2;

    Put(console, "abc");
    DWORD begin = GetTickCount();
    EXPECT_EQ("", Read(console, length));
    EXPECT_EQ(0, length);
    EXPECT_GE(GetTickCount() - begin, 150u) << "an idle pipe is polled twice, 100 ms apart";
    EXPECT_EQ(3u, CConsoleTestAccess::RingCount(console)) << "a part line waits in the ring";

    pipe.Send("def\nsecond line\n");
    EXPECT_EQ("abcdef", Read(console, length));
    pipe.CloseWrite();
    EXPECT_EQ("second line", Read(console, length)) << "the ring is searched before the pipe";
    Read(console, length);
    EXPECT_EQ(-1, length) << "a broken pipe is a failure";
}

TEST(ConsoleLineReader, NeverOverwritesHeldBytesAndGoesOnAfterAFullRing) {
    CConsole console;
    CTestPipe pipe(console);
    int length = -2;

    // A complete line and the start of another that fills the ring; the pipe holds more than fits.
    Put(console, "kept\n" + std::string(CConsole::kRingSize - 1000, 'a'));
    pipe.Send(std::string(1500, 'b') + "\ntail\n");
    EXPECT_EQ("kept", Read(console, length)) << "the oldest line was not overwritten by the poll";

    std::string cut = Read(console, length);
    EXPECT_EQ(std::string(CConsole::kMaxLine, 'a'), cut) << "a ring full of one line shows its start";
    EXPECT_EQ("tail", Read(console, length)) << "the rest of that line is dropped, reading goes on";

    // 20000 bytes without a line end, arriving in pieces, then a line end and one more line.
    std::vector<std::string> shown;
    for (int i = 0; i < 20; ++i) {
        pipe.Send(std::string(1000, 'c'));
        if (i % 4 != 3)
            continue;
        std::string line = Read(console, length);
        if (length > 0)
            shown.push_back(line);
    }
    pipe.Send("\nafter\n");
    for (int calls = 0; calls < 4 && (shown.empty() || shown.back() != "after"); ++calls) {
        std::string line = Read(console, length);
        if (length > 0)
            shown.push_back(line);
    }
    ASSERT_EQ(2u, shown.size());
    EXPECT_EQ(std::string(CConsole::kMaxLine, 'c'), shown[0]) << "shown once, cut";
    EXPECT_EQ("after", shown[1]);
}
