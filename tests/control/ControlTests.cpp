// The control channel: every malformed message refused without a read past its end, who may do what, and
// a server that obeys only those callers.
#include "control/ControlServer.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <thread>
#include <vector>

namespace {

// `size` bytes that end where an inaccessible page begins: a read past them faults.
struct CGuarded {
    BYTE* base;
    BYTE* data;
    explicit CGuarded(const void* bytes, DWORD size) {
        base = (BYTE*)VirtualAlloc(nullptr, 2 * 65536, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        DWORD old = 0;
        VirtualProtect(base + 65536, 65536, PAGE_NOACCESS, &old);
        data = base + 65536 - size;
        memcpy(data, bytes, size);
    }
    ~CGuarded() { VirtualFree(base, 0, MEM_RELEASE); }
};

EControlError Request(const void* bytes, DWORD size) {
    CGuarded guarded(bytes, size);
    CControlRequest request;
    return ReadRequest(guarded.data, size, request);
}

std::vector<BYTE> State(const std::wstring& folder, const std::wstring& image) {
    std::vector<BYTE> message(sizeof(CControlState) + 2 * (folder.size() + image.size()));
    CControlState state = {};
    state.scripts[0].howLength = 5;
    message.resize(WriteState(message.data(), state, folder.data(), (DWORD)folder.size(), image.data(),
                              (DWORD)image.size()));
    return message;
}

// A caller by letters: k known, u the server's own user, s the system, a an administrator, o an operator,
// i interactive.
CCaller Caller(const char* is) {
    auto has = [&](char c) { return strchr(is, c) != nullptr; };
    return CCaller{has('k'), has('u'), has('s'), has('a'), has('o'), has('i')};
}

template <typename T> void Patch(std::vector<BYTE>& message, size_t offset, T value) {
    memcpy(message.data() + offset, &value, sizeof value);
}

// The paths read, joined with '|'; "-" for a message refused.
std::wstring StateReads(const std::vector<BYTE>& message, DWORD size) {
    CGuarded guarded(message.data(), size);
    CStateView view;
    if (!ReadState(guarded.data, size, view))
        return L"-";
    return std::wstring(view.folder, view.state.folderLength) + L"|" +
           std::wstring(view.image, view.state.imageLength);
}

} // namespace

TEST(ControlProtocol, RefusesEveryMalformedRequestWithoutReadingPastIt) {
    CControlRequest good = MakeRequest(kControlHistory, 2);
    EXPECT_EQ(kErrorNone, Request(&good, sizeof good));
    BYTE longer[sizeof good + 1] = {};
    memcpy(longer, &good, sizeof good);
    for (DWORD size = 0; size <= sizeof longer; ++size) {
        if (size != sizeof good) {
            EXPECT_NE(kErrorNone, Request(longer, size)) << size << " bytes";
        }
    }
    const std::pair<void (*)(CControlRequest&), EControlError> kWrong[] = {
        {[](CControlRequest& r) { r.version = kControlVersion + 1; }, kErrorVersion},
        {[](CControlRequest& r) { r.size = sizeof r + 8; }, kErrorMalformed},
        {[](CControlRequest& r) { r.command = 0; }, kErrorCommand},
        {[](CControlRequest& r) { r.command = kControlLastCommand + 1; }, kErrorCommand},
        {[](CControlRequest& r) { r.console = 0; }, kErrorMalformed},
        {[](CControlRequest& r) { r.command = kControlScreen, r.console = 3; }, kErrorMalformed}};
    for (const auto& [spoil, error] : kWrong) {
        CControlRequest request = good;
        spoil(request);
        EXPECT_EQ(error, Request(&request, sizeof request));
    }
}

// A state's two paths, checked against the message's end: cut short, a length that runs past it or is
// beyond any path, a "how" longer than its field, another kind or version.
TEST(ControlProtocol, ReadsAStateOnlyWithinItsMessage) {
    const std::vector<BYTE> good = State(L"C:\\station", L"C:\\Quorvid.exe");
    EXPECT_EQ(L"C:\\station|C:\\Quorvid.exe", StateReads(good, (DWORD)good.size()));
    for (DWORD size = 0; size < good.size(); ++size)
        EXPECT_EQ(L"-", StateReads(good, size)) << size;
    const size_t lengths = offsetof(CControlState, folderLength);
    const std::pair<size_t, DWORD> kWrong[] = {
        {lengths, 11},
        {lengths + 4, 15},
        {lengths, 0xFFFFFFFF},
        {lengths + 4, kControlMaxPath + 1},
        {offsetof(CControlState, scripts[1].howLength), kControlHowSize + 1},
        {offsetof(CControlHead, kind), kAnswerScreen},
        {offsetof(CControlHead, version), kControlVersion + 1},
        {offsetof(CControlHead, size), (DWORD)good.size() + 2}};
    for (const auto& [offset, value] : kWrong) {
        std::vector<BYTE> message = good;
        if (offset == offsetof(CControlHead, kind) || offset == offsetof(CControlHead, version)) {
            Patch(message, offset, (WORD)value);
        } else {
            Patch(message, offset, value);
        }
        EXPECT_EQ(L"-", StateReads(message, (DWORD)message.size())) << offset << "=" << value;
    }
}

TEST(ControlProtocol, ReadsScreensAndHistoriesOnlyWithinTheirMessages) {
    std::vector<BYTE> screen(sizeof(CControlScreen));
    CControlScreen rows = {};
    rows.head = MakeHead(sizeof rows, kAnswerScreen);
    rows.rows = kControlRows;
    memcpy(screen.data(), &rows, sizeof rows);
    CGuarded whole(screen.data(), (DWORD)screen.size());
    EXPECT_TRUE(ReadScreen(whole.data, (DWORD)screen.size(), rows));
    Patch(screen, offsetof(CControlScreen, rows), (DWORD)kControlRows + 1);
    EXPECT_FALSE(ReadScreen(screen.data(), (DWORD)screen.size(), rows));
    Patch(screen, offsetof(CControlScreen, rows), (DWORD)1);
    Patch(screen, offsetof(CControlScreen, length[5]), (DWORD)kControlRowSize);
    EXPECT_FALSE(ReadScreen(screen.data(), (DWORD)screen.size(), rows)) << "a row longer than its field";

    std::vector<BYTE> history(kControlHistoryBytes);
    CControlHistory head = {};
    head.head = MakeHead(sizeof head, kAnswerHistory);
    memcpy(history.data(), &head, sizeof head);
    DWORD size = sizeof head;
    for (const char* text : {"one", "three", ""})
        ASSERT_TRUE(AppendEntry(history.data(), size, CControlEntry{1, 0, (DWORD)strlen(text)}, text));
    std::string read;
    CHistoryReader reader;
    CControlEntry entry;
    const char* text = nullptr;
    CGuarded all(history.data(), size);
    ASSERT_TRUE(reader.Open(all.data, size));
    while (reader.Next(entry, text))
        read += std::string(text, entry.length) + "|";
    EXPECT_TRUE(reader.Whole() && read == "one|three||") << read;
    // Cut inside the last entry's text, or an entry's length that runs past the end: read up to there only.
    for (DWORD cut : {size - 1, size - 17}) {
        CGuarded shorter(history.data(), cut);
        Patch(history, 0, cut);
        memcpy(shorter.data, history.data(), 4);
        ASSERT_TRUE(reader.Open(shorter.data, cut));
        int entries = 0;
        while (reader.Next(entry, text))
            ++entries;
        EXPECT_TRUE(!reader.Whole() && entries == 2) << cut;
    }
}

// Who is obeyed, by a copy and by a service, for each kind of request.
TEST(ControlAccess, ObeysOnlyWhomItShould) {
    const WORD reads[] = {kControlAsk, kControlWatch, kControlScreen, kControlHistory, kControlShow},
               commands[] = {kControlStart, kControlStop, kControlExit};
    // Caller, then what it may do of a copy and of a service: 0 nothing, 1 read, 2 read and control.
    const std::tuple<const char*, int, int> kTable[] = {{"kui", 2, 2},   {"ks", 2, 2},  {"ki", 0, 1},
                                                        {"uisao", 0, 0}, {"kai", 0, 2}, {"koi", 0, 2},
                                                        {"ka", 0, 2},    {"k", 0, 0}};
    for (const auto& [caller, copy, service] : kTable) {
        for (bool ofService : {false, true}) {
            const int rights = ofService ? service : copy;
            const EControlRight right = RightOf(Caller(caller), ofService);
            for (WORD command : reads)
                EXPECT_EQ(rights >= 1, Permits(right, command)) << caller << " " << command;
            for (WORD command : commands)
                EXPECT_EQ(rights == 2, Permits(right, command)) << caller << " " << command;
        }
    }
}

namespace {

// A station's window of the test's own, on a thread of its own, that records the commands handed to it.
CControlDesk* g_desk;
std::string g_carried;
CCaller g_caller;

// A Stop's stopped notices come a while after the command is done, as a window's do.
LRESULT CALLBACK StationProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WORD command = 0;
    if (message == WM_APP + 50)
        Sleep(100), g_desk->Publish(false, true, 0, 0);
    if (message != WM_CONTROL_PENDING)
        return DefWindowProcA(hWnd, message, wParam, lParam);
    if (g_desk->TakePending(command)) {
        g_carried += std::to_string(command), g_desk->Done();
        if (command == kControlStop)
            PostMessageA(hWnd, WM_APP + 50, 0, 0);
    }
    return 0;
}

struct CStationThread {
    HWND window = nullptr;
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread thread{[this] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = StationProc, wc.lpszClassName = "QuorvidTestStation";
        RegisterClassA(&wc);
        window =
            CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        SetEvent(ready);
        for (MSG msg; GetMessageA(&msg, nullptr, 0, 0) > 0;)
            DispatchMessageA(&msg);
    }};
    CStationThread() { WaitForSingleObject(ready, 5000); }
    ~CStationThread() { PostMessageA(window, WM_QUIT, 0, 0), thread.join(), CloseHandle(ready); }
};

