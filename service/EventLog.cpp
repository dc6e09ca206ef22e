#include "service/EventLog.h"

namespace {

const WCHAR kSource[] = L"Quorvid";
const WCHAR kSourceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Quorvid";

// A message id's two top bits are its severity: success, information, warning, error.
WORD EntryType(DWORD id) {
    static const WORD kTypes[4] = {EVENTLOG_SUCCESS, EVENTLOG_INFORMATION_TYPE, EVENTLOG_WARNING_TYPE,
                                   EVENTLOG_ERROR_TYPE};
    return kTypes[id >> 30];
}

} // namespace

CEventLog::~CEventLog() {
    if (m_hSource != nullptr)
        ::DeregisterEventSource(m_hSource);
}

// The source is opened with the first entry: a service that has nothing to say never opens it.
void CEventLog::Report(DWORD id, const WCHAR* const* strings, WORD count) {
    if (m_hSource == nullptr)
        m_hSource = ::RegisterEventSourceW(nullptr, kSource);
    if (m_hSource != nullptr)
        ::ReportEventW(m_hSource, EntryType(id), 0, id, nullptr, count, 0, const_cast<LPCWSTR*>(strings),
                       nullptr);
}

DWORD CEventLog::RegisterSource(const WCHAR* program) {
    HKEY key = nullptr;
    DWORD error = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSourceKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                    &key, nullptr);
    if (error != ERROR_SUCCESS)
        return error;
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    error =
        ::RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(program),
                         (::lstrlenW(program) + 1) * sizeof(WCHAR));
    if (error == ERROR_SUCCESS)
        error = ::RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                                 sizeof types);
    ::RegCloseKey(key);
    return error;
}

void CEventLog::RemoveSource() { ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSourceKey); }
