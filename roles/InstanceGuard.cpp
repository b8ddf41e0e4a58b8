#include "roles/InstanceGuard.h"

HANDLE AcquireSingleInstance(bool& otherInstance)
{
    otherInstance = false;
    HANDLE mutex = CreateMutexA(nullptr, FALSE, INSTANCE_GUARD_NAME);
    DWORD error = GetLastError();
    if (mutex == nullptr && error == ERROR_ACCESS_DENIED) {
        otherInstance = true;
        return nullptr;
    }
    if (mutex != nullptr && error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        otherInstance = true;
        return nullptr;
    }
    return mutex;
}
