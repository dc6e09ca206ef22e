// Lets the tests give a console a pipe of their own and look at its ring, without a run.
#pragma once

#include "console/Console.h"

class CConsoleTestAccess {
public:
    static void SetPipe(CConsole& console, HANDLE read) { console.m_hPipeRead = read; }
    static unsigned RingCount(const CConsole& console) { return console.m_ringCount; }
};
