// The station as its service runs it, in this process: what the event log is told of scripts that keep
// failing, what the pipe's callers may do, and who may change a station folder.
#include "app/StationLock.h"
#include "control/ControlChannel.h"
#include "service/FolderAccess.h"
#include "service/ServiceStation.h"
#include "tests/Station.h"
#include "tests/console/ConsoleHost.h"

#include "ServiceEvents.h"

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

namespace {

// The event log as a test reads it: each entry's message and strings.
struct CLogRecord : CEventLog {
    std::vector<std::vector<std::wstring>> entries; // the message's id as text first
    void Report(DWORD id, const WCHAR* const* strings, WORD count) override {
        entries.push_back({std::to_wstring(id)});
        for (WORD i = 0; i < count; ++i)
            entries.back().push_back(strings[i]);
    }
    size_t Count(DWORD id) const {
        size_t count = 0;
        for (const auto& entry : entries)
            count += entry[0] == std::to_wstring(id);
        return count;
    }
};

// A station folder with its scripts, entered while the object lives.
struct CEnteredStation : CStationFolder {
    WCHAR before[MAX_PATH] = {};
    CEnteredStation(const char* station, const char* uploader, bool withPhp) {
        WriteScripts(station, uploader);
        WCHAR program[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, program, MAX_PATH);
        std::wstring php = program;
        php = php.substr(0, php.rfind(L'\\', php.rfind(L'\\') - 1)) + L"\\php.exe";
        if (withPhp)
            CopyFileW(php.c_str(), (m_path + L"\\php.exe").c_str(), FALSE);
        GetCurrentDirectoryW(MAX_PATH, before);
        SetCurrentDirectoryW(m_path.c_str());
    }
    ~CEnteredStation() {
        SetCurrentDirectoryW(before);
        DeleteFileW((m_path + L"\\php.exe").c_str());
    }
};

// A station stopped however its test ends: no worker of its consoles may outlive them.
struct CTestStation : CServiceStation {
    using CServiceStation::CServiceStation;
    ~CTestStation() override { StopStation(), Close(); }
};

CConsoleHistory::CStatus StatusOf(const CConsole& console) {
    CConsoleHistory::CStatus status;
    console.GetHistoryStatus(status);
    return status;
}

// A command through the station's pipe, as a view or a switch gives it; answered once this thread's
// messages have carried it out.
bool Command(WORD command) {
    auto answered = std::async(std::launch::async, [&] {
        WCHAR pipe[kPipeNameSize];
        CStationLock lock;
        StationPipeName(lock.StationId(), pipe);
        CControlChannel channel;
        CStateView view;
        return channel.Open(pipe, 2000) == CControlChannel::kOpened && channel.Command(command, view, 10000);
    });
    WaitFor([&] { return answered.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 15000);
    return answered.get();
}

BOOL WINAPI StillClock(LARGE_INTEGER* count) { return count->QuadPart = 0, TRUE; }

} // namespace

// The streaks as the history counts them: the tenth failure in a row is an entry, the ones after it are
// not, and a run that ends well starts the count again; a run that could not start is an entry at once,
// and the streak it belongs to has no other.
TEST(ScriptFailures, OneEntryAtTheTenthFailureInARowOrAtTheFirstThatCouldNotStart) {
    CConsole console;
    CConsoleHistory& history = CConsoleTestAccess::History(console);
    CConsoleTestAccess::SetClock(history, StillClock, 1000);
    CLogRecord log;
    CScriptFailures failures(log);
    const auto run = [&](unsigned count, DWORD code, const char* words) {
        for (unsigned i = 0; i < count; ++i) {
            history.RunStarted();
            if (words != nullptr)
                history.AddLine(words, (unsigned)strlen(words));
            history.RunEnded(CConsoleHistory::kExited, code);
            failures.Look(console, 1, "uploader.php", L"C:\\station");
        }
        return log.entries.size();
    };
    EXPECT_EQ(run(9, 3, "no receiver"), 0u);
    ASSERT_EQ(run(1, 255, "given up"), 1u);
    EXPECT_EQ(log.entries[0],
              (std::vector<std::wstring>{std::to_wstring(MSG_SCRIPT_FAILING), L"uploader.php", L"C:\\station",
                                         L"10", L"ended after 0.0 s: exit code 255", L"given up"}));
    EXPECT_EQ(run(5, 3, nullptr), 1u);
    EXPECT_EQ(run(1, 0, nullptr) + run(9, 1, nullptr), 2u);
    ASSERT_EQ(run(1, 1, nullptr), 2u);
    EXPECT_EQ(log.entries[1][3] + L"|" + log.entries[1][5], L"10|(none)");

    run(1, 0, nullptr);
    for (int i = 0; i < 12; ++i) {
        history.CouldNotStart(ERROR_FILE_NOT_FOUND, "not found");
        failures.Look(console, 1, "uploader.php", L"C:\\station");
    }
    ASSERT_EQ(run(10, 3, nullptr), 3u);
    EXPECT_EQ(log.entries[2][0] + L"|" + log.entries[2][1],
              std::to_wstring(MSG_SCRIPT_NOT_STARTED) + L"|uploader.php");
    EXPECT_EQ(log.entries[2][3].substr(log.entries[2][3].size() - 4), L" (2)");
}

// Real scripts as the service runs them: ten failures in a row are one entry with the script's last words,
// however long the streak goes on; Stop and Start come through the pipe; a script that cannot start is one
// entry, however often it is tried; a folder that a copy holds is one, and the station does not run.
TEST(ServiceStation, RunsTheScriptsAsTheWindowDoesAndTellsTheEventLog) {
    CLogRecord log;
    {
        CEnteredStation folder("out warming up\nout last words\nexit 3\n", "out up\nhang\n", true);
        CTestStation station(log);
        ASSERT_EQ(station.Start(), CServiceStation::kRunning);
        EXPECT_TRUE(WaitFor([&] { return StatusOf(station.m_stationConsole).run >= 14; }, 20000));
        EXPECT_TRUE(StatusOf(station.m_uploaderConsole).running);
        ASSERT_EQ(log.entries.size(), 1u);
        const std::vector<std::wstring>& entry = log.entries[0];
        ASSERT_EQ(entry.size(), 6u);
        EXPECT_EQ(entry[0], std::to_wstring(MSG_SCRIPT_FAILING));
        EXPECT_EQ(entry[1] + L"|" + entry[5], L"sbs1station.php|last words");
        EXPECT_EQ(GetFileAttributesW((entry[2] + L"\\sbs1station.php").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
                  0u);
        EXPECT_GE(std::stoi(entry[3]), 10);
        EXPECT_NE(entry[4].find(L": exit code 3"), std::wstring::npos) << entry[4];

        // Through its pipe, Stop ends both scripts and Start runs them again, as the window's buttons would.
        ASSERT_TRUE(Command(kControlStop));
        EXPECT_TRUE(WaitFor([&] { return station.m_runMask == 0; }, 1000) &&
                    !station.m_uploaderConsole.HasWorker());
        ASSERT_TRUE(Command(kControlStart));
        EXPECT_TRUE(WaitFor([&] { return StatusOf(station.m_uploaderConsole).run == 2; }, 10000));
        EXPECT_TRUE(station.StopStation());
    }
    {
        CEnteredStation folder("hang\n", "hang\n", false);
        CTestStation station(log);
        ASSERT_EQ(station.Start(), CServiceStation::kRunning);
        EXPECT_TRUE(WaitFor(
            [&] {
                return StatusOf(station.m_stationConsole).run >= 12 &&
                       StatusOf(station.m_uploaderConsole).run >= 12;
            },
            20000));
        EXPECT_TRUE(station.StopStation());
        ASSERT_EQ(log.Count(MSG_SCRIPT_NOT_STARTED), 2u);
        const std::wstring& a = log.entries[1][1];
        const std::wstring& b = log.entries[2][1];
        EXPECT_EQ(a < b ? a + b : b + a, L"sbs1station.phpuploader.php");
        EXPECT_NE(log.entries[1][3].find(L" (2)"), std::wstring::npos) << log.entries[1][3];

        // A copy of Quorvid holds the folder.
        HANDLE held = CreateFileW(CStationLock::kFileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        CTestStation second(log);
        EXPECT_EQ(second.Start(), CServiceStation::kHeld);
        CloseHandle(held);
        ASSERT_EQ(log.entries.size(), 4u);
        EXPECT_EQ(log.entries[3][0] + L"|" + log.entries[3][1],
                  std::to_wstring(MSG_STATION_HELD) + L"|" + folder.m_path);
    }
}

// The service's SID is the system's own for its name; a folder is the station's only where no one but
// Administrators, SYSTEM, TrustedInstaller and the service may change it or what it hands down.
TEST(FolderAccess, OnlyAdministratorsSystemAndTheServiceMayChangeAStationFolder) {
    BYTE installer[SECURITY_MAX_SID_SIZE], service[SECURITY_MAX_SID_SIZE];
    ASSERT_TRUE(ServiceSid(L"TrustedInstaller", installer) && ServiceSid(L"Quorvid.Station.1", service));
    LPWSTR text = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidW(installer, &text));
    EXPECT_STREQ(text, L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464");
    LocalFree(text);
    ASSERT_TRUE(ConvertSidToStringSidW(service, &text));
    const std::wstring own = text;
    LocalFree(text);
    const struct {
        std::wstring sddl;
        bool others;
    } cases[] = {
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", false},
        {L"O:SYD:(A;OICIIO;GA;;;CO)(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)"
         L"(A;OICI;0x1301bf;;;" +
             own + L")(D;;FA;;;BU)",
         false},
        {L"O:BUD:P(A;OICI;FA;;;BA)", true},            // a user owns it, and may change its access
        {L"O:BA", true},                               // no access list: everyone may do anything
        {L"O:BAD:(A;CI;0x2;;;BU)", true},              // users may add files
        {L"O:BAD:(A;OICIIO;0x4;;;BU)", true},          // and folders, in its folders
        {L"O:BAD:(A;;0x40;;;AU)", true},               // delete what is in it
        {L"O:BAD:(A;;WD;;;WD)", true},                 // change its access
        {L"O:BAD:(A;;GW;;;IU)", true},                 // write
        {L"O:BAD:(A;;FA;;;S-1-5-80-1-2-3-4-5)", true}, // another service
    };
    for (const auto& test : cases) {
        PSECURITY_DESCRIPTOR security = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(test.sddl.c_str(), SDDL_REVISION_1,
                                                                         &security, nullptr));
        EXPECT_EQ(OthersMayWrite(security, service), test.others)
            << std::string(test.sddl.begin(), test.sddl.end());
        LocalFree(security);
    }
}
