#include "app/ControlClient.h"

#include "app/CommandLine.h"
#include "console/ConsoleHistory.h"
#include "console/ScriptText.h"
#include "control/ControlAccess.h"
#include "control/ControlNames.h"
#include "framework/HeapText.h"
#include "service/ServiceControl.h"

#include <tlhelp32.h>

#include <new>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

namespace {

const WCHAR* const kScripts[2] = {L"sbs1station.php", L"uploader.php"};

WCHAR* NewText(size_t characters) {
    return static_cast<WCHAR*>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, characters * sizeof(WCHAR)));
}

void FreeText(void* text) {
    if (text != nullptr)
        ::HeapFree(::GetProcessHeap(), 0, text);
}

// A path of an answer, which carries no terminating zero, as a string of its own.
WCHAR* CopyPath(const WCHAR* path, DWORD length) {
    WCHAR* copy = NewText(length + 1);
    if (copy != nullptr)
        ::CopyMemory(copy, path, length * sizeof(WCHAR));
    return copy;
}

// One script's line of --status: "uploader.php: running, run 412 since 2026-12-07 15:30:02; last end:
// exit code 255 at 15:30:01". A run that ended by itself tells how without its length.
void DescribeScript(const WCHAR* name, const CControlScript& script, bool wanted, WCHAR* line, size_t size) {
    SYSTEMTIME time;
    char since[32] = "", when[32] = "";
    CConsoleHistory::LocalTime(script.since, time);
    CConsoleHistory::FormatWhen(time, true, since, sizeof since);
    int length;
    if (script.running)
        length = swprintf(line, size, L"%ls: running, run %lu since %hs", name, script.run, since);
    else if (script.run == 0)
        length = swprintf(line, size, L"%ls: %ls", name, wanted ? L"starting" : L"not started");
    else
        length = swprintf(line, size, L"%ls: %ls, last run %lu", name, wanted ? L"restarting" : L"stopped",
                          script.run);
    if (!script.ended || length < 0)
        return;
    char how[kControlHowSize + 1] = "";
    ::CopyMemory(how, script.how, script.howLength);
    const char* shown = how;
    const char* detail = strstr(how, ": ");
    if (strncmp(how, "ended after ", 12) == 0 && detail != nullptr)
        shown = detail + 2;
    WCHAR decoded[kControlHowSize + 1];
    DecodeScriptText(shown, (unsigned)strlen(shown), decoded);
    CConsoleHistory::LocalTime(script.lastEnd, time);
    CConsoleHistory::FormatWhen(time, false, when, sizeof when);
    swprintf(line + length, size - length, L"; last end: %ls at %hs", decoded, when);
}

// The token of the desktop's shell, for starting a program with the user's own rights from a process whose
// rights are raised (Setup's, run as administrator); null where this process's are not, or where no shell
// runs to take them from (no one is logged on at this desktop), and the program starts as this one runs.
CHandle ShellUserToken() {
    HANDLE own = nullptr;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    const bool raised = ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &own) &&
                        ::GetTokenInformation(own, TokenElevation, &elevation, sizeof elevation, &size) &&
                        elevation.TokenIsElevated;
    CHandle ownToken(own);
    DWORD pid = 0;
    if (!raised || !::GetWindowThreadProcessId(::GetShellWindow(), &pid))
        return CHandle();
    CHandle shell(OpenProcessToQuery(pid));
    HANDLE token = nullptr, primary = nullptr;
    if (!shell || !::OpenProcessToken(shell.Get(), TOKEN_DUPLICATE, &token))
        return CHandle();
    CHandle shellToken(token);
    const DWORD access =
        TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID;
    if (!::DuplicateTokenEx(token, access, nullptr, SecurityImpersonation, TokenPrimary, &primary))
        return CHandle();
    return CHandle(primary);
}

// What a copy is, as --list and --exit-all's file say it: its scripts run, it is idle, or it is a view of a
// station's service.
const WCHAR kRunning[] = L"running", kIdle[] = L"idle", kView[] = L"view";

