// Fake pdh.dll: queries on the thermal-zone counters, whose readings come from a script file
// (AMBREL_FAKE_PDH), read anew at every call. The script may describe several zones, a
// localized system and a system without the high-precision counter. See README.md for the
// script and the trace lines.
#include "FakeShared.h"

#include <pdh.h>
#include <pdhmsg.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

const char kObjectPrefix[] = "\\Thermal Zone Information(";
// The processor's performance and busy share (Windows 8 on), rates: a value needs two
// collections. The busy share is the utility, or where a script says it is missing, the time.
const char kProcessorPath[] = "\\Processor Information(_Total)\\% Processor Performance";
const char kUtilityPath[] = "\\Processor Information(_Total)\\% Processor Utility";
const char kProcessorTimePath[] = "\\Processor Information(_Total)\\% Processor Time";
const char kProcessorPrefix[] = "\\Processor Information(";
const char kHighPrecisionCounter[] = "High Precision Temperature";
const char kPlainCounter[] = "Temperature"; // whole kelvin
// Readings before the first "zone" line belong to this zone.
const char kDefaultZone[] = "\\_TZ.TZ01";

// The counter type that a formatted value reports.
const DWORD kRawCountType = 0x00010000; // PERF_COUNTER_RAWCOUNT

const int kMaxQueries = 16;
const int kMaxCounters = 16;
const int kMaxZones = 8;
const size_t kZoneNameSize = 64;
// A counter's zone when it is the wildcard instance "(*)", or an instance that does not exist.
const int kAllZones = -1;
const int kMissingZone = -2;
// The counter is the processor's performance, or its busy share.
const int kProcessor = -3;
const int kBusy = -4;
// The processor's two series of the script: performance and utility.
const int kProcessorSeries = 2;

struct ZoneSample {
    bool collected;         // a collection has given this zone a reading
    LONG value;             // the last reading collected
    DWORD formatFailStatus; // 0, or the status the next formatted read fails with
};

struct Query {
    bool open;
    int id;
    int cursor[kMaxZones]; // script items of each zone consumed since the query was opened
    ZoneSample zones[kMaxZones];
    bool hasCounter;   // a thermal-zone counter
    bool hasProcessor; // a processor counter
    int collections;
    int processorCursor[kProcessorSeries]; // items of each processor series consumed
    LONG processorValue[kProcessorSeries]; // the values of the last collection
};

struct Counter {
    bool open;
    int id;
    Query* query;
    int zone;         // index into the script's zones, kAllZones or kMissingZone
    bool wholeKelvin; // the plain Temperature counter
};

// Handles are addresses in these tables; every call runs under the TableLock (the process's
// threads) and, where it reads a file or traces, the FakeFileLock (every process).
Query g_queries[kMaxQueries];
Counter g_counters[kMaxCounters];
int g_lastId;
SRWLOCK g_tables = SRWLOCK_INIT;

class TableLock
{
  public:
    TableLock() { AcquireSRWLockExclusive(&g_tables); }
    ~TableLock() { ReleaseSRWLockExclusive(&g_tables); }
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;
};

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

// What one zone of the script holds, as seen from a query's cursor.
struct ZoneView {
    char name[kZoneNameSize];
    bool exists;
    int items;
    ItemKind kind; // of the item at the cursor; kNone past the end
    long number;   // its reading or status
    bool hasReading;
    long lastReading;
};

// What a call needs from the script: the flags, and per zone the item at the query's cursor.
struct ScriptView {
    bool present;
    DWORD openFail;
    DWORD addFail;
    bool repeat;          // past the last item a zone starts again
    bool localized;       // PdhAddCounterA does not know the English names
    bool noHighPrecision; // only the plain Temperature counter exists
    bool lazyInstances;   // a missing instance is accepted and fails at the reading
    bool noPerformance;   // the processor performance counter does not exist (before Windows 8)
    bool noUtility;       // only "% Processor Time" tells the busy share
    // Each processor series ("performance N", "utility N" lines) as seen from a query's cursor:
    // the item there, whether there is one, the last one and how many (without any: 100 and 0).
    long processorAt[kProcessorSeries];
    bool processorHasAt[kProcessorSeries];
    long processorLast[kProcessorSeries];
    int processorItems[kProcessorSeries];
    bool hasZoneLines;
    int zoneCount;
    ZoneView zones[kMaxZones];
    int current; // the zone that the lines being read belong to
};