// Each request's answer: the kind, and the error of an error answer.
std::string Ask(const WCHAR* pipe, std::initializer_list<WORD> commands) {
    HANDLE client = CreateFileW(pipe, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(client, &mode, nullptr, nullptr);
    std::string answers;
    static BYTE answer[kControlMaxAnswer];
    for (WORD command : commands) {
        CControlRequest request = MakeRequest(command, 1);
        DWORD got = 0, error = 0;
        TransactNamedPipe(client, &request, sizeof request, answer, sizeof answer, &got, nullptr);
        const bool state = ReadHead(answer, got, kAnswerState, &error);
        CStateView view;
        answers += state   ? (ReadState(answer, got, view) && (view.state.flags & kStateIdle) ? "i" : "s")
                   : error ? std::to_string(error)
                   : ReadHead(answer, got, kAnswerScreen) ? "r"
                                                          : "?";
    }
    CloseHandle(client);
    return answers;
}

} // namespace

// The server asks the system who each caller is (here the test says it), and carries out only what that
// caller may do; the rest is answered with a refusal.
TEST(ControlServer, CarriesOutOnlyWhatTheCallerMayDo) {
    CStationThread station;
    CConsole consoles[2];
    for (bool service : {false, true}) {
        CControlDesk desk;
        g_desk = &desk;
        desk.SetStation(station.window, &consoles[0], &consoles[1], service);
        CControlServer server(desk);
        server.m_pfnIdentify = [](HANDLE) { return g_caller; };
        WCHAR id[64], pipe[kPipeNameSize];
        wsprintfW(id, L"Quorvid.Test.%lu.%d", GetCurrentProcessId(), service);
        StationPipeName(id, pipe);
        ASSERT_TRUE(server.Start(id));
        for (int i = 0; i < 50 && !server.ServesStation(); ++i)
            Sleep(20);
        const auto r = std::to_string(kErrorRefused);
        // Start, Stop, Screen, Ask: "s" a state, "i" an idle one, "r" rows, or the error. A Stop carried
        // out is answered once the window is idle.
        const std::pair<const char*, std::string> kCallers[] = {
            {"kui", "siri"}, {"ki", service ? r + r + "rs" : r + r + r + r}, {"uiao", r + r + r + r}};
        for (const auto& [caller, answers] : kCallers) {
            g_caller = Caller(caller), g_carried.clear();
            desk.Publish(true, false, 3, 3);
            EXPECT_EQ(answers, Ask(pipe, {kControlStart, kControlStop, kControlScreen, kControlAsk}))
                << service;
            EXPECT_EQ(answers == "siri" ? "23" : "", g_carried) << "carried out";
        }
        server.Stop();
    }
}

