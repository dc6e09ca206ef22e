#include "service/FolderAccess.h"

#include <aclapi.h>
#include <wincrypt.h>

namespace {

// What writes a file or a folder's contents (a folder's "write data" adds a file to it, its "append data" a
// folder), deletes it or a child, or changes its access or its owner.
const DWORD kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                           WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
// Modify: read, write, run and delete, but not change the access.
const DWORD kModifyRights = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;

union CSid {
    SID sid;
    BYTE bytes[SECURITY_MAX_SID_SIZE];
};

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) { return ::IsWellKnownSid(sid, type) != FALSE; }

// CREATOR OWNER stands for whoever makes a file in the folder: someone who may write it already.
// `installer` is TrustedInstaller's SID, or null.
bool IsTrusted(PSID sid, PSID trusted, PSID installer) {
    return IsWellKnown(sid, WinBuiltinAdministratorsSid) || IsWellKnown(sid, WinLocalSystemSid) ||
           IsWellKnown(sid, WinCreatorOwnerSid) || (trusted != nullptr && ::EqualSid(sid, trusted)) ||
           (installer != nullptr && ::EqualSid(sid, installer));
}

DWORD ChangeFolder(const WCHAR* folder, PSID sid, ACCESS_MODE mode) {
    PACL dacl = nullptr, changed = nullptr;
    PSECURITY_DESCRIPTOR security = nullptr;
    DWORD error = ::GetNamedSecurityInfoW(folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                          &dacl, nullptr, &security);
    if (error != ERROR_SUCCESS)
        return error;
    EXPLICIT_ACCESSW access = {};
    access.grfAccessPermissions = kModifyRights;
    access.grfAccessMode = mode;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<LPWSTR>(sid);
    error = ::SetEntriesInAclW(1, &access, dacl, &changed);
    if (error == ERROR_SUCCESS)
        error = ::SetNamedSecurityInfoW(const_cast<LPWSTR>(folder), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                        nullptr, nullptr, changed, nullptr);
    if (changed != nullptr)
        ::LocalFree(changed);
    ::LocalFree(security);
    return error;
}

} // namespace

BOOL ServiceSid(const WCHAR* serviceName, void* sid) {
    WCHAR upper[256];
    const int length = ::lstrlenW(serviceName);
    if (length >= 256)
        return FALSE;
    ::lstrcpyW(upper, serviceName);
    ::CharUpperBuffW(upper, (DWORD)length);
    HCRYPTPROV provider = 0;
    if (!::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        return FALSE;
    HCRYPTHASH hash = 0;
    DWORD digest[5] = {}, size = sizeof digest;
    const BOOL hashed =
        ::CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash) &&
        ::CryptHashData(hash, reinterpret_cast<const BYTE*>(upper), length * sizeof(WCHAR), 0) &&
        ::CryptGetHashParam(hash, HP_HASHVAL, reinterpret_cast<BYTE*>(digest), &size, 0);
    if (hash != 0)
        ::CryptDestroyHash(hash);
    ::CryptReleaseContext(provider, 0);
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    if (!hashed || !::InitializeSid(sid, &nt, 6))
        return FALSE;
    *::GetSidSubAuthority(sid, 0) = SECURITY_SERVICE_ID_BASE_RID;
    for (DWORD i = 0; i < 5; ++i)
        *::GetSidSubAuthority(sid, i + 1) = digest[i];
    return TRUE;
}

bool OthersMayWrite(PSECURITY_DESCRIPTOR security, PSID trusted) {
    CSid installerSid;
    PSID installer = ServiceSid(L"TrustedInstaller", &installerSid) ? &installerSid : nullptr;
    PSID owner = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorOwner(security, &owner, &defaulted) || owner == nullptr ||
        !IsTrusted(owner, trusted, installer))
        return true;
    if (!::GetSecurityDescriptorDacl(security, &present, &dacl, &defaulted) || !present || dacl == nullptr)
        return true;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace))
            return true;
        const ACCESS_ALLOWED_ACE* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && (allowed->Mask & kWriteRights) != 0 &&
            !IsTrusted(const_cast<DWORD*>(&allowed->SidStart), trusted, installer))
            return true;
    }
    return false;
}

BOOL FolderOthersMayWrite(const WCHAR* folder, PSID trusted, bool* others) {
    PSECURITY_DESCRIPTOR security = nullptr;
    const DWORD error = ::GetNamedSecurityInfoW(folder, SE_FILE_OBJECT,
                                                OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                                nullptr, nullptr, nullptr, nullptr, &security);
    if (error != ERROR_SUCCESS) {
        ::SetLastError(error);
        return FALSE;
    }
    *others = OthersMayWrite(security, trusted);
    ::LocalFree(security);
    return TRUE;
}

DWORD GrantFolder(const WCHAR* folder, PSID sid) { return ChangeFolder(folder, sid, GRANT_ACCESS); }

DWORD RevokeFolder(const WCHAR* folder, PSID sid) { return ChangeFolder(folder, sid, REVOKE_ACCESS); }
