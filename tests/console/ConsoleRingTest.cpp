// The ring and the line reader, fed directly and through a real anonymous pipe.
#include "console/ScriptText.h"
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
    // A cut that splits a UTF-8 character leaves the split piece out.
    std::string longLine(3000, 'L'), utf8 = "\xC3\xA9" + std::string(kMax - 3, 'u');
    longLine[kMax - 1] = ' ';
    Put(console, "abc\r\n  x \t \r\n\n\r\n \nend\xC3\xA9\x80\none\ntwo\n" + longLine + "\nnext\n" + utf8 +
                     "\xC3\xA9\xC3\xA9\n");
    Lines lines;
    for (int calls = 0; calls < 12 && CConsoleTestAccess::RingCount(console) > 0; ++calls)
        lines.push_back(Read(console));
    EXPECT_EQ(Lines({"abc", "  x", "", "", "", "end\xC3\xA9\x80", "one", "two", std::string(kMax - 1, 'L'),
                     "next", utf8}),
              lines);
}

// Lines that fill the history's text exactly are all kept; one byte more drops the oldest line, and only
// that one: the next is still whole.
TEST(ConsoleHistory, KeepsTextUpToItsBoundExactly) {
    const unsigned kLines = 300, size = CConsoleHistory::kTextBytes / kLines;
    std::string lines[kLines], last(CConsoleHistory::kTextBytes - size * (kLines - 1), 'y');
    CConsoleHistory history;
    for (unsigned i = 0; i < kLines; ++i)
        lines[i] = i + 1 < kLines ? std::string(size, 'a' + i % 26) : last,
        history.AddLine(lines[i].data(), (unsigned)lines[i].size());
    EXPECT_TRUE(history.Count() == kLines && history.FirstSerial() == 0);
    history.AddLine("z", 1);
    char text[kMax + 1];
    CConsoleHistory::CEntry entry;
    EXPECT_TRUE(history.Count() == kLines && history.FirstSerial() == 1 &&
                history.GetEntry(1, entry, text, sizeof text) && text == lines[1]);
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
    Put(console, "kept\n" + std::string(kMax - 1, 'a') + "\xC3\xA9" + std::string(kRing - 1001 - kMax, 'a'));
    send(std::string(1500, 'b') + "\ntail\n");
    EXPECT_EQ("kept", Read(console)) << "not overwritten by the poll";
    EXPECT_EQ(std::string(kMax - 1, 'a'), Read(console)) << "a ring full of one line shows its start once";
    EXPECT_EQ("tail", Read(console)) << "the rest of that line is dropped";
    CloseHandle(write);
    EXPECT_EQ("<failed>", Read(console)) << "a broken pipe is a failure";
}

// Each line decoded on its own: valid UTF-8 with a byte above 0x7F as UTF-8, anything else in the ANSI code
// page; control bytes but the tab shown as U+FFFD, the tab as a blank.
TEST(ScriptText, DecodesEachLineForShowingAndCutsOnCharacters) {
    auto ansi = [](const std::string& bytes) {
        std::wstring wide(bytes.size(), L'?');
        wide.resize(
            MultiByteToWideChar(CP_ACP, 0, bytes.data(), (int)bytes.size(), &wide[0], (int)wide.size()));
        return wide;
    };
    const std::pair<std::string, std::wstring> kLines[] = {
        {"Connexion refus\xC3\xA9"
         "e \xD0\x9F\xD1\x80\xD0\xB8 \xF0\x9F\x9B\xAB!",
         L"Connexion refus\x00E9"
         L"e \x041F\x0440\x0438 \xD83D\xDEEB!"},
        {std::string("bin\0ary\ttail\x7F\x1B", 14), L"bin\xFFFD"
                                                    L"ary tail\xFFFD\xFFFD"},
        {"caf\xE9", ansi("caf\xE9")},
        {"\xC3\xA9\xC3", ansi("\xC3\xA9\xC3")},                   // cut short
        {"\xC0\xAF \xC3\xA9", ansi("\xC0\xAF \xC3\xA9")},         // overlong
        {"\xE0\x80\xAF \xC3\xA9", ansi("\xE0\x80\xAF \xC3\xA9")}, // overlong in three bytes
        {"\xED\xA0\x80 \xC3\xA9", ansi("\xED\xA0\x80 \xC3\xA9")}, // a surrogate
        {"\xF4\x90\x80\x80", ansi("\xF4\x90\x80\x80")},           // beyond U+10FFFF
    };
    for (const auto& [bytes, shown] : kLines) {
        WCHAR out[64];
        EXPECT_EQ(shown.size(), DecodeScriptText(bytes.data(), (unsigned)bytes.size(), out));
        EXPECT_EQ(shown, std::wstring(out)) << bytes;
    }
    EXPECT_EQ(2u, WholeCharacters("\xC3\xA9\xF0\x9F\x9B", 5));
    EXPECT_EQ(3u, WholeCharacters("\xE9t\xE9", 3)) << "not UTF-8: the ANSI code page's characters";
    EXPECT_EQ(4u, WholeCharacters("\x82\xA0\x82\x82\x82", 5, 932)) << "two double-byte characters, a lead";
    char to[6];
    EXPECT_EQ(4u, CopyWholeCharacters(to, sizeof to, "ab\xD0\x9F\xD1\x80"));
}

} // namespace
