// Fake pdh.dll: one query with the thermal-zone counter whose readings come from a script file
// (AMBREL_FAKE_PDH), read anew at every call. See README.md for the script and the trace lines.
#include "FakeShared.h"

#include <pdh.h>
#include <pdhmsg.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

const char kCounterPath[] = "\\Thermal Zone Information(\\_TZ.TZ01)\\High Precision Temperature";

// The counter type that a formatted value reports.
const DWORD kRawCountType = 0x00010000; // PERF_COUNTER_RAWCOUNT

const int kMaxQueries = 16;
const int kMaxCounters = 16;

struct Query {
    bool open;
    int id;
    int cursor;             // script items consumed since the query was opened
    bool collected;         // a collection has succeeded
    LONG value;             // the last reading collected
    DWORD formatFailStatus; // 0, or the status the next formatted read fails with
    bool hasCounter;
};

struct Counter {
    bool open;
    int id;
    Query* query;
};

// Handles are addresses in these tables; every call runs under the FakeFileLock.
Query g_queries[kMaxQueries];
Counter g_counters[kMaxCounters];
int g_lastId;

Query* FindQuery(PDH_HQUERY handle)
{
    for (Query& query : g_queries) {
        if (handle == &query && query.open)
            return &query;
    }
    return nullptr;
}

Counter* FindCounter(PDH_HCOUNTER handle)
{
    for (Counter& counter : g_counters) {
        if (handle == &counter && counter.open)
            return &counter;
    }
    return nullptr;
}

// "null", "invalid" or the handle's number.
void HandleText(const void* handle, int id, char* text, size_t size)
{
    if (handle == nullptr)
        std::snprintf(text, size, "null");
    else if (id == 0)
        std::snprintf(text, size, "invalid");
    else
        std::snprintf(text, size, "%d", id);
}

enum ItemKind { kNone, kReading, kCollectFail, kFormatFail };

// What a collection needs from the script: the item at the query's cursor, the number of
// items, the last reading, and whether opening or adding is to fail.
struct ScriptView {
    bool present;
    DWORD openFail;
    DWORD addFail;
    bool repeat; // past the last item the script starts again
    int items;
    ItemKind kind; // of the item at the cursor; kNone past the end
    long number;   // its reading or status
    bool hasReading;
    long lastReading;
};

DWORD StatusOf(const char* text)
{
    return static_cast<DWORD>(std::strtoll(text, nullptr, 0));
}

void ViewLine(const char* line, int cursor, ScriptView& view)
{
    char word[32], argument[32] = "";
    if (std::sscanf(line, "%31s %31s", word, argument) < 1 || word[0] == '#')
        return;
    ItemKind kind = kNone;
    long number = 0;
    if (std::strcmp(word, "open-fail") == 0) {
        view.openFail = StatusOf(argument);
    } else if (std::strcmp(word, "add-fail") == 0) {
        view.addFail = StatusOf(argument);
    } else if (std::strcmp(word, "repeat") == 0) {
        view.repeat = true;
    } else if (std::strcmp(word, "collect-fail") == 0) {
        kind = kCollectFail;
        number = static_cast<long>(StatusOf(argument));
    } else if (std::strcmp(word, "format-fail") == 0) {
        kind = kFormatFail;
        number = static_cast<long>(StatusOf(argument));
    } else {
        char* end = nullptr;
        number = std::strtol(word, &end, 10);
        if (end == word || *end != '\0')
            return;
        kind = kReading;
        view.hasReading = true;
        view.lastReading = number;
    }
    if (kind == kNone)
        return;
    if (view.items == cursor) {
        view.kind = kind;
        view.number = number;
    }
    ++view.items;
}

ScriptView ReadScript(int cursor)
{
    ScriptView view = {};
    char path[MAX_PATH];
    if (!FakeFilePath(AMBREL_FAKE_PDH_VARIABLE, path, sizeof path))
        return view;
    FILE* file = std::fopen(path, "r");
    if (file == nullptr)
        return view;
    view.present = true;
    char line[256];
    while (std::fgets(line, sizeof line, file) != nullptr)
        ViewLine(line, cursor, view);
    std::fclose(file);
    return view;
}

DWORD OpenQuery(PDH_HQUERY* handle, int* id)
{
    if (handle == nullptr)
        return PDH_INVALID_ARGUMENT;
    ScriptView script = ReadScript(0);
    if (script.openFail != 0)
        return script.openFail;
    for (Query& query : g_queries) {
        if (!query.open) {
            std::memset(&query, 0, sizeof query);
            query.open = true;
            query.id = *id = ++g_lastId;
            *handle = &query;
            return ERROR_SUCCESS;
        }
    }
    return PDH_MEMORY_ALLOCATION_FAILURE;
}

DWORD AddCounter(Query* query, const char* path, PDH_HCOUNTER* handle, int* id)
{
    if (query == nullptr)
        return PDH_INVALID_HANDLE;
    if (path == nullptr || handle == nullptr)
        return PDH_INVALID_ARGUMENT;
    ScriptView script = ReadScript(0);
    if (script.addFail != 0)
        return script.addFail;
    if (!script.present || std::strcmp(path, kCounterPath) != 0)
        return PDH_CSTATUS_NO_OBJECT;
    for (Counter& counter : g_counters) {
        if (!counter.open) {
            counter.open = true;
            counter.id = *id = ++g_lastId;
            counter.query = query;
            query->hasCounter = true;
            *handle = &counter;
            return ERROR_SUCCESS;
        }
    }
    return PDH_MEMORY_ALLOCATION_FAILURE;
}

