#include "base/HistoryFile.h"

#include "base/HistoryCodec.h"

#include <shlobj.h>

#include <cstdio>
#include <cwchar>
#include <new>

namespace
{

struct FileSource {
    HANDLE file;
    // The error of the read that failed; 0 while none has.
    DWORD error;
};

bool FromFile(void* context, uint8_t* out, size_t size)
{
    FileSource& source = *static_cast<FileSource*>(context);
    DWORD read = 0;
    const bool done = ReadFile(source.file, out, static_cast<DWORD>(size), &read, nullptr);
    if (done && read == size)
        return true;
    // A file that has shrunk since its size was taken ends early.
    source.error = done ? ERROR_HANDLE_EOF : GetLastError();
    return false;
}

bool Join(wchar_t* out, size_t size, const wchar_t* head, const wchar_t* tail)
{
    const size_t headLength = std::wcslen(head);
    const size_t tailLength = std::wcslen(tail);
    if (headLength + tailLength >= size)
        return false;
    std::wmemmove(out, head, headLength);
    std::wmemcpy(out + headLength, tail, tailLength + 1);
    return true;
}

enum class Take { Read, Missing, Wrong };

// Reads the file at path whole and decodes it. Wrong, with why, for anything there that is not a
// good history this account may write: a directory, a file too large or unreadable, bytes that
// do not decode.
Take TakeFile(const wchar_t* path, HistoryStore& store, bool forWriting, char* why, size_t whySize)
{
    store.Clear();
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return Take::Missing;
        std::snprintf(why, whySize, "cannot be looked at (error %lu)", error);
        return Take::Wrong;
    }
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        std::snprintf(why, whySize, "is a directory or a link");
        return Take::Wrong;
    }
    // A read-only file could not be replaced by the next write.
    if (forWriting && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        std::snprintf(why, whySize, "cannot be opened for writing: it is read-only");
        return Take::Wrong;
    }
    const DWORD access = GENERIC_READ | (forWriting ? GENERIC_WRITE : 0);
    HANDLE file = CreateFileW(path, access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            return Take::Missing;
        std::snprintf(why, whySize, "cannot be opened (error %lu)", error);
        return Take::Wrong;
    }
    LARGE_INTEGER size = {};
    Take take = Take::Wrong;
    if (!GetFileSizeEx(file, &size)) {
        std::snprintf(why, whySize, "has no size (error %lu)", GetLastError());
    } else if (size.QuadPart > HISTORY_FILE_LIMIT) {
        std::snprintf(why, whySize, "is too large (%lld bytes)",
                      static_cast<long long>(size.QuadPart));
    } else {
        // Read through a small buffer: the whole file in memory beside the store would be held
        // only for this moment, but it would count in the program's peak for the whole run.
        const DWORD length = static_cast<DWORD>(size.QuadPart);
        uint8_t header[HISTORY_HEADER_SIZE] = {};
        const DWORD headerLength = length < HISTORY_HEADER_SIZE ? length : HISTORY_HEADER_SIZE;
        FileSource source = {file, 0};
        if (!FromFile(&source, header, headerLength)) {
            std::snprintf(why, whySize, "cannot be read (error %lu)", source.error);
        } else {
            const HistoryDecode result =
                DecodeHistoryFrom(header, length, FromFile, &source, store);
            if (result == HistoryDecode::Ok)
                take = Take::Read;
            else if (source.error != 0)
                std::snprintf(why, whySize, "cannot be read (error %lu)", source.error);
            else
                std::snprintf(why, whySize, "is %s", HistoryDecodeText(result));
        }
    }
    CloseHandle(file);
    return take;
}

// The file at path goes to "<path>.spoiled", in place of any that was set aside before.
bool SetAside(const wchar_t* path)
{
    wchar_t aside[MAX_PATH + 16];
    if (!Join(aside, sizeof aside / sizeof aside[0], path, HISTORY_ASIDE_SUFFIX))
        return false;
    const DWORD old = GetFileAttributesW(aside);
    if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_DIRECTORY) != 0)
        RemoveDirectoryW(aside);
    else if (old != INVALID_FILE_ATTRIBUTES) {
        SetFileAttributesW(aside, FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(aside);
    }
    return MoveFileExW(path, aside, MOVEFILE_WRITE_THROUGH) != 0;
}

} // namespace

bool HistoryFilePath(const wchar_t* directory, wchar_t* path, size_t size)
{
    wchar_t name[16] = L"\\";
    return Join(name, sizeof name / sizeof name[0], name, HISTORY_FILE_NAME) &&
           Join(path, size, directory, name);
}

// The variable that every user's environment has from Vista on; the shell's folder only where it
// is missing, as asking the shell loads libraries (rpcrt4, sechost: half a MiB) that the tray
// would keep for the rest of its run.
bool UserHistoryDirectory(wchar_t* directory, size_t size)
{
    wchar_t local[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
    if ((length == 0 || length >= MAX_PATH) &&
        FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, local)))
        return false;
    if (!Join(directory, size, local, L"\\Ambrel"))
        return false;
    return CreateDirectoryW(directory, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

HistoryLoad LoadHistoryFile(const wchar_t* path, HistoryStore& store, char* why, size_t whySize)
{
    why[0] = '\0';
    const Take take = TakeFile(path, store, true, why, whySize);
    if (take == Take::Read)
        return HistoryLoad::Read;
    if (take == Take::Wrong) {
        store.Clear();
        return SetAside(path) ? HistoryLoad::SetAside : HistoryLoad::Refused;
    }
    wchar_t fresh[MAX_PATH + 16];
    char ignored[96];
    if (Join(fresh, sizeof fresh / sizeof fresh[0], path, HISTORY_NEW_SUFFIX) &&
        TakeFile(fresh, store, false, ignored, sizeof ignored) == Take::Read) {
        std::snprintf(why, whySize, "taken from the new file that was to replace it");
        return HistoryLoad::Read;
    }
    store.Clear();
    return HistoryLoad::Missing;
}

bool ReadHistoryFile(const wchar_t* path, HistoryStore& store)
{
    char why[96];
    if (TakeFile(path, store, false, why, sizeof why) == Take::Read)
        return true;
    wchar_t fresh[MAX_PATH + 16];
    return Join(fresh, sizeof fresh / sizeof fresh[0], path, HISTORY_NEW_SUFFIX) &&
           TakeFile(fresh, store, false, why, sizeof why) == Take::Read;
}

DWORD SaveHistoryFile(const wchar_t* path, const uint8_t* bytes, size_t size)
{
    wchar_t fresh[MAX_PATH + 16];
    if (!Join(fresh, sizeof fresh / sizeof fresh[0], path, HISTORY_NEW_SUFFIX))
        return ERROR_FILENAME_EXCED_RANGE;
    HANDLE file = CreateFileW(fresh, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    DWORD written = 0;
    DWORD error = 0;
    if (!WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr) || written != size)
        error = written != size && GetLastError() == 0 ? ERROR_WRITE_FAULT : GetLastError();
    else if (!FlushFileBuffers(file))
        error = GetLastError();
    CloseHandle(file);
    if (error == 0 && !MoveFileExW(fresh, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error != 0)
        DeleteFileW(fresh);
    return error;
}
