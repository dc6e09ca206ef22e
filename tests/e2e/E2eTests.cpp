// Quorvid.exe driven from outside, as a person uses it: started in a station folder with a config.ini
// and the two scripts (played by the stand-in php.exe), its window read and its buttons clicked.
#include "tests/e2e/RemoteQuorvid.h"
#include "tests/e2e/TestHarness.h"

#include "res/resource.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace qtest;

namespace {

const DWORD kLaunchMs = 15000;
// Stop may wait up to 4 s per console, so every state change gets a generous bound.
const DWORD kStateMs = 12000;

const char kConfig[] = "[sharing]\r\n"
                       "name=st042\r\n"
                       "pass=secret7\r\n"
                       "host=www.example.net\r\n"
                       "udp_host=feed.example.net\r\n"
                       "udp_port=30003\r\n"
                       "interval=20\r\n";

// Nine dated lines, then the script keeps running: the list must show lines 4 to 9 without the date.
const char kStationNineLines[] = "lines 9 2010-05-17 12:00:0%n station line %n\n"
                                 "hang\n";
const char kStationLastSix[] = "12:00:04 station line 4|12:00:05 station line 5|12:00:06 station line 6|"
                               "12:00:07 station line 7|12:00:08 station line 8|12:00:09 station line 9";

const char kUploaderTwoLines[] = "# only the exact 2010- date prefix is cut\n"
                                 "out 2011-03-04 kept whole\n"
                                 "out 2010-06-01 uploader ready\n"
                                 "hang\n";
const char kUploaderRows[] = "2011-03-04 kept whole|uploader ready";

bool Idle(const CRemoteQuorvid& app) {
    return app.Enabled(IDC_START) && app.Enabled(IDC_CLOSE) && !app.Enabled(IDC_STOP) &&
           app.ListCount(IDC_LIST_STATION) == 0 && app.ListCount(IDC_LIST_UPLOADER) == 0;
}

bool Running(const CRemoteQuorvid& app) {
    return !app.Enabled(IDC_START) && !app.Enabled(IDC_CLOSE) && app.Enabled(IDC_STOP);
}

bool RegistryKeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Local AppWizard-Generated Applications", 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// What the program must leave behind when it has ended: nothing of its own.
void ExpectGoneWithoutTrace(const CRemoteQuorvid& app) {
    ASSERT_TRUE(app.WaitExit(kStateMs)) << "Quorvid.exe did not end";
    EXPECT_FALSE(app.WindowAlive());
    std::vector<DWORD> quorvids = ProcessesNamed("Quorvid.exe");
    EXPECT_EQ(std::find(quorvids.begin(), quorvids.end(), app.Pid()), quorvids.end());
    EXPECT_TRUE(ProcessesNamed("php.exe", app.Pid()).empty()) << "a script outlived the program";
    EXPECT_FALSE(RegistryKeyExists());
}

} // namespace

TEST(EndToEnd, SettingsOutputStopRefusedCloseAndCleanExit) {
    CStationFolder station;
    ASSERT_TRUE(station.Write("config.ini", kConfig));
    ASSERT_TRUE(station.WriteScripts(kStationNineLines, kUploaderTwoLines));

    CRemoteQuorvid app;
    ASSERT_TRUE(app.Launch(station.Path(), "")) << "no main window";

    // The settings, as the read-only controls show them (login and password edits are upper case).
    EXPECT_EQ(app.Text(IDC_LOGIN), "ST042");
    EXPECT_EQ(app.Text(IDC_PASSWORD), "SECRET7");
    EXPECT_EQ(app.Text(IDC_HTTP_SERVER), "www.example.net");
    EXPECT_EQ(app.Text(IDC_UDP_SERVER), "udp://feed.example.net:30003");
    EXPECT_EQ(app.Text(IDC_INTERVAL_LABEL), "Update interval [ 20s ]");
    EXPECT_EQ(app.TrackbarPos(IDC_INTERVAL), 20);

    // Without "--start" nothing runs until Start is clicked.
    EXPECT_TRUE(Idle(app));
    EXPECT_TRUE(ProcessesNamed("php.exe", app.Pid()).empty());

    app.Click(IDC_START);
    EXPECT_TRUE(WaitFor(
        [&] {
            return app.ListRows(IDC_LIST_STATION) == kStationLastSix &&
                   app.ListRows(IDC_LIST_UPLOADER) == kUploaderRows;
        },
        kStateMs))
        << "station: " << app.ListRows(IDC_LIST_STATION) << "\nuploader: " << app.ListRows(IDC_LIST_UPLOADER);
    EXPECT_TRUE(WaitFor([&] { return Running(app); }, kStateMs));
    EXPECT_EQ(ProcessesNamed("php.exe", app.Pid()).size(), 2u);

    // Close, the close box and IDCLOSE are refused while the scripts run, and still right after Stop,
    // before the consoles have reported that they stopped. Posted in one go, they are handled in this
    // order; the window must outlive all of them.
    app.Click(IDC_CLOSE);
    app.Post(WM_CLOSE);
    app.PostCommand(IDCLOSE);
    app.Click(IDC_STOP);
    app.Post(WM_CLOSE);
    app.Click(IDC_CLOSE);
    EXPECT_TRUE(WaitFor([&] { return !app.WindowAlive() || Idle(app); }, kStateMs))
        << "station: " << app.ListRows(IDC_LIST_STATION) << "\nuploader: " << app.ListRows(IDC_LIST_UPLOADER);
    ASSERT_TRUE(app.WindowAlive()) << "the dialog was closed while a script ran";
    EXPECT_TRUE(Idle(app));
    EXPECT_TRUE(WaitFor([&] { return ProcessesNamed("php.exe", app.Pid()).empty(); }, kStateMs));

    // A second Start after a Stop runs both scripts afresh.
    app.Click(IDC_START);
    EXPECT_TRUE(WaitFor(
        [&] {
            return Running(app) && app.ListRows(IDC_LIST_STATION) == kStationLastSix &&
                   app.ListRows(IDC_LIST_UPLOADER) == kUploaderRows;
        },
        kStateMs))
        << "station: " << app.ListRows(IDC_LIST_STATION) << "\nuploader: " << app.ListRows(IDC_LIST_UPLOADER);

    app.Click(IDC_STOP);
    EXPECT_TRUE(WaitFor([&] { return Idle(app); }, kStateMs));

    // Close while idle ends the program cleanly.
    app.Click(IDC_CLOSE);
    ExpectGoneWithoutTrace(app);
}