// Consumes the item at the query's cursor; past the end the last reading repeats, or with
// "repeat" the script starts again.
DWORD Collect(Query* query, char* readingText, size_t size)
{
    if (query == nullptr)
        return PDH_INVALID_HANDLE;
    if (!query->hasCounter)
        return PDH_NO_DATA;
    ScriptView script = ReadScript(query->cursor);
    if (script.kind == kNone && script.repeat && script.items > 0) {
        query->cursor = 0;
        script = ReadScript(0);
    }
    if (script.kind == kNone) {
        if (!script.hasReading)
            return PDH_NO_DATA;
        script.kind = kReading;
        script.number = script.lastReading;
    } else {
        ++query->cursor;
    }
    if (script.kind == kCollectFail)
        return static_cast<DWORD>(script.number);
    if (script.kind == kFormatFail) {
        query->formatFailStatus = static_cast<DWORD>(script.number);
    } else {
        query->value = script.number;
        std::snprintf(readingText, size, "%ld", script.number);
    }
    query->collected = true;
    return ERROR_SUCCESS;
}

DWORD FormatValue(Counter* counter, DWORD format, DWORD* type, PDH_FMT_COUNTERVALUE* value,
                  char* valueText, size_t size)
{
    if (counter == nullptr)
        return PDH_INVALID_HANDLE;
    if (value == nullptr || (format & PDH_FMT_LONG) == 0)
        return PDH_INVALID_ARGUMENT;
    Query* query = counter->query;
    if (query->formatFailStatus != 0) {
        DWORD status = query->formatFailStatus;
        query->formatFailStatus = 0;
        return status;
    }
    if (!query->collected)
        return PDH_INVALID_DATA;
    if (type != nullptr)
        *type = kRawCountType;
    value->CStatus = PDH_CSTATUS_VALID_DATA;
    value->longValue = query->value;
    std::snprintf(valueText, size, "%ld", static_cast<long>(query->value));
    return ERROR_SUCCESS;
}

DWORD CloseQuery(Query* query)
{
    if (query == nullptr)
        return PDH_INVALID_HANDLE;
    for (Counter& counter : g_counters) {
        if (counter.open && counter.query == query)
            std::memset(&counter, 0, sizeof counter);
    }
    std::memset(query, 0, sizeof *query);
    return ERROR_SUCCESS;
}

} // namespace

extern "C" {

PDH_STATUS WINAPI PdhOpenQueryA(LPCSTR szDataSource, DWORD_PTR dwUserData, PDH_HQUERY* phQuery)
{
    FakeFileLock lock;
    int id = 0;
    DWORD result = OpenQuery(phQuery, &id);
    FakeTrace("PdhOpenQueryA source=%s user=%lu query=%d -> %ld",
              szDataSource != nullptr ? szDataSource : "null",
              static_cast<unsigned long>(dwUserData), id, static_cast<long>(result));
    return static_cast<PDH_STATUS>(result);
}

PDH_STATUS WINAPI PdhAddCounterA(PDH_HQUERY hQuery, LPCSTR szFullCounterPath, DWORD_PTR dwUserData,
                                 PDH_HCOUNTER* phCounter)
{
    FakeFileLock lock;
    Query* query = FindQuery(hQuery);
    int id = 0;
    DWORD result = AddCounter(query, szFullCounterPath, phCounter, &id);
    char queryText[16];
    HandleText(hQuery, query != nullptr ? query->id : 0, queryText, sizeof queryText);
    FakeTrace("PdhAddCounterA query=%s path=\"%s\" user=%lu counter=%d -> %ld", queryText,
              szFullCounterPath != nullptr ? szFullCounterPath : "(null)",
              static_cast<unsigned long>(dwUserData), id, static_cast<long>(result));
    return static_cast<PDH_STATUS>(result);
}

PDH_STATUS WINAPI PdhCollectQueryData(PDH_HQUERY hQuery)
{
    FakeFileLock lock;
    Query* query = FindQuery(hQuery);
    char readingText[16] = "-";
    DWORD result = Collect(query, readingText, sizeof readingText);
    char queryText[16];
    HandleText(hQuery, query != nullptr ? query->id : 0, queryText, sizeof queryText);
    FakeTrace("PdhCollectQueryData query=%s reading=%s -> %ld", queryText, readingText,
              static_cast<long>(result));
    return static_cast<PDH_STATUS>(result);
}

PDH_STATUS WINAPI PdhGetFormattedCounterValue(PDH_HCOUNTER hCounter, DWORD dwFormat,
                                              LPDWORD lpdwType, PPDH_FMT_COUNTERVALUE pValue)
{
    FakeFileLock lock;
    Counter* counter = FindCounter(hCounter);
    char valueText[16] = "-";
    DWORD result = FormatValue(counter, dwFormat, lpdwType, pValue, valueText, sizeof valueText);
    char counterText[16];
    HandleText(hCounter, counter != nullptr ? counter->id : 0, counterText, sizeof counterText);
    FakeTrace("PdhGetFormattedCounterValue counter=%s format=0x%lx type=%s value=%s -> %ld",
              counterText, static_cast<unsigned long>(dwFormat),
              lpdwType != nullptr ? "ptr" : "null", valueText, static_cast<long>(result));
    return static_cast<PDH_STATUS>(result);
}

PDH_STATUS WINAPI PdhCloseQuery(PDH_HQUERY hQuery)
{
    FakeFileLock lock;
    Query* query = FindQuery(hQuery);
    char queryText[16];
    HandleText(hQuery, query != nullptr ? query->id : 0, queryText, sizeof queryText);
    DWORD result = CloseQuery(query);
    FakeTrace("PdhCloseQuery query=%s -> %ld", queryText, static_cast<long>(result));
    return static_cast<PDH_STATUS>(result);
}

} // extern "C"