DWORD StatusOf(const char* text)
{
    return static_cast<DWORD>(std::strtoll(text, nullptr, 0));
}

int FindOrAddZone(ScriptView& view, const char* name)
{
    for (int i = 0; i < view.zoneCount; ++i) {
        if (std::strcmp(view.zones[i].name, name) == 0)
            return i;
    }
    if (view.zoneCount == kMaxZones)
        return kMaxZones - 1;
    ZoneView& zone = view.zones[view.zoneCount];
    std::snprintf(zone.name, sizeof zone.name, "%s", name);
    return view.zoneCount++;
}

bool ViewFlag(const char* word, const char* argument, ScriptView& view)
{
    if (std::strcmp(word, "open-fail") == 0)
        view.openFail = StatusOf(argument);
    else if (std::strcmp(word, "add-fail") == 0)
        view.addFail = StatusOf(argument);
    else if (std::strcmp(word, "repeat") == 0)
        view.repeat = true;
    else if (std::strcmp(word, "localized") == 0)
        view.localized = true;
    else if (std::strcmp(word, "no-high-precision") == 0)
        view.noHighPrecision = true;
    else if (std::strcmp(word, "lazy-instances") == 0)
        view.lazyInstances = true;
    else if (std::strcmp(word, "no-performance") == 0)
        view.noPerformance = true;
    else if (std::strcmp(word, "no-utility") == 0)
        view.noUtility = true;
    else if (std::strcmp(word, "zone") == 0) {
        view.hasZoneLines = true;
        view.current = FindOrAddZone(view, argument);
        view.zones[view.current].exists = true;
    } else
        return false;
    return true;
}

// "performance N" and "utility N": one item of a processor series.
bool ViewProcessorItem(const char* word, const char* argument, const int* cursor, ScriptView& view)
{
    int series = std::strcmp(word, "performance") == 0 ? 0
                 : std::strcmp(word, "utility") == 0   ? 1
                                                       : -1;
    if (series < 0)
        return false;
    const long value = std::strtol(argument, nullptr, 10);
    if (view.processorItems[series] == cursor[series]) {
        view.processorAt[series] = value;
        view.processorHasAt[series] = true;
    }
    view.processorLast[series] = value;
    ++view.processorItems[series];
    return true;
}

void ViewLine(const char* line, const int* cursor, const int* processorCursor, ScriptView& view)
{
    char word[kZoneNameSize], argument[kZoneNameSize] = "";
    if (std::sscanf(line, "%63s %63s", word, argument) < 1 || word[0] == '#')
        return;
    if (ViewFlag(word, argument, view) || ViewProcessorItem(word, argument, processorCursor, view))
        return;
    ItemKind kind = kNone;
    long number = 0;
    ZoneView& zone = view.zones[view.current];
    if (std::strcmp(word, "collect-fail") == 0) {
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
        zone.hasReading = true;
        zone.lastReading = number;
    }
    zone.exists = true;
    if (zone.items == cursor[view.current]) {
        zone.kind = kind;
        zone.number = number;
    }
    ++zone.items;
}

// cursor holds one position per zone, processorCursor one per processor series (null: all at the
// start).
ScriptView ReadScript(const int* cursor, const int* processorCursor = nullptr)
{
    static const int kStart[kMaxZones] = {};
    ScriptView view = {};
    view.processorLast[0] = 100;
    // The default zone is zone 0; it exists when the script names no zones or gives it items.
    FindOrAddZone(view, kDefaultZone);
    char path[MAX_PATH];
    if (!FakeFilePath(AMBREL_FAKE_PDH_VARIABLE, path, sizeof path))
        return view;
    FILE* file = std::fopen(path, "r");
    if (file == nullptr)
        return view;
    view.present = true;
    char line[256];
    while (std::fgets(line, sizeof line, file) != nullptr)
        ViewLine(line, cursor != nullptr ? cursor : kStart,
                 processorCursor != nullptr ? processorCursor : kStart, view);
    std::fclose(file);
    if (!view.hasZoneLines)
        view.zones[0].exists = true;
    return view;
}