// Starts a copy of the program in its station folder as it was: with --start where its scripts ran, in the
// notification area where it was a view. The program is the one that ran there, where it still is.
BOOL StartCopy(const WCHAR* image, const WCHAR* folder, const WCHAR* kind) {
    CHeapText program(kLongPath), line(3 * kLongPath);
    if (!program || !line)
        return FALSE;
    if (image[0] != 0 && ::GetFileAttributesW(image) != INVALID_FILE_ATTRIBUTES)
        ::lstrcpynW(program.Get(), image, kLongPath);
    else
        ::GetModuleFileNameW(nullptr, program.Get(), kLongPath);
    QuoteArgument(program.Get(), line.Get());
    wcscat(line.Get(), !wcscmp(kind, kRunning) ? L" --start --station="
                       : !wcscmp(kind, kView)  ? L" --tray --station="
                                               : L" --station=");
    QuoteArgument(folder, line.Get() + wcslen(line.Get()));
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    // Never with raised rights: a copy runs its station's scripts with them.
    typedef BOOL(WINAPI * WithTokenFn)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW,
                                       LPPROCESS_INFORMATION);
    const WithTokenFn withToken = reinterpret_cast<WithTokenFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("advapi32.dll"), "CreateProcessWithTokenW")));
    CHandle user = withToken != nullptr ? ShellUserToken() : CHandle();
    const BOOL started =
        user ? withToken(user.Get(), 0, program.Get(), line.Get(), 0, nullptr, nullptr, &si, &pi)
             : ::CreateProcessW(program.Get(), line.Get(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                                &pi);
    if (started) {
        ::CloseHandle(pi.hProcess);
        ::CloseHandle(pi.hThread);
    }
    return started;
}

// A copy that runs: what --exit-all closed, and what --resume starts again.
struct CCopy {
    CCopy* next;
    DWORD pid;
    const WCHAR* kind;
    CHandle process;
    CControlChannel channel;
    WCHAR* image;
    WCHAR* folder;
};

void FreeCopies(CCopy* copies) {
    while (copies != nullptr) {
        CCopy* next = copies->next;
        FreeText(copies->image);
        FreeText(copies->folder);
        copies->~CCopy();
        ::HeapFree(::GetProcessHeap(), 0, copies);
        copies = next;
    }
}

// Every copy of this program that answers on its own pipe, newest last; the channel to each stays open. A
// station's service runs as an account of its own: it is known by the process the system says it runs
// in (`isService`).
template <typename Wanted, typename IsService> CCopy* FindCopies(Wanted wanted, IsService isService) {
    CCopy* first = nullptr;
    CCopy** last = &first;
    CHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot && ::Process32FirstW(snapshot.Get(), &entry); more;
         more = ::Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID == ::GetCurrentProcessId() || !IsProgramImage(entry.szExeFile))
            continue;
        void* memory = ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(CCopy));
        if (memory == nullptr)
            break;
        CCopy* copy = new (memory) CCopy();
        WCHAR pipe[kPipeNameSize];
        ProcessPipeName(entry.th32ProcessID, pipe);
        CStateView view;
        const DWORD pid = entry.th32ProcessID;
        if (copy->channel.Open(pipe, 1000, pid, isService(pid) ? pid : 0) == CControlChannel::kOpened &&
            copy->channel.Command(kControlAsk, view, 5000) && wanted(view)) {
            copy->pid = pid;
            copy->kind = (view.state.flags & kStateView)        ? kView
                         : (view.state.flags & kStateRunWanted) ? kRunning
                                                                : kIdle;
            copy->image = CopyPath(view.image, view.state.imageLength);
            copy->folder = CopyPath(view.folder, view.state.folderLength);
            *last = copy;
            last = &copy->next;
        } else {
            copy->next = nullptr;
            FreeCopies(copy);
        }
    }
    return first;
}

// An installed station service, for --list.
struct CService {
    CService* next;
    DWORD pid;
    bool listed;
    WCHAR* name;
    WCHAR* program;
    WCHAR* station;
};

void FreeServices(CService* services) {
    while (services != nullptr) {
        CService* next = services->next;
        FreeText(services->name), FreeText(services->program), FreeText(services->station);
        ::HeapFree(::GetProcessHeap(), 0, services);
        services = next;
    }
}

