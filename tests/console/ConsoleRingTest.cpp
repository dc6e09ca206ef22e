// The ring and the line reader, fed directly and through a real anonymous pipe.
#include "tests/console/ConsoleHost.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;
const unsigned kRing = CConsole::kRingSize, kMax = CConsole::kMaxLine;

void Put(CConsole& console, const std::string& s) { console.PutBytes(s.data(), (unsigned)s.size()); }

std::string Take(CConsole& console, unsigned length) {
    std::string out(length, '\0');
    out.resize(console.GetBytes(&out[0], length));
    return out;
}

std::string Read(CConsole& console) {
    char buffer[kMax + 2];
    int length = console.ReadLine(buffer, kMax);
    return length < 0 ? "<failed>" : std::string(buffer, length);
}

TEST(ConsoleRing, KeepsTheNewestBytesAndGivesLines) {
    CConsole console;
    unsigned position = 77;
    bool taken = false;
    EXPECT_TRUE(!console.FindByte('\n', position) && position == 77) << "the position left alone";
    EXPECT_TRUE(console.GetByte(taken) == 0 && !taken) << "nothing taken from an empty ring";
    EXPECT_EQ("", Take(console, 4));

    Put(console, "ab\ncd");
    EXPECT_TRUE(console.FindByte('\n', position) && position == 3 && !console.FindByte('q', position));
    EXPECT_TRUE(console.GetByte(taken) == 'a' && taken);
    EXPECT_EQ("b\ncd", Take(console, 10)) << "a short ring gives what it has";

    Put(console, "01" + std::string(kRing - 1, 'x'));
    EXPECT_EQ('1', console.GetByte(taken)) << "one byte more than fits: the oldest went";
    Put(console, "y\n");
    EXPECT_TRUE(console.FindByte('\n', position) && position == kRing)
        << "wrapped round and full again, the line end is the newest byte";
    EXPECT_EQ(std::string(kRing - 2, 'x') + "y\n", Take(console, kRing + 10));

    // The line reader on its own: the end of a line trimmed, a long one cut, empty ones taken out.
    std::string longLine(3000, 'L');
    longLine[kMax - 1] = ' ';
    Put(console, "abc\r\n  x \t \r\n\n\r\n \nend\xC3\xA9\x80\none\ntwo\n" + longLine + "\nnext\n");
    Lines lines;
    for (int calls = 0; calls < 12 && CConsoleTestAccess::RingCount(console) > 0; ++calls)
        lines.push_back(Read(console));
    EXPECT_EQ(Lines({"abc", "  x", "", "", "", "end\xC3\xA9\x80", "one", "two", std::string(kMax - 1, 'L'),
                     "next"}),
              lines);
}

TEST(ConsoleLineReader, ReadsThePipeWithoutOverwritingHeldBytes) {
    CConsole console;
    HANDLE read = nullptr, write = nullptr;
    DWORD mode = PIPE_NOWAIT; // as the console's own read end
    ASSERT_TRUE(CreatePipe(&read, &write, nullptr, 1 << 16) && SetNamedPipeHandleState(read, &mode, 0, 0));
    CConsoleTestAccess::SetPipe(console, read);
    DWORD written = 0;
    auto send = [&](const std::string& b) { WriteFile(write, b.data(), (DWORD)b.size(), &written, nullptr); };
    Put(console, "abc");
    EXPECT_EQ("", Read(console));
    EXPECT_EQ(3u, CConsoleTestAccess::RingCount(console)) << "a part line waits in the ring";
    send("def\nsecond\n");
    EXPECT_EQ(Lines({"abcdef", "second"}), Lines({Read(console), Read(console)}));

    // A line and the start of another that fills the ring, while the pipe holds more than fits.
    Put(console, "kept\n" + std::string(kRing - 1000, 'a'));
    send(std::string(1500, 'b') + "\ntail\n");
    EXPECT_EQ("kept", Read(console)) << "not overwritten by the poll";
    EXPECT_EQ(std::string(kMax, 'a'), Read(console)) << "a ring full of one line shows its start once";
    EXPECT_EQ("tail", Read(console)) << "the rest of that line is dropped";
    CloseHandle(write);
    EXPECT_EQ("<failed>", Read(console)) << "a broken pipe is a failure";
}

} // namespace