DWORD OpenQuery(PDH_HQUERY* handle, int* id)
{
    if (handle == nullptr)
        return PDH_INVALID_ARGUMENT;
    ScriptView script = ReadScript(nullptr);
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

// Only "_Total" and its "% Processor Performance", "% Processor Utility" (unless "no-utility")
// and "% Processor Time" exist of the processor object.
DWORD ResolveProcessorPath(const ScriptView& script, const char* path, Counter& resolved)
{
    if (script.noPerformance)
        return PDH_CSTATUS_NO_OBJECT;
    if (std::strcmp(path, kProcessorPath) == 0)
        resolved.zone = kProcessor;
    else if (std::strcmp(path, kProcessorTimePath) == 0 ||
             (!script.noUtility && std::strcmp(path, kUtilityPath) == 0))
        resolved.zone = kBusy;
    else
        return std::strstr(path, "(_Total)\\") != nullptr ? PDH_CSTATUS_NO_COUNTER
                                                          : PDH_CSTATUS_NO_INSTANCE;
    return ERROR_SUCCESS;
}

// Resolves "\Thermal Zone Information(INSTANCE)\COUNTER" against the script.
DWORD ResolvePath(const ScriptView& script, const char* path, Counter& resolved)
{
    if (std::strncmp(path, kProcessorPrefix, sizeof kProcessorPrefix - 1) == 0)
        return ResolveProcessorPath(script, path, resolved);
    const size_t prefixLength = sizeof kObjectPrefix - 1;
    const char* close = std::strstr(path, ")\\");
    if (std::strncmp(path, kObjectPrefix, prefixLength) != 0 || close == nullptr)
        return PDH_CSTATUS_NO_OBJECT;
    const char* counterName = close + 2;
    resolved.wholeKelvin = std::strcmp(counterName, kPlainCounter) == 0;
    if (!resolved.wholeKelvin &&
        (script.noHighPrecision || std::strcmp(counterName, kHighPrecisionCounter) != 0))
        return PDH_CSTATUS_NO_COUNTER;
    char instance[kZoneNameSize] = "";
    size_t length = static_cast<size_t>(close - (path + prefixLength));
    if (length >= sizeof instance)
        return PDH_CSTATUS_NO_INSTANCE;
    std::memcpy(instance, path + prefixLength, length);
    resolved.zone = std::strcmp(instance, "*") == 0 ? kAllZones : kMissingZone;
    for (int i = 0; i < script.zoneCount && resolved.zone == kMissingZone; ++i) {
        if (script.zones[i].exists && std::strcmp(script.zones[i].name, instance) == 0)
            resolved.zone = i;
    }
    if (resolved.zone == kMissingZone && !script.lazyInstances)
        return PDH_CSTATUS_NO_INSTANCE;
    return ERROR_SUCCESS;
}

// english: the path is in English whatever the system's language (PdhAddEnglishCounterA).
DWORD AddCounter(Query* query, const char* path, bool english, PDH_HCOUNTER* handle, int* id)
{
    if (query == nullptr)
        return PDH_INVALID_HANDLE;
    if (path == nullptr || handle == nullptr)
        return PDH_INVALID_ARGUMENT;
    ScriptView script = ReadScript(nullptr);
    if (script.addFail != 0)
        return script.addFail;
    if (!script.present || (script.localized && !english))
        return PDH_CSTATUS_NO_OBJECT;
    Counter resolved = {};
    DWORD status = ResolvePath(script, path, resolved);
    if (status != ERROR_SUCCESS)
        return status;
    for (Counter& counter : g_counters) {
        if (!counter.open) {
            counter = resolved;
            counter.open = true;
            counter.id = *id = ++g_lastId;
            counter.query = query;
            if (resolved.zone == kProcessor || resolved.zone == kBusy)
                query->hasProcessor = true;
            else
                query->hasCounter = true;
            *handle = &counter;
            return ERROR_SUCCESS;
        }
    }
    return PDH_MEMORY_ALLOCATION_FAILURE;
}

// Takes the item at the zone's cursor; past the end the last reading repeats, or with "repeat"
// the zone starts again.
ItemKind TakeItem(Query* query, int z, ScriptView& script, long& number)
{
    ZoneView* zone = &script.zones[z];
    if (zone->kind == kNone && script.repeat && zone->items > 0) {
        query->cursor[z] = 0;
        ScriptView restarted = ReadScript(query->cursor);
        script.zones[z] = restarted.zones[z];
    }
    if (zone->kind == kNone) {
        number = zone->lastReading;
        return zone->hasReading ? kReading : kNone;
    }
    ++query->cursor[z];
    number = zone->number;
    return zone->kind;
}

// Each processor series takes its next item; past the end its last one repeats.
void TakeProcessorItems(Query* query, const ScriptView& script)
{
    for (int series = 0; series < kProcessorSeries; ++series) {
        if (script.processorHasAt[series]) {
            query->processorValue[series] = script.processorAt[series];
            ++query->processorCursor[series];
        } else {
            query->processorValue[series] = script.processorLast[series];
        }
    }
}

// The processor's values in a collection's trace, after the zones' readings (used characters):
// "performance=130;utility=95", so that a trace tells a processor's collection.
void AddProcessorText(const Query& query, char* readingText, size_t size, size_t used)
{
    if (!query.hasProcessor || used >= size)
        return;
    std::snprintf(readingText + used, size - used, "%sperformance=%ld;utility=%ld",
                  used > 0 ? ";" : "", static_cast<long>(query.processorValue[0]),
                  static_cast<long>(query.processorValue[1]));
}

// Every zone takes its next item; a collect-fail in any zone fails the whole collection.
DWORD Collect(Query* query, char* readingText, size_t size)
{
    if (query == nullptr)
        return PDH_INVALID_HANDLE;
    if (!query->hasCounter && !query->hasProcessor)
        return PDH_NO_DATA;
    ++query->collections;
    // One reading of the script serves the zones and the processor.
    ScriptView script = ReadScript(query->cursor, query->processorCursor);
    if (query->hasProcessor)
        TakeProcessorItems(query, script);
    if (!query->hasCounter) {
        AddProcessorText(*query, readingText, size, 0);
        return ERROR_SUCCESS;
    }
    DWORD failure = ERROR_SUCCESS;
    bool anyItem = false;
    size_t used = 0;
    for (int z = 0; z < script.zoneCount; ++z) {
        long number = 0;
        ItemKind kind = TakeItem(query, z, script, number);
        anyItem = anyItem || kind != kNone;
        ZoneSample& sample = query->zones[z];
        if (kind == kCollectFail)
            failure = static_cast<DWORD>(number);
        else if (kind == kFormatFail)
            sample.formatFailStatus = static_cast<DWORD>(number);
        if (kind == kReading) {
            sample.value = number;
            sample.collected = true;
            used +=
                std::snprintf(readingText + used, size - used, "%s%ld", used ? "," : "", number);
        }
        if (kind == kFormatFail)
            sample.collected = true;
        if (used >= size)
            used = size - 1;
    }
    if (query->hasProcessor) {
        if (used == 0)
            used = static_cast<size_t>(std::snprintf(readingText, size, "-"));
        AddProcessorText(*query, readingText, size, used);
    }
    if (failure != ERROR_SUCCESS)
        return failure;
    if (!anyItem)
        return PDH_NO_DATA;
    return ERROR_SUCCESS;
}

// One zone's formatted value: 0 and the value, or the status it fails with.
DWORD ZoneValue(const Counter& counter, int z, LONG& value)
{
    ZoneSample& sample = counter.query->zones[z];
    if (sample.formatFailStatus != 0) {
        DWORD status = sample.formatFailStatus;
        sample.formatFailStatus = 0;
        return status;
    }
    if (!sample.collected)
        return PDH_INVALID_DATA;
    value = counter.wholeKelvin ? sample.value / 10 : sample.value;
    return ERROR_SUCCESS;
}

DWORD FormatValue(Counter* counter, DWORD format, DWORD* type, PDH_FMT_COUNTERVALUE* value,
                  char* valueText, size_t size)
{
    if (counter == nullptr)
        return PDH_INVALID_HANDLE;
    if (value == nullptr || (format & PDH_FMT_LONG) == 0)
        return PDH_INVALID_ARGUMENT;
    if (counter->zone == kMissingZone) {
        value->CStatus = PDH_CSTATUS_NO_INSTANCE; // as Windows says it: the value's status
        return PDH_INVALID_DATA;
    }
    if (counter->zone == kAllZones)
        return PDH_CSTATUS_INVALID_DATA; // a wildcard has only an array of values
    LONG found = 0;
    DWORD status = ERROR_SUCCESS;
    if (counter->zone == kProcessor || counter->zone == kBusy) {
        status = counter->query->collections < 2 ? PDH_INVALID_DATA : ERROR_SUCCESS;
        found = counter->query->processorValue[counter->zone == kProcessor ? 0 : 1];
    } else {
        status = ZoneValue(*counter, counter->zone, found);
    }
    if (status != ERROR_SUCCESS)
        return status;
    if (type != nullptr)
        *type = kRawCountType;
    value->CStatus = PDH_CSTATUS_VALID_DATA;
    value->longValue = found;
    std::snprintf(valueText, size, "%ld", static_cast<long>(found));
    return ERROR_SUCCESS;
}

// Every existing zone that the counter covers, with its name stored behind the items.
DWORD FormatArray(Counter* counter, DWORD format, DWORD* bufferSize, DWORD* itemCount,
                  PDH_FMT_COUNTERVALUE_ITEM_A* items, char* valuesText, size_t size)
{
    if (counter == nullptr)
        return PDH_INVALID_HANDLE;
    if (bufferSize == nullptr || itemCount == nullptr || (format & PDH_FMT_LONG) == 0)
        return PDH_INVALID_ARGUMENT;
    if (counter->zone == kMissingZone)
        return PDH_CSTATUS_NO_INSTANCE;
    ScriptView script = ReadScript(nullptr);
    int zones[kMaxZones];
    DWORD count = 0, needed = 0;
    for (int z = 0; z < script.zoneCount; ++z) {
        if (script.zones[z].exists && (counter->zone == kAllZones || counter->zone == z)) {
            zones[count++] = z;
            needed += sizeof(PDH_FMT_COUNTERVALUE_ITEM_A) + std::strlen(script.zones[z].name) + 1;
        }
    }
    *itemCount = count;
    if (items == nullptr || *bufferSize < needed) {
        *bufferSize = needed;
        return PDH_MORE_DATA;
    }
    char* names = reinterpret_cast<char*>(items + count);
    size_t used = 0;
    for (DWORD i = 0; i < count; ++i) {
        LONG value = 0;
        DWORD status = ZoneValue(*counter, zones[i], value);
        std::strcpy(names, script.zones[zones[i]].name);
        items[i].szName = names;
        names += std::strlen(names) + 1;
        items[i].FmtValue.CStatus = status == ERROR_SUCCESS ? PDH_CSTATUS_VALID_DATA : status;
        items[i].FmtValue.longValue = value;
        used += std::snprintf(valuesText + used, size - used, "%s%s=%ld", used ? "," : "",
                              items[i].szName, static_cast<long>(value));
        if (used >= size)
            used = size - 1;
    }
    return ERROR_SUCCESS;
}

// A counter removed from its query; what the query still holds is looked at anew.
DWORD RemoveCounter(Counter* counter)
{
    if (counter == nullptr)
        return PDH_INVALID_HANDLE;
    Query* query = counter->query;
    counter->open = false;
    query->hasCounter = query->hasProcessor = false;
    for (const Counter& other : g_counters) {
        if (!other.open || other.query != query)
            continue;
        if (other.zone == kProcessor || other.zone == kBusy)
            query->hasProcessor = true;
        else
            query->hasCounter = true;
    }
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

PDH_STATUS TracedAddCounter(const char* function, PDH_HQUERY hQuery, LPCSTR path,
                            DWORD_PTR userData, PDH_HCOUNTER* phCounter, bool english)
{
    TableLock tables;
    FakeFileLock lock;
    Query* query = FindQuery(hQuery);
    int id = 0;
    DWORD result = AddCounter(query, path, english, phCounter, &id);
    char queryText[16];
    HandleText(hQuery, query != nullptr ? query->id : 0, queryText, sizeof queryText);
    FakeTrace("%s query=%s path=\"%s\" user=%lu counter=%d -> %ld", function, queryText,
              path != nullptr ? path : "(null)", static_cast<unsigned long>(userData), id,
              static_cast<long>(result));
    return static_cast<PDH_STATUS>(result);
}

} // namespace

extern "C" {

PDH_STATUS WINAPI PdhOpenQueryA(LPCSTR szDataSource, DWORD_PTR dwUserData, PDH_HQUERY* phQuery)
{
    TableLock tables;
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
    return TracedAddCounter("PdhAddCounterA", hQuery, szFullCounterPath, dwUserData, phCounter,
                            false);
}

PDH_STATUS WINAPI PdhAddEnglishCounterA(PDH_HQUERY hQuery, LPCSTR szFullCounterPath,
                                        DWORD_PTR dwUserData, PDH_HCOUNTER* phCounter)
{
    return TracedAddCounter("PdhAddEnglishCounterA", hQuery, szFullCounterPath, dwUserData,
                            phCounter, true);
}

PDH_STATUS WINAPI PdhCollectQueryData(PDH_HQUERY hQuery)
{
    TableLock tables;
    FakeFileLock lock;
    Query* query = FindQuery(hQuery);
    char readingText[128] = "-";
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
    // A value comes from the last collection and reads no file: the files' lock (some
    // wineserver round trips, which a benchmark would count as the program's) only to trace.
    TableLock tables;
    char tracePath[MAX_PATH];
    FakeFileLock lock(FakeFilePath(AMBREL_FAKE_TRACE_VARIABLE, tracePath, sizeof tracePath));
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

PDH_STATUS WINAPI PdhGetFormattedCounterArrayA(PDH_HCOUNTER hCounter, DWORD dwFormat,
                                               LPDWORD lpdwBufferSize, LPDWORD lpdwItemCount,
                                               PPDH_FMT_COUNTERVALUE_ITEM_A ItemBuffer)
{
    TableLock tables;
    FakeFileLock lock;
    Counter* counter = FindCounter(hCounter);
    char valuesText[256] = "-";
    DWORD result = FormatArray(counter, dwFormat, lpdwBufferSize, lpdwItemCount, ItemBuffer,
                               valuesText, sizeof valuesText);
    char counterText[16];
    HandleText(hCounter, counter != nullptr ? counter->id : 0, counterText, sizeof counterText);
    FakeTrace("PdhGetFormattedCounterArrayA counter=%s format=0x%lx values=%s -> %ld", counterText,
              static_cast<unsigned long>(dwFormat), valuesText, static_cast<long>(result));
    return static_cast<PDH_STATUS>(result);
}

PDH_STATUS WINAPI PdhRemoveCounter(PDH_HCOUNTER hCounter)
{
    TableLock tables;
    FakeFileLock lock;
    Counter* counter = FindCounter(hCounter);
    char counterText[16];
    HandleText(hCounter, counter != nullptr ? counter->id : 0, counterText, sizeof counterText);
    DWORD result = RemoveCounter(counter);
    FakeTrace("PdhRemoveCounter counter=%s -> %ld", counterText, static_cast<long>(result));
    return static_cast<PDH_STATUS>(result);
}

PDH_STATUS WINAPI PdhCloseQuery(PDH_HQUERY hQuery)
{
    TableLock tables;
    FakeFileLock lock;
    Query* query = FindQuery(hQuery);
    char queryText[16];
    HandleText(hQuery, query != nullptr ? query->id : 0, queryText, sizeof queryText);
    DWORD result = CloseQuery(query);
    FakeTrace("PdhCloseQuery query=%s -> %ld", queryText, static_cast<long>(result));
    return static_cast<PDH_STATUS>(result);
}

} // extern "C"
