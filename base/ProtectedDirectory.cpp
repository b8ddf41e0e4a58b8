#include "base/ProtectedDirectory.h"

#include "base/LogFormat.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

namespace
{

// Full control for SYSTEM and Administrators, read and list for Users; "P" keeps out what the
// parent would pass on (under %ProgramData% that includes the Users' right to create files).
const char PROTECTED_DIRECTORY_SDDL[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// Every right that changes a directory or what it holds, or who may do so.
const ACCESS_MASK CHANGING_RIGHTS = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                    FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC |
                                    WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;

// The accounts trusted with the directory: SYSTEM, Administrators and the process's own (the
// local system for the service; under Wine the prefix's user, who owns every file there).
class TrustedAccounts
{
  public:
    bool Load()
    {
        DWORD size = sizeof system;
        if (!CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size))
            return false;
        size = sizeof administrators;
        if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size))
            return false;
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            return false;
        const bool read = GetTokenInformation(token, TokenUser, user, sizeof user, &size) != 0;
        CloseHandle(token);
        return read;
    }

    bool Has(PSID sid)
    {
        return sid != nullptr && IsValidSid(sid) &&
               (EqualSid(sid, system) || EqualSid(sid, administrators) ||
                EqualSid(sid, reinterpret_cast<TOKEN_USER*>(user)->User.Sid));
    }

  private:
    alignas(8) BYTE system[SECURITY_MAX_SID_SIZE];
    alignas(8) BYTE administrators[SECURITY_MAX_SID_SIZE];
    alignas(8) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
};

// Whether only trusted accounts may change the object: a trusted owner (who may always rewrite
// the list) and no entry that allows a change to anyone else. Entries that only deny, or that
// only pass on to what is made inside, do not widen it; an allowing entry of a kind not read
// here counts against it.
bool OnlyTrustedMayChange(PSID owner, PACL dacl, TrustedAccounts& trusted)
{
    if (!trusted.Has(owner) || dacl == nullptr)
        return false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(dacl, i, &entry))
            return false;
        const ACE_HEADER* header = static_cast<const ACE_HEADER*>(entry);
        if ((header->AceFlags & INHERIT_ONLY_ACE) != 0 ||
            header->AceType == ACCESS_DENIED_ACE_TYPE || header->AceType == SYSTEM_AUDIT_ACE_TYPE)
            continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE)
            return false;
        ACCESS_ALLOWED_ACE* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        if ((allowed->Mask & CHANGING_RIGHTS) != 0 && !trusted.Has(&allowed->SidStart))
            return false;
    }
    return true;
}

// Opens what is at path itself (a link or junction not followed) and judges it.
DirectoryCheck CheckExisting(const char* path)
{
    HANDLE found = CreateFileA(path, READ_CONTROL | FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (found == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_ACCESS_DENIED ? DIRECTORY_REFUSED : DIRECTORY_FAILED;
    BY_HANDLE_FILE_INFORMATION information;
    DirectoryCheck check = DIRECTORY_FAILED;
    if (GetFileInformationByHandle(found, &information)) {
        const DWORD attributes = information.dwFileAttributes;
        check = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0
                    ? DIRECTORY_PROTECTED
                    : DIRECTORY_REFUSED;
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    TrustedAccounts trusted;
    if (check == DIRECTORY_PROTECTED &&
        GetSecurityInfo(found, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        check = DIRECTORY_FAILED;
    if (check == DIRECTORY_PROTECTED &&
        !(trusted.Load() && OnlyTrustedMayChange(owner, dacl, trusted)))
        check = DIRECTORY_REFUSED;
    if (descriptor != nullptr)
        LocalFree(descriptor);
    CloseHandle(found);
    return check;
}

} // namespace

DirectoryCheck ProtectDirectory(const char* path)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
            PROTECTED_DIRECTORY_SDDL, SDDL_REVISION_1, &descriptor, nullptr))
        return DIRECTORY_FAILED;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    const BOOL made = CreateDirectoryA(path, &attributes);
    const DWORD error = GetLastError();
    LocalFree(descriptor);
    // A directory made now is checked too: what the file system keeps is what counts.
    if (!made && error != ERROR_ALREADY_EXISTS) {
        SetLastError(error);
        return DIRECTORY_FAILED;
    }
    return CheckExisting(path);
}

DirectoryCheck ProtectMachineDirectory(char* path, unsigned size)
{
    char common[MAX_PATH];
    if (size == 0 || FAILED(SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr,
                                             SHGFP_TYPE_CURRENT, common)))
        return DIRECTORY_FAILED;
    path[0] = '\0';
    if (!AppendToPath(path, size, common) || !AppendToPath(path, size, "\\Ambrel")) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return DIRECTORY_FAILED;
    }
    return ProtectDirectory(path);
}