// A watch's hold keeps back a change of the screens, not one of the run state.
TEST(ControlServer, AWatchHoldsBackItsScreensButNotTheState) {
    CStationThread station;
    CConsole consoles[2];
    CControlDesk desk;
    g_desk = &desk, g_caller = Caller("kui");
    desk.SetStation(station.window, &consoles[0], &consoles[1], false);
    CControlServer server(desk);
    server.m_pfnIdentify = [](HANDLE) { return g_caller; };
    WCHAR id[64], pipe[kPipeNameSize];
    wsprintfW(id, L"Quorvid.Test.%lu.hold", GetCurrentProcessId());
    StationPipeName(id, pipe);
    ASSERT_TRUE(server.Start(id));
    for (int i = 0; i < 50 && !server.ServesStation(); ++i)
        Sleep(20);
    for (const bool state : {false, true}) {
        HANDLE client =
            CreateFileW(pipe, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD mode = PIPE_READMODE_MESSAGE, got = 0;
        SetNamedPipeHandleState(client, &mode, nullptr, nullptr);
        CControlRequest request = MakeRequest(kControlWatch);
        request.watch = kWatchState | kWatchScreens;
        request.seen = desk.Marks();
        ++request.seen.screens[0];
        request.hold = state ? 5000 : 300;
        std::thread publish([&] { Sleep(100), state ? desk.Publish(true, false, 3, 3) : void(); });
        const DWORD start = GetTickCount();
        static BYTE answer[kControlMaxAnswer];
        TransactNamedPipe(client, &request, sizeof request, answer, sizeof answer, &got, nullptr);
        const DWORD took = GetTickCount() - start;
        EXPECT_TRUE(ReadHead(answer, got, kAnswerState));
        EXPECT_TRUE(state ? took < 2000 : took >= 250) << took;
        publish.join();
        CloseHandle(client);
    }
    server.Stop();
}
