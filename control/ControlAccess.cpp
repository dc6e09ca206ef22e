// Who may do what, and reading who a caller is.
#include "control/ControlAccess.h"

#include "control/ControlProtocol.h"

#include <sddl.h>
#include <stdio.h>

const WCHAR kOperatorsGroup[] = L"Quorvid Operators";
const DWORD kPipeClientRights = FILE_GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES;

namespace {

union CSidBuffer {
    SID sid;
    BYTE bytes[SECURITY_MAX_SID_SIZE];
};

// The token's information of that class, in a buffer of the heap; null when it cannot be read.
void* TokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
    DWORD size = 0;
    ::GetTokenInformation(token, kind, nullptr, 0, &size);
    void* info = size ? ::HeapAlloc(::GetProcessHeap(), 0, size) : nullptr;
    if (info != nullptr && !::GetTokenInformation(token, kind, info, size, &size)) {
        ::HeapFree(::GetProcessHeap(), 0, info);
        info = nullptr;
    }
    return info;
}

bool WellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) { return ::IsWellKnownSid(sid, type) != FALSE; }

// The operators' group's SID, where the group exists.
bool OperatorsSid(CSidBuffer& sid) {
    WCHAR domain[256];
    DWORD sidSize = sizeof sid, domainSize = 256;
    SID_NAME_USE use;
    return ::LookupAccountNameW(nullptr, kOperatorsGroup, &sid, &sidSize, domain, &domainSize, &use) &&
           (use == SidTypeAlias || use == SidTypeGroup || use == SidTypeWellKnownGroup);
}

// The SID as SDDL writes it, into `text`; FALSE when it cannot be.
bool SidText(PSID sid, WCHAR* text, size_t size) {
    LPWSTR string = nullptr;
    if (!::ConvertSidToStringSidW(sid, &string))
        return false;
    const bool fits = (size_t)::lstrlenW(string) < size;
    if (fits)
        ::lstrcpyW(text, string);
    ::LocalFree(string);
    return fits;
}

} // namespace

EControlRight RightOf(const CCaller& caller, bool service) {
    if (!caller.known)
        return kRightNone;
    if (caller.system || caller.sameUser)
        return kRightControl;
    if (!service)
        return kRightNone;
    if (caller.admin || caller.operators)
        return kRightControl;
    return caller.interactive ? kRightRead : kRightNone;
}

bool Permits(EControlRight right, WORD command) {
    switch (command) {
    case kControlStart:
    case kControlStop:
    case kControlExit:
        return right == kRightControl;
    default:
        return right != kRightNone;
    }
}

BOOL ReadProcessUser(HANDLE process, void* sid) {
    HANDLE opened = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &opened))
        return FALSE;
    CHandle token(opened);
    TOKEN_USER* user = static_cast<TOKEN_USER*>(TokenInformation(token.Get(), TokenUser));
    const BOOL read = user != nullptr && ::CopySid(SECURITY_MAX_SID_SIZE, sid, user->User.Sid);
    if (user != nullptr)
        ::HeapFree(::GetProcessHeap(), 0, user);
    return read;
}

HANDLE OpenProcessToQuery(DWORD pid, DWORD extra) {
    const DWORD kLimitedQuery = 0x1000; // PROCESS_QUERY_LIMITED_INFORMATION
    HANDLE process = ::OpenProcess(extra | kLimitedQuery, FALSE, pid);
    return process != nullptr ? process : ::OpenProcess(extra | PROCESS_QUERY_INFORMATION, FALSE, pid);
}

// Administrators counts also where the group is kept for denying only: an administrator whose rights are
// not raised is the same administrator, and a pipe knows no difference of integrity.
CCaller ReadCaller(HANDLE token) {
    CCaller caller = {};
    CSidBuffer own, operators;
    TOKEN_USER* user = static_cast<TOKEN_USER*>(TokenInformation(token, TokenUser));
    TOKEN_GROUPS* groups = static_cast<TOKEN_GROUPS*>(TokenInformation(token, TokenGroups));
    if (user != nullptr && groups != nullptr && ReadProcessUser(::GetCurrentProcess(), &own)) {
        caller.known = true;
        caller.sameUser = ::EqualSid(user->User.Sid, &own) != FALSE;
        caller.system = WellKnown(user->User.Sid, WinLocalSystemSid);
        const bool haveOperators = OperatorsSid(operators);
        for (DWORD i = 0; i < groups->GroupCount; ++i) {
            const SID_AND_ATTRIBUTES& group = groups->Groups[i];
            const bool counts = (group.Attributes & (SE_GROUP_ENABLED | SE_GROUP_USE_FOR_DENY_ONLY)) != 0;
            const bool enabled = (group.Attributes & SE_GROUP_ENABLED) != 0;
            caller.admin |= counts && WellKnown(group.Sid, WinBuiltinAdministratorsSid);
            caller.interactive |= enabled && WellKnown(group.Sid, WinInteractiveSid);
            caller.operators |= enabled && haveOperators && ::EqualSid(group.Sid, &operators);
        }
    }
    if (user != nullptr)
        ::HeapFree(::GetProcessHeap(), 0, user);
    if (groups != nullptr)
        ::HeapFree(::GetProcessHeap(), 0, groups);
    return caller;
}

// A pipe's client can be impersonated once it has written to the pipe; the token is read and the thread
// is itself again before anything else runs.
CCaller IdentifyClient(HANDLE pipe) {
    CCaller caller = {};
    if (!::ImpersonateNamedPipeClient(pipe))
        return caller;
    HANDLE opened = nullptr;
    const BOOL got = ::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &opened);
    ::RevertToSelf();
    if (got) {
        CHandle token(opened);
        caller = ReadCaller(token.Get());
    }
    return caller;
}

PSECURITY_DESCRIPTOR MakePipeSecurity(bool service) {
    CSidBuffer own, operators;
    WCHAR ownText[200], operatorsText[200], sddl[800];
    if (!ReadProcessUser(::GetCurrentProcess(), &own) || !SidText(&own, ownText, 200))
        return nullptr;
    int length = swprintf(sddl, 800, L"D:P(A;;GA;;;SY)(A;;GA;;;%ls)", ownText);
    if (service) {
        length += swprintf(sddl + length, 800 - length, L"(A;;0x%lx;;;BA)(A;;0x%lx;;;IU)", kPipeClientRights,
                           kPipeClientRights);
        if (OperatorsSid(operators) && SidText(&operators, operatorsText, 200))
            swprintf(sddl + length, 800 - length, L"(A;;0x%lx;;;%ls)", kPipeClientRights, operatorsText);
    }
    PSECURITY_DESCRIPTOR security = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &security, nullptr))
        return nullptr;
    return security;
}