CService* FindServices() {
    CService* first = nullptr;
    CService** last = &first;
    ForEachStationService([&](const CStationService& found) {
        CService* service =
            static_cast<CService*>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(CService)));
        if (service == nullptr)
            return;
        service->pid = found.pid;
        service->name = CopyPath(found.name, (DWORD)wcslen(found.name));
        service->program = CopyPath(found.program, (DWORD)wcslen(found.program));
        service->station = CopyPath(found.station, (DWORD)wcslen(found.station));
        *last = service;
        last = &service->next;
    });
    return first;
}

// One line of --list: "pid<TAB>state<TAB>program<TAB>folder", and "<TAB>service NAME" for a service.
bool ListLine(COutput& out, DWORD pid, const WCHAR* state, const WCHAR* program, const WCHAR* folder,
              const WCHAR* service) {
    const size_t size = 128 + wcslen(state) + (program ? wcslen(program) : 0) +
                        (folder ? wcslen(folder) : 0) + (service ? wcslen(service) : 0);
    WCHAR* text = NewText(size);
    if (text == nullptr)
        return false;
    swprintf(text, size, L"%lu\t%ls\t%ls\t%ls%ls%ls", pid, state, program ? program : L"",
             folder ? folder : L"", service ? L"\tservice " : L"", service ? service : L"");
    out.Line(text);
    FreeText(text);
    return true;
}

} // namespace

int CControlClient::NoAnswer() {
    m_out.Line("the copy of Quorvid that supervises this folder did not answer in time");
    return kNoAnswer;
}

int CControlClient::Foreign(DWORD pid) {
    char text[128];
    snprintf(text, sizeof text, "the station's control name is held by another program (process %lu)", pid);
    m_out.Line(text);
    return kForeign;
}

template <typename Reached, typename Due>
int CControlClient::Drive(CControlChannel& channel, WORD command, CStateView& view, Reached reached, Due due,
                          DWORD ms) {
    bool given = false;
    for (const DWORD start = ::GetTickCount(); ::GetTickCount() - start < ms; ::Sleep(kLookAgainMs)) {
        if (!channel.Command(kControlAsk, view, kAskMs))
            break;
        if (reached(view))
            return kDone;
        if (given || !due(view))
            continue;
        DWORD error = kErrorNone;
        given = channel.Command(command, view, kStopBoundMs, &error) != FALSE;
        if (!given && error == kErrorRefused) {
            m_out.Line("you may not start or stop the scripts of this station");
            return kRefused;
        }
        // A Stop is answered once the copy is idle: its answer may be the state waited for.
        if (given && reached(view))
            return kDone;
    }
    return NoAnswer();
}

int CControlClient::Describe(const CStateView& view) {
    WCHAR line[512];
    for (int i = 0; i < 2; ++i) {
        DescribeScript(kScripts[i], view.state.scripts[i], (view.state.flags & kStateRunWanted) != 0, line,
                       512);
        m_out.Line(line);
    }
    return view.state.scripts[0].running && view.state.scripts[1].running ? kDone : kNotRunning;
}

int CControlClient::Status(CControlChannel& channel) {
    CStateView view;
    return channel.Command(kControlAsk, view, kAskMs) ? Describe(view) : NoAnswer();
}

int CControlClient::Stop(CControlChannel& channel) {
    CStateView view;
    const auto idle = [](const CStateView& v) { return (v.state.flags & kStateIdle) != 0; };
    const auto running = [](const CStateView& v) { return (v.state.flags & kStateRunWanted) != 0; };
    const int code = Drive(channel, kControlStop, view, idle, running, kStopBoundMs);
    if (code == kDone)
        m_out.Line("the scripts are stopped");
    return code;
}

