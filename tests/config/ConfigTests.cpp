#include "config/ConfigControls.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace std::string_literals;
using Texts = std::vector<std::string>; // login, password, UDP server, HTTP server
const char N[] = "-";                   // a control the reader never set
const int kUntouched = INT_MIN;

// Keeps each control's text and answers GetText from it, cut like GetWindowTextA cuts.
struct CRecordingView final : CConfigView {
    std::map<int, std::string> m_texts;
    int m_pos = kUntouched;
    void SetText(int id, LPCSTR text) override { m_texts[id] = text; }
    void GetText(int id, LPSTR buf, int size) override { snprintf(buf, size, "%s", m_texts[id].c_str()); }
    void SetIntervalPos(int pos) override { m_pos = pos; }
    std::string Text(int id) const { return m_texts.count(id) ? m_texts.at(id) : N; }
};

// Each call overwrites the one test file, so nothing piles up in the test's folder.
bool Load(const std::string& bytes, CConfigView& view) {
    std::ofstream("config_tests.ini", std::ios::binary) << bytes;
    return ReadConfig("config_tests.ini", view);
}

std::string Label(int n) { return n == kUntouched ? N : "Update interval [ " + std::to_string(n) + "s ]"; }

TEST(ConfigReader, AppliesEveryRecognisedLineInFileOrder) {
    const std::string first = "name=" + std::string(1010, 'a') + std::string(7, ' '); // 1022 bytes
    const std::vector<std::tuple<std::string, Texts, int>> cases = {
        // Only a value whose line ended in a line feed loses its trailing blanks and control bytes.
        {"name=abc\r\nhost=h\t\x01\x1f \r\npass=abc  ", {"abc", "abc  ", N, "h"}, kUntouched},
        {"name=zz\nname=   \npass= x y\nhost=ab\xA0\xFF\n", {"", " x y", N, "ab\xA0\xFF"}, kUntouched},
        // Keys match whole and case-sensitively; a byte-order mark spoils the first key.
        {"\xEF\xBB\xBFname=b\n[s]\n; c\n\n name=l\nname =t\nNAME=c\nname\nuser=x\n",
         {N, N, N, N},
         kUntouched},
        {"name=a=b\nhost=h1\nhost=h2\npass=p\nudp_host=u\n", {"a=b", "p", "u", "h2"}, kUntouched},
        // A port goes after what the UDP edit shows now; numbers wrap to 32 bits, larger ones saturate.
        {"udp_host=H\nudp_port=7\ninterval=45\n", {N, N, "udp://H:7", N}, 45},
        {"udp_port=7\ninterval=-5\n", {N, N, "udp://:7", N}, -5},
        {"udp_port=7\nudp_host=H\ninterval=3000000000\n", {N, N, "H", N}, -1294967296},
        {"udp_host=H\ninterval=99999999999\n", {N, N, "H", N}, -1},
        {"udp_host=H\nudp_port=7\nudp_port=8\ninterval=-99999999999\n", {N, N, "udp://udp://H:7:8", N}, 1},
        {"udp_host=H\nudp_port=7\nudp_host=G\ninterval=abc\n", {N, N, "G", N}, 0},
        {"udp_host=H\nudp_port=abc\ninterval= 20\n", {N, N, "udp://H:0", N}, 20},
        {"udp_host=H\nudp_port=-1\ninterval=20s\n", {N, N, "udp://H:-1", N}, 20},
        {"udp_port=18446744073709551621\ninterval=12\ninterval=\t\v\f+20\n", {N, N, "udp://:-1", N}, 20},
        // Lines are read in pieces of 1022 bytes: the first piece stays untrimmed, the rest is a line.
        {first + "pass=xy\n", {first.substr(5), "xy", N, N}, kUntouched},
        {"name=" + std::string(1015, 'b') + " \n", {std::string(1015, 'b'), N, N, N}, kUntouched},
        // A zero byte ends the line as the reader sees it; a value cut so keeps its blanks.
        {"name\0=x\nhost=ab\0pass=n\npass=cd  \0t\nudp_host=u\n"s, {N, "cd  ", "u", "ab"}, kUntouched},
        // A composed UDP text longer than a line is cut to 1023 bytes; 1012 is the longest host.
        {"udp_host=" + std::string(1012, 'h') + "\nudp_port=1\nudp_port=12345\n",
         {N, N, ("udp://udp://" + std::string(1012, 'h') + ":1:12345").substr(0, 1023), N},
         kUntouched},
    };
    for (const auto& [bytes, texts, pos] : cases) {
        SCOPED_TRACE(bytes.substr(0, 80));
        CRecordingView view;
        ASSERT_TRUE(Load(bytes, view));
        EXPECT_EQ(texts, Texts({view.Text(IDC_LOGIN), view.Text(IDC_PASSWORD), view.Text(IDC_UDP_SERVER),
                                view.Text(IDC_HTTP_SERVER)}));
        EXPECT_EQ(std::make_pair(pos, Label(pos)), std::make_pair(view.m_pos, view.Text(IDC_INTERVAL_LABEL)));
    }
    CRecordingView none;
    EXPECT_FALSE(ReadConfig("C:\\no-such-folder\\config.ini", none));
    EXPECT_TRUE(none.m_texts.empty() && none.m_pos == kUntouched);
}

char g_text[2048];
std::string Text(HWND wnd) { return std::string(g_text, GetWindowTextA(wnd, g_text, sizeof g_text)); }
HWND Make(LPCSTR c, DWORD s) { return CreateWindowExA(0, c, "", WS_POPUP | s, 0, 0, 9, 9, 0, 0, 0, 0); }

// The dialog's own kinds of control: each shows a setting in its own way.
TEST(ConfigControls, RealControlsShowTheSettingsTheirOwnWay) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&icc));
    CEdit login, password, udp, http;
    CSliderCtrl slider;
    CStatic label;
    login.m_hWnd = Make("EDIT", ES_UPPERCASE | ES_AUTOHSCROLL);
    udp.m_hWnd = Make("EDIT", ES_AUTOHSCROLL);
    slider.m_hWnd = Make(TRACKBAR_CLASSA, TBS_HORZ);
    label.m_hWnd = Make("STATIC", 0);
    slider.SendMessage(TBM_SETRANGE, TRUE, MAKELPARAM(5, 30));
    udp.SetWindowText(std::string(3000, 'x').c_str()); // far more than the reader takes of an edit
    CConfigControls view(login, password, udp, http, slider, label);
    ASSERT_TRUE(Load("name=abc\nudp_port=7\ninterval=45\n", view));
    EXPECT_EQ("ABC", Text(login));
    EXPECT_EQ("udp://" + std::string(1017, 'x'), Text(udp));
    EXPECT_EQ(30, slider.GetPos());
    EXPECT_EQ("Update interval [ 45s ]", Text(label));
    ASSERT_TRUE(Load("interval=2\n", view));
    EXPECT_EQ(5, slider.GetPos());
    EXPECT_EQ("Update interval [ 2s ]", Text(label));
}

} // namespace
