#include "control/StationRun.h"

#include <string.h>

namespace {

// Kept by pointer by the consoles, so they live as long as the program.
const char kStationCommand[] = "php -f sbs1station.php";
const char kUploaderCommand[] = "php -f uploader.php";

} // namespace

CStationRun::CStationRun() : m_bRunning(0), m_trayIconIndex(0), m_runMask(0) {}

LPCSTR CStationRun::CommandOf(LPARAM id) { return id == kStationId ? kStationCommand : kUploaderCommand; }

LPCSTR CStationRun::ScriptOf(LPARAM id) {
    LPCSTR command = CommandOf(id);
    LPCSTR space = strrchr(command, ' ');
    return space ? space + 1 : command;
}

CConsole* CStationRun::ConsoleOf(LPARAM id) {
    if (id == kStationId)
        return &m_stationConsole;
    return id == kUploaderId ? &m_uploaderConsole : nullptr;
}

void CStationRun::OwnConsoles(CWnd* owner) {
    m_stationConsole.SetOwner(owner, kStationId, &m_bRunning);
    m_uploaderConsole.SetOwner(owner, kUploaderId, &m_bRunning);
}

void CStationRun::StartScripts() {
    m_runMask = kStationId | kUploaderId;
    m_bRunning = 1;
    StartConsole(m_uploaderConsole, kUploaderId);
    StartConsole(m_stationConsole, kStationId);
    PublishState();
}

void CStationRun::StartConsole(CConsole& console, UINT id) {
    console.SetCommand(CommandOf(id));
    // A console that has made no worker will never send its notices: count it as stopped now, or its bit
    // would keep Start and Close disabled for good. A console that refused because its previous worker is
    // still winding down keeps its bit; that worker's stopped notice clears it.
    if (!console.Start() && !console.HasWorker())
        OnConsoleState(0, id);
}

BOOL CStationRun::StopScripts() {
    m_bRunning = 0;
    PublishState();
    CConsole* const consoles[] = {&m_stationConsole, &m_uploaderConsole};
    return CConsole::StopTogether(consoles, 2);
}

void CStationRun::FollowConsole(WPARAM started, LPARAM id) {
    const UINT32 bits = (UINT32)id;
    if (started == 1) {
        m_runMask |= bits;
        m_trayIconIndex |= (BYTE)(bits & 3);
        return;
    }
    m_runMask &= ~bits;
    m_trayIconIndex &= (BYTE)(~bits & 3);
    // Before a list may be emptied: a redraw of the ended run must not fill it again.
    if (CConsole* console = ConsoleOf(id))
        console->SettleScreen();
}

void CStationRun::ServeControl(HWND window, const WCHAR* stationId, bool service) {
    m_desk.SetStation(window, &m_stationConsole, &m_uploaderConsole, service);
    PublishState();
    m_server.Start(stationId);
}

void CStationRun::EndControl() {
    m_server.Stop();
    m_desk.SetStation(nullptr, nullptr, nullptr, m_desk.IsService());
}

void CStationRun::PublishState() {
    m_desk.Publish(m_bRunning == 1 && m_runMask != 0, m_runMask == 0, m_trayIconIndex, m_runMask);
}
