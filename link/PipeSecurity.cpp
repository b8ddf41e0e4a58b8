#include "link/PipeSecurity.h"

#include <cstdint>

namespace
{

// A well-known SID, or an empty one when the system cannot make it (the list is then refused).
struct KnownSid {
    alignas(SID) BYTE bytes[SECURITY_MAX_SID_SIZE];
    bool made;

    explicit KnownSid(WELL_KNOWN_SID_TYPE type)
    {
        DWORD size = sizeof bytes;
        made = CreateWellKnownSid(type, nullptr, bytes, &size) != FALSE;
    }
};

DWORD AceSize(PSID sid)
{
    return static_cast<DWORD>(sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD)) + GetLengthSid(sid);
}

} // namespace

bool MakePipeSecurity(PSECURITY_DESCRIPTOR& descriptor)
{
    descriptor = nullptr;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    alignas(TOKEN_USER) uint8_t buffer[256];
    DWORD size = 0;
    const bool known = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) != FALSE;
    CloseHandle(token);
    KnownSid system(WinLocalSystemSid), administrators(WinBuiltinAdministratorsSid),
        interactive(WinInteractiveSid);
    if (!known || !system.made || !administrators.made || !interactive.made)
        return false;
    PSID account = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
    const DWORD aclSize = static_cast<DWORD>(sizeof(ACL)) + AceSize(system.bytes) +
                          AceSize(administrators.bytes) + AceSize(account) +
                          AceSize(interactive.bytes);
    // The descriptor and its list in one block: SECURITY_DESCRIPTOR_MIN_LENGTH keeps the list
    // aligned.
    BYTE* block = static_cast<BYTE*>(LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH + aclSize));
    if (block == nullptr)
        return false;
    PACL acl = reinterpret_cast<PACL>(block + SECURITY_DESCRIPTOR_MIN_LENGTH);
    const bool made = InitializeAcl(acl, aclSize, ACL_REVISION) &&
                      AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, system.bytes) &&
                      AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, administrators.bytes) &&
                      AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, account) &&
                      AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_READ, interactive.bytes) &&
                      InitializeSecurityDescriptor(block, SECURITY_DESCRIPTOR_REVISION) &&
                      SetSecurityDescriptorDacl(block, TRUE, acl, FALSE) &&
                      SetSecurityDescriptorControl(block, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    if (!made) {
        LocalFree(block);
        return false;
    }
    descriptor = block;
    return true;
}
