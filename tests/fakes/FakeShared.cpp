#include "FakeShared.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{

// Long enough for any healthy holder; a holder that hangs must not hang every test with it.
const DWORD kLockTimeoutMs = 10000;

} // namespace

namespace
{

// PATH.new, where it fits.
bool ReplacementPath(const char* path, char* out, size_t size)
{
    const size_t length = std::strlen(path);
    if (length + sizeof ".new" > size)
        return false;
    std::memcpy(out, path, length);
    std::memcpy(out + length, ".new", sizeof ".new");
    return true;
}

} // namespace

FILE* FakeOpenReplacement(const char* path)
{
    char replacement[MAX_PATH + 8];
    return ReplacementPath(path, replacement, sizeof replacement) ? std::fopen(replacement, "wb")
                                                                  : nullptr;
}

bool FakeCommitReplacement(FILE* file, const char* path)
{
    char replacement[MAX_PATH + 8];
    const bool written = std::fclose(file) == 0;
    return written && ReplacementPath(path, replacement, sizeof replacement) &&
           MoveFileExA(replacement, path, MOVEFILE_REPLACE_EXISTING) != FALSE;
}

FakeFileLock::FakeFileLock() : FakeFileLock(true) {}

FakeFileLock::FakeFileLock(bool take)
    : mutex(take ? CreateMutexA(nullptr, FALSE, AMBREL_FAKE_LOCK_NAME) : nullptr)
{
    // WAIT_ABANDONED (a holder died) hands the mutex over as well.
    if (mutex != nullptr && WaitForSingleObject(mutex, kLockTimeoutMs) == WAIT_TIMEOUT) {
        CloseHandle(mutex);
        mutex = nullptr;
    }
}

FakeFileLock::~FakeFileLock()
{
    if (mutex != nullptr) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
        mutex = nullptr;
    }
}

namespace
{

// A service's paths under AMBREL_FAKE_KEY, read once per process: a registry read on every call
// would add wineserver round trips that a benchmark of the service would count as its own. The
// callers in one process (the watcher's thread) make no two calls at once.
struct RegistryPath {
    const char* variable;
    bool read;
    bool found;
    char path[MAX_PATH];
};
RegistryPath g_registryPaths[] = {{AMBREL_FAKE_POWER_VARIABLE, false, false, ""},
                                  {AMBREL_FAKE_PDH_VARIABLE, false, false, ""},
                                  {AMBREL_FAKE_TRACE_VARIABLE, false, false, ""}};

bool RegistryFilePath(const char* variable, char* path, size_t size)
{
    for (RegistryPath& entry : g_registryPaths) {
        if (std::strcmp(entry.variable, variable) != 0)
            continue;
        if (!entry.read) {
            DWORD bytes = sizeof entry.path;
            entry.found = RegGetValueA(HKEY_LOCAL_MACHINE, AMBREL_FAKE_KEY, variable, RRF_RT_REG_SZ,
                                       nullptr, entry.path, &bytes) == ERROR_SUCCESS &&
                          bytes > 1;
            entry.read = true;
        }
        if (!entry.found || std::strlen(entry.path) >= size)
            return false;
        std::strcpy(path, entry.path);
        return true;
    }
    return false;
}

} // namespace

bool FakeFilePath(const char* variable, char* path, size_t size)
{
    DWORD length = GetEnvironmentVariableA(variable, path, static_cast<DWORD>(size));
    if (length > 0 && length < size)
        return true;
    // A service gets none of the test's variables: the value of that name under the fakes' key.
    return length == 0 && RegistryFilePath(variable, path, size);
}

void FakeTrace(const char* format, ...)
{
    char path[MAX_PATH];
    if (!FakeFilePath(AMBREL_FAKE_TRACE_VARIABLE, path, sizeof path))
        return;
    FILE* file = std::fopen(path, "ab");
    if (file == nullptr)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(file, format, args);
    va_end(args);
    std::fputs("\n", file);
    std::fclose(file);
}

void FakeGuidText(const GUID* guid, char text[FAKE_GUID_TEXT_SIZE])
{
    if (guid == nullptr) {
        std::strcpy(text, "null");
        return;
    }
    std::snprintf(text, FAKE_GUID_TEXT_SIZE, "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  static_cast<unsigned long>(guid->Data1), guid->Data2, guid->Data3, guid->Data4[0],
                  guid->Data4[1], guid->Data4[2], guid->Data4[3], guid->Data4[4], guid->Data4[5],
                  guid->Data4[6], guid->Data4[7]);
}

namespace
{

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Exactly digits hexadecimal digits, then the separator (0: none).
bool ReadHex(const char*& at, int digits, char separator, unsigned long& value)
{
    value = 0;
    for (int i = 0; i < digits; ++i, ++at) {
        const int digit = HexValue(*at);
        if (digit < 0)
            return false;
        value = value * 16 + static_cast<unsigned long>(digit);
    }
    if (separator != 0 && *at++ != separator)
        return false;
    return true;
}

} // namespace

bool FakeParseGuid(const char* text, GUID* guid)
{
    const char* at = text;
    unsigned long data1, data2, data3, bytes[8];
    if (!ReadHex(at, 8, '-', data1) || !ReadHex(at, 4, '-', data2) || !ReadHex(at, 4, '-', data3))
        return false;
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(at, 2, i == 1 ? '-' : 0, bytes[i]))
            return false;
    }
    guid->Data1 = data1;
    guid->Data2 = static_cast<unsigned short>(data2);
    guid->Data3 = static_cast<unsigned short>(data3);
    for (int i = 0; i < 8; ++i)
        guid->Data4[i] = static_cast<unsigned char>(bytes[i]);
    return true;
}

bool FakeNextWord(const char*& at, char* word, size_t size)
{
    while (*at == ' ' || *at == '\t' || *at == '\r' || *at == '\n')
        ++at;
    size_t length = 0;
    while (*at != '\0' && *at != ' ' && *at != '\t' && *at != '\r' && *at != '\n' &&
           length + 1 < size)
        word[length++] = *at++;
    if (length == 0)
        return false;
    word[length] = '\0';
    return true;
}
