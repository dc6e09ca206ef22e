// CQuorvidApp: the application object. It runs the main dialog modally and ends the program with it.
#pragma once

#include "framework/App.h"

class CQuorvidApp : public CWinApp {
public:
    CQuorvidApp() = default;

    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

extern CQuorvidApp theApp;
