#include "app/CommandLine.h"

#include <wchar.h>

const char kSwitches[] =
    "--start, --stop, --status, --exit, --show, --list, --station=DIR, --tray, --exit-all "
    "--program-folder=DIR --save=FILE, --resume=FILE, --install-service [--force], "
    "--remove-service";

namespace {

const struct {
    LPCWSTR name;
    EAction action;
} kActions[] = {{L"--start", kStart},
                {L"--show", kShow},
                {L"--status", kStatus},
                {L"--stop", kStop},
                {L"--exit", kExit},
                {L"--list", kList},
                {L"--exit-all", kExitAll},
                {L"--install-service", kInstallService},
                {L"--remove-service", kRemoveService},
                {L"--service", kService}};

// The switches that take a value, and where it goes.
struct CValued {
    LPCWSTR name;
    const WCHAR* CCommandLine::*value;
};
const CValued kValued[] = {{L"--station=", &CCommandLine::station},
                           {L"--program-folder=", &CCommandLine::programFolder},
                           {L"--save=", &CCommandLine::save},
                           {L"--resume=", &CCommandLine::resume}};

BOOL Refuse(const WCHAR* argument, CCommandLine& parsed) {
    ::lstrcpynW(parsed.unknown, argument, MAX_PATH);
    return FALSE;
}

BOOL ParseArgument(const WCHAR* argument, CCommandLine& parsed) {
    for (const auto& known : kActions) {
        if (::lstrcmpW(argument, known.name) != 0)
            continue;
        if (parsed.action != kRun)
            return Refuse(argument, parsed);
        parsed.action = known.action;
        return TRUE;
    }
    for (const CValued& valued : kValued) {
        const size_t length = wcslen(valued.name);
        if (wcsncmp(argument, valued.name, length) != 0)
            continue;
        if (argument[length] == 0 || parsed.*valued.value != nullptr)
            return Refuse(argument, parsed);
        parsed.*valued.value = argument + length;
        return TRUE;
    }
    bool* flag = ::lstrcmpW(argument, L"--tray") == 0    ? &parsed.tray
                 : ::lstrcmpW(argument, L"--force") == 0 ? &parsed.force
                                                         : nullptr;
    if (flag == nullptr || *flag)
        return Refuse(argument, parsed);
    *flag = true;
    return TRUE;
}

// Each switch belongs to some actions only.
BOOL CheckCombination(CCommandLine& parsed) {
    const EAction action = parsed.action;
    const bool exitAll = action == kExitAll, resume = action == kResume;
    if (exitAll != (parsed.programFolder != nullptr) || exitAll != (parsed.save != nullptr))
        return Refuse(parsed.programFolder ? L"--program-folder"
                      : exitAll            ? L"--exit-all"
                                           : L"--save",
                      parsed);
    if (resume && parsed.station != nullptr)
        return Refuse(L"--station", parsed);
    if (parsed.tray && action != kRun && action != kStart)
        return Refuse(L"--tray", parsed);
    if (parsed.force && action != kInstallService)
        return Refuse(L"--force", parsed);
    return TRUE;
}

// Splits the arguments in place, each ended with a zero where its blank was.
WCHAR* NextArgument(WCHAR*& at) {
    while (*at == L' ' || *at == L'\t')
        ++at;
    if (*at == 0)
        return nullptr;
    WCHAR* argument = at;
    WCHAR* out = at;
    bool quoted = false;
    for (; *at != 0 && (quoted || (*at != L' ' && *at != L'\t')); ++at) {
        if (*at == L'"')
            quoted = !quoted;
        else
            *out++ = *at;
    }
    if (*at != 0)
        ++at;
    *out = 0;
    return argument;
}

} // namespace

CCommandLine::~CCommandLine() {
    if (m_copy != nullptr)
        ::HeapFree(::GetProcessHeap(), 0, m_copy);
}

BOOL ParseCommandLine(LPCWSTR commandLine, CCommandLine& parsed) {
    const size_t length = wcslen(commandLine);
    parsed.m_copy = static_cast<WCHAR*>(::HeapAlloc(::GetProcessHeap(), 0, (length + 1) * sizeof(WCHAR)));
    if (parsed.m_copy == nullptr)
        return TRUE; // nothing could be read, so nothing is refused: the program runs as without switches
    ::CopyMemory(parsed.m_copy, commandLine, (length + 1) * sizeof(WCHAR));
    WCHAR* at = parsed.m_copy;
    NextArgument(at); // the program
    while (WCHAR* argument = NextArgument(at)) {
        if (!ParseArgument(argument, parsed))
            return FALSE;
    }
    if (parsed.resume != nullptr) {
        if (parsed.action != kRun)
            return Refuse(L"--resume", parsed);
        parsed.action = kResume;
    }
    return CheckCombination(parsed);
}

void QuoteArgument(const WCHAR* argument, WCHAR* out) {
    const bool quote = argument[0] == 0 || wcspbrk(argument, L" \t") != nullptr;
    size_t n = 0;
    if (quote)
        out[n++] = L'"';
    for (const WCHAR* c = argument; *c != 0; ++c)
        out[n++] = *c;
    if (quote)
        out[n++] = L'"';
    out[n] = 0;
}
