#include "config/ConfigReader.h"
#include "res/resource.h"
#include "tests/config/ConfigTestFiles.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <string>

namespace {

using namespace std::string_literals;

const char kInitialLabel[] = "Update interval [ 10s ]";
const int kUntouched = INT_MIN;

// Keeps each control's text and answers GetText from it, cut like GetWindowTextA cuts.
class CRecordingView final : public CConfigView {
public:
    std::map<int, std::string> m_texts{{IDC_INTERVAL_LABEL, kInitialLabel}};
    int m_pos = kUntouched;
    int m_calls = 0;

    void SetText(int controlId, LPCSTR text) override {
        ++m_calls;
        m_texts[controlId] = text;
    }
    void GetText(int controlId, LPSTR buf, int size) override {
        ++m_calls;
        std::string text = m_texts[controlId].substr(0, size - 1);
        memcpy(buf, text.c_str(), text.size() + 1);
    }
    void SetIntervalPos(int pos) override {
        ++m_calls;
        m_pos = pos;
    }
    std::string Text(int controlId) { return m_texts[controlId]; }
};

CRecordingView Read(const std::string& bytes) {
    CTempConfig file(bytes);
    CRecordingView view;
    EXPECT_TRUE(ReadConfig(file.Path(), view));
    return view;
}

std::string Label(int n) { return "Update interval [ " + std::to_string(n) + "s ]"; }

TEST(ConfigReader, TrimsOnlyValuesWhoseLineEndedInALineFeed) {
    EXPECT_EQ("abc", Read("name=abc\r\n").Text(IDC_LOGIN));
    EXPECT_EQ("abc", Read("name=abc  \n").Text(IDC_LOGIN));
    EXPECT_EQ("h", Read("host=h\t\x01\x1f \r\n").Text(IDC_HTTP_SERVER));
    EXPECT_EQ("abc  ", Read("name=abc  ").Text(IDC_LOGIN));
    EXPECT_EQ("abc\r", Read("name=x\nname=abc\r").Text(IDC_LOGIN));
    EXPECT_EQ("", Read("name=zz\nname=   \n").Text(IDC_LOGIN));
    EXPECT_EQ(" x y", Read("pass= x y\n").Text(IDC_PASSWORD));
    // Bytes above 127 are text, not blanks: a signed compare would take them for control bytes.
    EXPECT_EQ("ab\xA0\xFF", Read("name=ab\xA0\xFF\n").Text(IDC_LOGIN));
}

TEST(ConfigReader, MatchesWholeKeysCaseSensitively) {
    CRecordingView view = Read("\xEF\xBB\xBFname=bom\n"
                               "[server]\n; comment\n\n"
                               " name=lead\nname =trail\nNAME=caps\nuser=x\n"
                               "name=a=b\nhost=h1\nhost=h2\npass=p\nudp_host=u\n");
    EXPECT_EQ("a=b", view.Text(IDC_LOGIN));
    EXPECT_EQ("h2", view.Text(IDC_HTTP_SERVER));
    EXPECT_EQ("p", view.Text(IDC_PASSWORD));
    EXPECT_EQ("u", view.Text(IDC_UDP_SERVER));
    EXPECT_EQ(kInitialLabel, view.Text(IDC_INTERVAL_LABEL));
    EXPECT_EQ(kUntouched, view.m_pos);

    CRecordingView bom = Read("\xEF\xBB\xBFname=first\npass=second\n");
    EXPECT_EQ("", bom.Text(IDC_LOGIN));
    EXPECT_EQ("second", bom.Text(IDC_PASSWORD));
}

TEST(ConfigReader, NothingRecognisedLeavesTheControlsAlone) {
    for (const char* bytes : {"", "\n\n", "[section]\nname\nuser=x\nName=y\n"}) {
        CRecordingView view = Read(bytes);
        EXPECT_EQ(0, view.m_calls) << bytes;
    }
    CRecordingView view;
    EXPECT_FALSE(ReadConfig("C:\\no-such-folder\\config.ini", view));
    EXPECT_EQ(0, view.m_calls);
}

TEST(ConfigReader, IntervalNumbersWrapTo32BitsAndShowSigned) {
    const struct {
        const char* value;
        int expected;
    } cases[] = {
        {"45", 45},
        {"-5", -5},
        {"3000000000", -1294967296},
        {"4294967295", -1},
        {"99999999999", -1},
        {"-99999999999", 1},
        {"-4294967296", 1},
        {"abc", 0},
        {" 20", 20},
        {"\t\v\f+20", 20},
        {"20s", 20},
        {"007", 7},
        {"- 5", 0},
        {"+-5", 0},
        {"", 0},
        {"18446744073709551621", -1}, // 2^64 + 5 must saturate, not wrap in 64 bits
    };
    for (const auto& c : cases) {
        CRecordingView view = Read("interval="s + c.value + "\n");
        EXPECT_EQ(c.expected, view.m_pos) << c.value;
        EXPECT_EQ(Label(c.expected), view.Text(IDC_INTERVAL_LABEL)) << c.value;
    }
    CRecordingView twice = Read("interval=12\ninterval=2\n");
    EXPECT_EQ(2, twice.m_pos);
    EXPECT_EQ(Label(2), twice.Text(IDC_INTERVAL_LABEL));
}

TEST(ConfigReader, UdpPortWorksOnWhatTheEditShowsAtThatMoment) {
    const struct {
        const char* lines;
        const char* shown;
    } cases[] = {
        {"udp_host=H\nudp_port=7\n", "udp://H:7"},
        {"udp_port=7\n", "udp://:7"},
        {"udp_port=7\nudp_host=H\n", "H"},
        {"udp_host=H\n", "H"},
        {"udp_host=H\nudp_port=7\nudp_port=8\n", "udp://udp://H:7:8"},
        {"udp_host=H\nudp_port=7\nudp_host=G\n", "G"},
        {"udp_host=H\nudp_port=abc\n", "udp://H:0"},
        {"udp_host=H\nudp_port=-1\n", "udp://H:-1"},
        {"udp_host=H\nudp_port=3000000000\n", "udp://H:-1294967296"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.shown, Read(c.lines).Text(IDC_UDP_SERVER)) << c.lines;
}

TEST(ConfigReader, LongLinesAreReadInPiecesOf1022Bytes) {
    // 1030 bytes: the first 1022 are one untrimmed line, the last 8 ("pass=xy\n") the next.
    std::string first = "name=" + std::string(1010, 'a') + std::string(7, ' ');
    ASSERT_EQ(1022u, first.size());
    CRecordingView view = Read(first + "pass=xy\n");
    EXPECT_EQ(first.substr(5), view.Text(IDC_LOGIN));
    EXPECT_EQ("xy", view.Text(IDC_PASSWORD));

    // Exactly 1022 bytes with the line feed is still one ordinary line.
    std::string exact = "name=" + std::string(1015, 'b') + " \n";
    ASSERT_EQ(1022u, exact.size());
    EXPECT_EQ(std::string(1015, 'b'), Read(exact).Text(IDC_LOGIN));
}

TEST(ConfigReader, AZeroByteEndsWhatTheReaderSeesOfALine) {
    CRecordingView view = Read("name\0=hidden\nhost=ab\0pass=no\npass=cd  \0tail\nudp_host=u\n"s);
    EXPECT_EQ(0u, view.m_texts.count(IDC_LOGIN));
    EXPECT_EQ("ab", view.Text(IDC_HTTP_SERVER));
    // The line feed lies beyond the zero, so the value counts as unterminated and keeps its blanks.
    EXPECT_EQ("cd  ", view.Text(IDC_PASSWORD));
    EXPECT_EQ("u", view.Text(IDC_UDP_SERVER));
}

TEST(ConfigReader, OverlongUdpTextIsCutToTheLineBuffer) {
    // 1012 is the longest host one line can carry with its line feed; the first port still fits,
    // the second pushes the text past 1023 bytes.
    std::string host(1012, 'h');
    std::string full = "udp://udp://" + host + ":1:12345";
    CRecordingView view = Read("udp_host=" + host + "\nudp_port=1\nudp_port=12345\n");
    EXPECT_EQ(full.substr(0, 1023), view.Text(IDC_UDP_SERVER));

    // An edit that already holds far more than a line: only what fits is read and shown.
    CTempConfig file("udp_port=5\n");
    CRecordingView longEdit;
    longEdit.m_texts[IDC_UDP_SERVER] = std::string(5000, 'x');
    EXPECT_TRUE(ReadConfig(file.Path(), longEdit));
    EXPECT_EQ("udp://" + std::string(1017, 'x'), longEdit.Text(IDC_UDP_SERVER));
}

} // namespace