// A copy that is still stopping is let finish first: its Start button is not available before that either.
// Each script has started once its run that came after the command has its child up or has ended; a run
// that could not start its child says why.
int CControlClient::Start(CControlChannel& channel) {
    CStateView view;
    DWORD before[2] = {};
    const auto due = [&](const CStateView& v) {
        before[0] = v.state.scripts[0].run, before[1] = v.state.scripts[1].run;
        return (v.state.flags & kStateIdle) != 0;
    };
    const auto settled = [&](const CStateView& v) {
        if ((v.state.flags & kStateRunWanted) == 0)
            return false;
        for (int i = 0; i < 2; ++i) {
            const CControlScript& script = v.state.scripts[i];
            if (!script.running && (script.run <= before[i] || (script.startError == 0 && !script.ended)))
                return false;
        }
        return true;
    };
    const int code = Drive(channel, kControlStart, view, settled, due, kStopBoundMs);
    if (code != kDone)
        return code;
    int result = kDone;
    for (int i = 0; i < 2; ++i) {
        const CControlScript& script = view.state.scripts[i];
        if (script.running || script.startError == 0)
            continue;
        WCHAR reason[512], line[600];
        CConsoleHistory::SystemText(script.startError, reason, 512);
        swprintf(line, 600, L"%ls: not started: %ls", kScripts[i], reason);
        m_out.Line(line);
        result = kNotRunning;
    }
    if (result == kDone)
        m_out.Line("the scripts are running");
    return result;
}

// Once the command is taken the copy answers no more: its end is what is waited for, and how it ended.
int CControlClient::Exit(CControlChannel& channel) {
    CStateView view;
    if (!channel.Command(kControlAsk, view, kAskMs))
        return NoAnswer();
    if (view.state.flags & kStateService) {
        m_out.Line("this station runs as a service: --exit stops nothing (the service's own Stop does)");
        return kNotRunning;
    }
    CHandle process(OpenProcessToQuery(view.state.pid, SYNCHRONIZE));
    if (!process || !channel.Send(MakeRequest(kControlExit), kAskMs) ||
        ::WaitForSingleObject(process.Get(), kStopBoundMs) != WAIT_OBJECT_0)
        return NoAnswer();
    DWORD code = 0;
    ::GetExitCodeProcess(process.Get(), &code);
    if (code == 0) {
        m_out.Line("Quorvid has ended");
        return kDone;
    }
    char text[128];
    snprintf(text, sizeof text,
             "Quorvid has ended without waiting for its scripts' supervision (exit code %lu)", code);
    m_out.Line(text);
    return kNoAnswer;
}

// The copy may take the foreground only if this one, just started by the user, lets it.
int CControlClient::Show(CControlChannel& channel) {
    ::AllowSetForegroundWindow(channel.ServerPid());
    CStateView view;
    return channel.Command(kControlShow, view, kAskMs) ? kDone : NoAnswer();
}

// The services' processes answer as the copies do; a service that is stopped, or does not answer, is
// listed from what the system knows of it.
int CControlClient::List() {
    CService* services = FindServices();
    const auto serviceOf = [&](DWORD pid) {
        CService* service = services;
        while (service != nullptr && (pid == 0 || service->pid != pid))
            service = service->next;
        return service;
    };
    CCopy* copies = FindCopies([](const CStateView&) { return true; },
                               [&](DWORD pid) { return serviceOf(pid) != nullptr; });
    bool listed = false;
    for (const CCopy* copy = copies; copy != nullptr; copy = copy->next) {
        CService* service = serviceOf(copy->pid);
        if (service != nullptr)
            service->listed = true;
        listed |= ListLine(m_out, copy->pid, copy->kind, copy->image, copy->folder,
                           service != nullptr ? service->name : nullptr);
    }
    for (const CService* service = services; service != nullptr; service = service->next)
        if (!service->listed)
            listed |= ListLine(m_out, service->pid, service->pid != 0 ? L"no answer" : L"stopped",
                               service->program, service->station, service->name);
    FreeCopies(copies);
    FreeServices(services);
    return listed ? kDone : kNotRunning;
}

