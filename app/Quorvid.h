// CQuorvidApp: the application object. It reads the command line, takes the station's lock and runs the main
// dialog modally, ending the program with it; or it acts on the copy that holds the lock.
#pragma once

#include "framework/App.h"

class COutput;
struct CCommandLine;
class CStationLock;

class CQuorvidApp : public CWinApp {
public:
    CQuorvidApp() = default;

    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()

private:
    void Refuse(COutput& out, LPCSTR text, int exitCode);
    BOOL RunOrAct(const CCommandLine& command, COutput& out);
    BOOL ActOnService(const CCommandLine& command, const CStationLock& station, COutput& out);
    BOOL RunDialog(const CCommandLine& command, const WCHAR* stationId, bool view);
};

extern CQuorvidApp theApp;