TEST(EndToEnd, StartSwitchRestartsEndedScriptAndEscapeEndsEverything) {
    CStationFolder station;
    ASSERT_TRUE(station.Write("config.ini", kConfig));
    // The station script ends by itself after two lines; the uploader keeps running.
    ASSERT_TRUE(station.WriteScripts("out alpha\n"
                                     "sleep 300\n"
                                     "out beta\n"
                                     "exit 0\n",
                                     "out 2010-01-02 uploader up\n"
                                     "hang\n"));

    CRemoteQuorvid app;
    ASSERT_TRUE(app.Launch(station.Path(), "--start")) << "no main window";

    // "--start" starts both without a click.
    EXPECT_TRUE(
        WaitFor([&] { return Running(app) && app.ListRows(IDC_LIST_UPLOADER) == "uploader up"; }, kStateMs))
        << "uploader: " << app.ListRows(IDC_LIST_UPLOADER);

    // The ended script is started again: its list, which showed both lines, is emptied and refilled.
    // (The list can only lose its second row by being emptied for a new run.)
    bool sawBoth = false;
    bool sawRefill = false;
    EXPECT_TRUE(WaitFor(
        [&] {
            std::string rows = app.ListRows(IDC_LIST_STATION);
            if (rows == "alpha|beta")
                sawBoth = true;
            else if (sawBoth && rows == "alpha")
                sawRefill = true;
            return sawRefill;
        },
        kStateMs))
        << "saw both lines: " << sawBoth;
    // A restart is not a stop: the buttons stay as they are while running.
    EXPECT_TRUE(Running(app));
    EXPECT_EQ(app.ListRows(IDC_LIST_UPLOADER), "uploader up");

    // Escape ends the program even while both scripts run; neither script is left behind.
    app.PostCommand(IDCANCEL);
    ExpectGoneWithoutTrace(app);
}

TEST(EndToEnd, StartSwitchFoundInsideLongerArgument) {
    CStationFolder station;
    ASSERT_TRUE(station.WriteScripts("out station up\nhang\n", "out uploader up\nhang\n"));

    CRemoteQuorvid app;
    ASSERT_TRUE(app.Launch(station.Path(), "/profile=x--starting")) << "no main window";
    EXPECT_TRUE(WaitFor(
        [&] {
            return Running(app) && app.ListRows(IDC_LIST_STATION) == "station up" &&
                   app.ListRows(IDC_LIST_UPLOADER) == "uploader up";
        },
        kStateMs));
    // Without config.ini the settings stay as the window was built.
    EXPECT_EQ(app.Text(IDC_LOGIN), "");
    EXPECT_EQ(app.Text(IDC_INTERVAL_LABEL), "Update interval [ 10s ]");

    app.Click(IDC_STOP);
    EXPECT_TRUE(WaitFor([&] { return Idle(app); }, kStateMs));
    app.Click(IDC_CLOSE);
    ExpectGoneWithoutTrace(app);
}