// Every copy is told at once and waited for together. The file is written only once all have closed; where
// one did not, those that did are started again as they were.
int CControlClient::ExitAll(const WCHAR* programFolder, const WCHAR* saveFile) {
    CHeapText folder(kLongPath), image(kLongPath), path(kLongPath);
    if (!folder || !image || !path || !FullLongPath(programFolder, folder.Get(), kLongPath)) {
        m_out.Line("no such program folder");
        return ERROR_INVALID_PARAMETER;
    }
    CCopy* copies = FindCopies(
        [&](const CStateView& view) {
            if (view.state.flags & kStateService)
                return false;
            ::CopyMemory(path.Get(), view.image, view.state.imageLength * sizeof(WCHAR));
            path.Get()[view.state.imageLength] = 0;
            return FullLongPath(path.Get(), image.Get(), kLongPath) && IsInside(image.Get(), folder.Get());
        },
        [](DWORD) { return false; });
    for (CCopy* copy = copies; copy != nullptr; copy = copy->next) {
        copy->process.Reset(::OpenProcess(SYNCHRONIZE, FALSE, copy->pid));
        copy->channel.Send(MakeRequest(kControlExit), kAskMs);
    }
    bool closed = true;
    const DWORD start = ::GetTickCount();
    for (CCopy* copy = copies; copy != nullptr; copy = copy->next) {
        const DWORD spent = ::GetTickCount() - start;
        const bool ended = copy->process && ::WaitForSingleObject(copy->process.Get(),
                                                                  spent < kStopBoundMs ? kStopBoundMs - spent
                                                                                       : 0) == WAIT_OBJECT_0;
        if (!ended)
            copy->pid = 0, closed = false;
    }
    // UTF-16 with its mark: a line a copy, what it is, its program and its station folder.
    CHandle file;
    if (closed)
        file.Reset(::CreateFileW(saveFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    DWORD written = 0;
    bool saved = file && ::WriteFile(file.Get(), L"\xFEFF", sizeof(WCHAR), &written, nullptr);
    for (CCopy* copy = copies; copy != nullptr && saved; copy = copy->next) {
        const WCHAR* parts[] = {copy->kind, L"\t", copy->image, L"\t", copy->folder, L"\r\n"};
        for (const WCHAR* part : parts)
            saved = saved &&
                    ::WriteFile(file.Get(), part, (DWORD)(wcslen(part) * sizeof(WCHAR)), &written, nullptr);
    }
    file.Reset();
    if (!saved) {
        if (closed)
            ::DeleteFileW(saveFile);
        for (CCopy* copy = copies; copy != nullptr; copy = copy->next)
            if (copy->pid != 0)
                StartCopy(copy->image, copy->folder, copy->kind);
    }
    FreeCopies(copies);
    if (!closed) {
        m_out.Line("a copy of Quorvid did not close in time; those that did were started again");
        return kNoAnswer;
    }
    if (!saved) {
        m_out.Line("the copies' list could not be written; they were started again");
        return kNoAnswer;
    }
    return kDone;
}

int CControlClient::Resume(const WCHAR* fileName) {
    CHandle file(::CreateFileW(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart > 64 * 1024 * 1024) {
        m_out.Line("no list of copies to start again");
        return kNotRunning;
    }
    const DWORD bytes = (DWORD)size.QuadPart;
    WCHAR* text = NewText(bytes / sizeof(WCHAR) + 1);
    DWORD read = 0;
    if (text == nullptr || !::ReadFile(file.Get(), text, bytes, &read, nullptr) || read != bytes) {
        FreeText(text);
        return kNotRunning;
    }
    file.Reset();
    int code = kDone;
    WCHAR* at = text[0] == 0xFEFF ? text + 1 : text;
    while (*at != 0) {
        WCHAR* end = wcschr(at, L'\n');
        if (end != nullptr)
            *end = 0;
        WCHAR* fields[3] = {at, wcschr(at, L'\t'), nullptr};
        if (fields[1] != nullptr && (fields[2] = wcschr(fields[1] + 1, L'\t')) != nullptr) {
            *fields[1]++ = 0;
            *fields[2]++ = 0;
            WCHAR* cr = wcschr(fields[2], L'\r');
            if (cr != nullptr)
                *cr = 0;
            if (!StartCopy(fields[1], fields[2], fields[0]))
                code = kNotRunning;
        }
        if (end == nullptr)
            break;
        at = end + 1;
    }
    FreeText(text);
    ::DeleteFileW(fileName);
    return code;
}
