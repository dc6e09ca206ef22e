#include "config/ConfigControls.h"
#include "res/resource.h"
#include "tests/config/ConfigTestFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Real controls with the styles the main dialog gives them, on a plain top-level window.
class ConfigControlsTest : public ::testing::Test {
protected:
    HWND m_parent = nullptr;
    CEdit m_login, m_password, m_udp, m_http;
    CSliderCtrl m_slider;
    CStatic m_label;

    void SetUp() override {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
        ASSERT_TRUE(InitCommonControlsEx(&icc));
        m_parent = CreateWindowExA(0, "STATIC", "config", WS_OVERLAPPEDWINDOW, 0, 0, 500, 200, nullptr,
                                   nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, m_parent);
        m_login.m_hWnd = Child("EDIT", "", ES_UPPERCASE | ES_AUTOHSCROLL, IDC_LOGIN);
        m_password.m_hWnd = Child("EDIT", "", ES_UPPERCASE | ES_PASSWORD | ES_AUTOHSCROLL, IDC_PASSWORD);
        m_udp.m_hWnd = Child("EDIT", "", ES_LOWERCASE | ES_AUTOHSCROLL, IDC_UDP_SERVER);
        m_http.m_hWnd = Child("EDIT", "", ES_LOWERCASE | ES_AUTOHSCROLL, IDC_HTTP_SERVER);
        m_slider.m_hWnd = Child(TRACKBAR_CLASSA, "", TBS_HORZ | TBS_TOP, IDC_INTERVAL);
        m_label.m_hWnd = Child("STATIC", "Update interval [ 10s ]", SS_LEFT, IDC_INTERVAL_LABEL);
        m_slider.SetRangeMin(5, TRUE);
        m_slider.SetRangeMax(30, TRUE);
    }
    void TearDown() override { DestroyWindow(m_parent); }

    HWND Child(LPCSTR cls, LPCSTR text, DWORD style, int id) {
        HWND wnd = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 200, 20, m_parent,
                                   (HMENU)(INT_PTR)id, nullptr, nullptr);
        EXPECT_NE(nullptr, wnd) << cls;
        return wnd;
    }
    bool Load(const std::string& bytes) {
        CTempConfig file(bytes);
        CConfigControls view(m_login, m_password, m_udp, m_http, m_slider, m_label);
        return ReadConfig(file.Path(), view);
    }
    static std::string Text(const CWnd& wnd) {
        char buf[2048];
        wnd.GetWindowText(buf, sizeof buf);
        return buf;
    }
};

TEST_F(ConfigControlsTest, ControlsShowTheSettingsInTheirOwnWay) {
    ASSERT_TRUE(Load("name=abc\npass=Secret\nudp_host=Example.COM\nudp_port=9000\nhost=Web.Example.com\n"
                     "interval=45\n"));
    EXPECT_EQ("ABC", Text(m_login));
    EXPECT_EQ("SECRET", Text(m_password));
    // The port is appended to the edit's text as it shows, already lowered.
    EXPECT_EQ("udp://example.com:9000", Text(m_udp));
    EXPECT_EQ("web.example.com", Text(m_http));
    EXPECT_EQ(30, m_slider.GetPos());
    EXPECT_EQ("Update interval [ 45s ]", Text(m_label));

    ASSERT_TRUE(Load("interval=2\n"));
    EXPECT_EQ(5, m_slider.GetPos());
    EXPECT_EQ("Update interval [ 2s ]", Text(m_label));
}

TEST_F(ConfigControlsTest, ReadsOnlyALineOfAVeryLongEdit) {
    m_udp.SetWindowText(std::string(3000, 'x').c_str());
    ASSERT_TRUE(Load("udp_port=7\n"));
    EXPECT_EQ("udp://" + std::string(1017, 'x'), Text(m_udp));
}

} // namespace
