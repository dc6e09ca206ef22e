#include "app/CommandLine.h"

#include <shellapi.h>

#include <wchar.h>

const char kSwitches[] = "--start, --stop, --status, --exit, --show, --list, --station=DIR";

namespace {

const struct {
    LPCWSTR name;
    EAction action;
} kActions[] = {{L"--start", kStart}, {L"--show", kShow}, {L"--status", kStatus},
                {L"--stop", kStop},   {L"--exit", kExit}, {L"--list", kList}};

const WCHAR kStation[] = L"--station=";
const int kStationLength = sizeof kStation / sizeof kStation[0] - 1;

BOOL Refuse(LPCWSTR argument, CCommandLine& parsed) {
    ::WideCharToMultiByte(CP_ACP, 0, argument, -1, parsed.unknown, sizeof parsed.unknown, nullptr, nullptr);
    parsed.unknown[sizeof parsed.unknown - 1] = 0;
    return FALSE;
}

BOOL ParseArgument(LPCWSTR argument, CCommandLine& parsed) {
    for (const auto& known : kActions) {
        if (::lstrcmpW(argument, known.name) != 0)
            continue;
        if (parsed.action != kRun)
            return Refuse(argument, parsed);
        parsed.action = known.action;
        return TRUE;
    }
    if (wcsncmp(argument, kStation, kStationLength) != 0 || argument[kStationLength] == 0 ||
        parsed.station[0] != 0 || ::lstrlenW(argument + kStationLength) >= MAX_PATH)
        return Refuse(argument, parsed);
    ::lstrcpynW(parsed.station, argument + kStationLength, MAX_PATH);
    return TRUE;
}

} // namespace

BOOL ParseCommandLine(LPCWSTR commandLine, CCommandLine& parsed) {
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(commandLine, &count);
    if (arguments == nullptr)
        return TRUE; // nothing could be read, so nothing is refused: the program runs as without switches
    BOOL valid = TRUE;
    for (int i = 1; i < count && valid; ++i)
        valid = ParseArgument(arguments[i], parsed);
    ::LocalFree(arguments);
    return valid;
}
