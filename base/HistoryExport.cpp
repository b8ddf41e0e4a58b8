#include "base/HistoryExport.h"

#include "base/HistoryCsv.h"
#include "base/LocalClock.h"

#include <cstring>
#include <new>

namespace
{

int32_t OffsetAt(int32_t utcMinute, void*)
{
    return LocalOffsetMinutes(static_cast<int64_t>(utcMinute) * STORE_MINUTE_MS);
}

// The user's list separator in UTF-8; ',' where it is missing or longer than the field.
void ListSeparator(char (&separator)[4])
{
    wchar_t wide[8] = {};
    separator[0] = '\0';
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SLIST, wide, 8) > 1) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, separator, sizeof separator,
                                             nullptr, nullptr);
        if (size <= 1)
            separator[0] = '\0';
    }
    if (separator[0] == '\0' || std::strpbrk(separator, "\"\r\n") != nullptr)
        std::strcpy(separator, ",");
}

} // namespace

DWORD ExportHistoryCsv(const HistoryStore& store, bool days, const wchar_t* path, int& rows)
{
    rows = 0;
    HistoryCsvChoice choice = {days, {}, OffsetAt, nullptr};
    ListSeparator(choice.separator);
    const size_t room = HistoryCsvBound(days);
    char* text = new (std::nothrow) char[room];
    if (text == nullptr)
        return ERROR_OUTOFMEMORY;
    const size_t size = ComposeHistoryCsv(store, choice, text, room);
    DWORD error = size == 0 ? ERROR_INSUFFICIENT_BUFFER : 0;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (error == 0) {
        file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
        if (file == INVALID_HANDLE_VALUE)
            error = GetLastError();
    }
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        if (!WriteFile(file, text, static_cast<DWORD>(size), &written, nullptr) || written != size)
            error = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
        CloseHandle(file);
        if (error != 0)
            DeleteFileW(path);
    }
    delete[] text;
    if (error == 0)
        rows = HistoryCsvRows(store, days);
    return error;
}
