// CEventLog: the Application log's source "Quorvid", where the station's service writes what a person
// looking after the machine must know. The entries' texts are this program's own messages
// (ServiceEvents.mc), which the log reads from Quorvid.exe, registered as the source's message file.
#pragma once

#include <windows.h>

class CEventLog {
public:
    CEventLog() = default;
    virtual ~CEventLog();
    CEventLog(const CEventLog&) = delete;
    CEventLog& operator=(const CEventLog&) = delete;

    // One entry: `id` a message of ServiceEvents.mc, whose severity is the entry's type, and its insertion
    // strings. ReportEventW; a test stands in here.
    virtual void Report(DWORD id, const WCHAR* const* strings, WORD count);

    // At installation: the source, with `program` as its message file. 0, or the system's error.
    static DWORD RegisterSource(const WCHAR* program);
    // At removal of the last station's service.
    static void RemoveSource();

private:
    HANDLE m_hSource = nullptr;
};
