// Fake powrprof.dll: the power-scheme functions that the program uses, backed by a small
// text store (AMBREL_FAKE_POWER) that is read before and rewritten after every call. See
// README.md for the store format and the trace lines.
#include "FakeShared.h"

#include <powrprof.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

// GUID_PROCESSOR_SETTINGS_SUBGROUP, GUID_PROCESSOR_THROTTLE_MAXIMUM and its efficiency class 1
// twin (..._MAXIMUM_1): the only settings kept.
const GUID kProcessorSubgroup = {
    0x54533251, 0x82BE, 0x4824, {0x96, 0xC1, 0x47, 0xB6, 0x0B, 0x74, 0x0D, 0x00}};
const GUID kThrottleMaximum = {
    0xBC5038F7, 0x23E0, 0x4960, {0x96, 0xDA, 0x33, 0xAB, 0xAF, 0x59, 0x35, 0xEC}};
const GUID kThrottleMaximum1 = {
    0xBC5038F7, 0x23E0, 0x4960, {0x96, 0xDA, 0x33, 0xAB, 0xAF, 0x59, 0x35, 0xED}};

// The setting is a percentage; the platform rejects values outside its range.
const DWORD kHighestPercent = 100;

const int kMaxSchemes = 32;
const int kMaxRules = 16;
const size_t kFunctionNameSize = 64;

// values[class][0 = AC, 1 = DC]; a scheme of an older Windows has no class-1 setting.
struct Scheme {
    GUID id;
    DWORD values[2][2];
    bool hasClass1;
};

// The next `skip` calls of `function` pass, then `times` calls fail with `code` (-1 = all).
struct FailRule {
    char function[kFunctionNameSize];
    DWORD code;
    long skip;
    long times;
};

struct Store {
    bool hasActive;
    GUID active;
    Scheme schemes[kMaxSchemes];
    int schemeCount;
    FailRule rules[kMaxRules];
    int ruleCount;
};

// An unsigned number as "%lu" reads it: the next word, whole.
bool NextNumber(const char*& at, unsigned long& value)
{
    char word[32];
    if (!FakeNextWord(at, word, sizeof word))
        return false;
    char* end = nullptr;
    value = std::strtoul(word, &end, 10);
    return end != word && *end == '\0';
}

void ParseSchemeLine(Store& store, const char* rest)
{
    char guidText[64];
    unsigned long values[4];
    if (store.schemeCount >= kMaxSchemes || !FakeNextWord(rest, guidText, sizeof guidText))
        return;
    int numbers = 0;
    while (numbers < 4 && NextNumber(rest, values[numbers]))
        ++numbers;
    if (numbers != 2 && numbers != 4)
        return;
    Scheme& scheme = store.schemes[store.schemeCount];
    if (!FakeParseGuid(guidText, &scheme.id))
        return;
    scheme.values[0][0] = values[0];
    scheme.values[0][1] = values[1];
    scheme.hasClass1 = numbers == 4;
    scheme.values[1][0] = scheme.hasClass1 ? values[2] : 0;
    scheme.values[1][1] = scheme.hasClass1 ? values[3] : 0;
    ++store.schemeCount;
}

void ParseFailLine(Store& store, const char* rest)
{
    if (store.ruleCount >= kMaxRules)
        return;
    FailRule& rule = store.rules[store.ruleCount];
    char code[32], skip[32] = "0", times[32] = "1";
    if (!FakeNextWord(rest, rule.function, sizeof rule.function) ||
        !FakeNextWord(rest, code, sizeof code))
        return;
    if (FakeNextWord(rest, skip, sizeof skip))
        FakeNextWord(rest, times, sizeof times);
    // Codes may be written as large unsigned, negative or hexadecimal numbers.
    rule.code = static_cast<DWORD>(std::strtoll(code, nullptr, 0));
    rule.skip = std::strtol(skip, nullptr, 10);
    rule.times = std::strtol(times, nullptr, 10);
    if (rule.times != 0)
        ++store.ruleCount;
}

void ParseLine(Store& store, const char* line)
{
    char keyword[16];
    const char* rest = line;
    if (!FakeNextWord(rest, keyword, sizeof keyword) || keyword[0] == '#')
        return;
    if (std::strcmp(keyword, "active") == 0) {
        char guidText[64];
        store.hasActive =
            FakeNextWord(rest, guidText, sizeof guidText) && FakeParseGuid(guidText, &store.active);
    } else if (std::strcmp(keyword, "scheme") == 0) {
        ParseSchemeLine(store, rest);
    } else if (std::strcmp(keyword, "fail") == 0) {
        ParseFailLine(store, rest);
    }
}

// A missing file is an empty store.
void LoadStore(const char* path, Store& store)
{
    std::memset(&store, 0, sizeof store);
    FILE* file = std::fopen(path, "r");
    if (file == nullptr)
        return;
    char line[256];
    while (std::fgets(line, sizeof line, file) != nullptr)
        ParseLine(store, line);
    std::fclose(file);
}

void SaveStore(const char* path, const Store& store)
{
    FILE* file = FakeOpenReplacement(path);
    if (file == nullptr)
        return;
    char guidText[FAKE_GUID_TEXT_SIZE];
    if (store.hasActive) {
        FakeGuidText(&store.active, guidText);
        std::fprintf(file, "active %s\n", guidText);
    }
    for (int i = 0; i < store.schemeCount; ++i) {
        const Scheme& scheme = store.schemes[i];
        FakeGuidText(&scheme.id, guidText);
        std::fprintf(file, "scheme %s %lu %lu", guidText,
                     static_cast<unsigned long>(scheme.values[0][0]),
                     static_cast<unsigned long>(scheme.values[0][1]));
        if (scheme.hasClass1)
            std::fprintf(file, " %lu %lu", static_cast<unsigned long>(scheme.values[1][0]),
                         static_cast<unsigned long>(scheme.values[1][1]));
        std::fputc('\n', file);
    }
    for (int i = 0; i < store.ruleCount; ++i) {
        const FailRule& rule = store.rules[i];
        std::fprintf(file, "fail %s %lu %ld %ld\n", rule.function,
                     static_cast<unsigned long>(rule.code), rule.skip, rule.times);
    }
    FakeCommitReplacement(file, path);
}

// Applies the first rule for the function: ERROR_SUCCESS when the call may go ahead.
DWORD TakeFailRule(Store& store, const char* function)
{
    for (int i = 0; i < store.ruleCount; ++i) {
        FailRule& rule = store.rules[i];
        if (std::strcmp(rule.function, function) != 0)
            continue;
        if (rule.skip > 0) {
            --rule.skip;
            return ERROR_SUCCESS;
        }
        DWORD code = rule.code;
        if (rule.times > 0 && --rule.times == 0) {
            for (int j = i + 1; j < store.ruleCount; ++j)
                store.rules[j - 1] = store.rules[j];
            --store.ruleCount;
        }
        return code;
    }
    return ERROR_SUCCESS;
}

// One call: holds the file lock, loads the store before and saves it after the call.
class PowerCall
{
  public:
    explicit PowerCall(const char* function)
    {
        hasStore = FakeFilePath(AMBREL_FAKE_POWER_VARIABLE, path, sizeof path);
        if (hasStore) {
            LoadStore(path, store);
            start = TakeFailRule(store, function);
        } else {
            std::memset(&store, 0, sizeof store);
            start = ERROR_FILE_NOT_FOUND;
        }
    }
    ~PowerCall()
    {
        if (hasStore)
            SaveStore(path, store);
    }

    // The outcome before the call's own work: no store or a fail rule.
    DWORD start;
    Store store;

  private:
    FakeFileLock lock;
    bool hasStore;
    char path[MAX_PATH];
};

Scheme* FindScheme(Store& store, const GUID* id)
{
    for (int i = 0; i < store.schemeCount; ++i) {
        if (IsEqualGUID(store.schemes[i].id, *id))
            return &store.schemes[i];
    }
    return nullptr;
}

// The checks shared by the reads and the writes of the settings; finds the value (dc: the one
// used on battery).
DWORD CheckSetting(Store& store, HKEY root, const GUID* scheme, const GUID* subgroup,
                   const GUID* setting, bool dc, DWORD** found)
{
    if (root != nullptr || scheme == nullptr)
        return ERROR_INVALID_PARAMETER;
    Scheme* kept = FindScheme(store, scheme);
    if (kept == nullptr || subgroup == nullptr || !IsEqualGUID(*subgroup, kProcessorSubgroup) ||
        setting == nullptr)
        return ERROR_FILE_NOT_FOUND;
    int cls = IsEqualGUID(*setting, kThrottleMaximum)                       ? 0
              : IsEqualGUID(*setting, kThrottleMaximum1) && kept->hasClass1 ? 1
                                                                            : -1;
    if (cls < 0)
        return ERROR_FILE_NOT_FOUND;
    *found = &kept->values[cls][dc ? 1 : 0];
    return ERROR_SUCCESS;
}

DWORD GetActive(Store& store, HKEY root, GUID** active)
{
    if (root != nullptr || active == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (!store.hasActive)
        return ERROR_FILE_NOT_FOUND;
    GUID* copy = static_cast<GUID*>(LocalAlloc(LMEM_FIXED, sizeof(GUID)));
    if (copy == nullptr)
        return ERROR_NOT_ENOUGH_MEMORY;
    *copy = store.active;
    *active = copy;
    return ERROR_SUCCESS;
}

DWORD ReadValue(Store& store, HKEY root, const GUID* scheme, const GUID* subgroup,
                const GUID* setting, bool dc, ULONG* type, UCHAR* buffer, DWORD* size)
{
    if (size == nullptr)
        return ERROR_INVALID_PARAMETER;
    DWORD* found = nullptr;
    DWORD result = CheckSetting(store, root, scheme, subgroup, setting, dc, &found);
    if (result != ERROR_SUCCESS)
        return result;
    if (type != nullptr)
        *type = REG_DWORD;
    DWORD given = *size;
    *size = sizeof(DWORD);
    if (buffer == nullptr)
        return ERROR_SUCCESS; // a query of the size
    if (given < sizeof(DWORD))
        return ERROR_MORE_DATA;
    std::memcpy(buffer, found, sizeof(DWORD));
    return ERROR_SUCCESS;
}

DWORD WriteValue(Store& store, HKEY root, const GUID* scheme, const GUID* subgroup,
                 const GUID* setting, bool dc, DWORD value)
{
    DWORD* found = nullptr;
    DWORD result = CheckSetting(store, root, scheme, subgroup, setting, dc, &found);
    if (result != ERROR_SUCCESS)
        return result;
    if (value > kHighestPercent)
        return ERROR_INVALID_PARAMETER;
    *found = value;
    return ERROR_SUCCESS;
}

// PowerReadACValue and PowerReadDCValue, with their trace line.
DWORD TracedRead(const char* function, bool dc, HKEY root, const GUID* scheme, const GUID* subgroup,
                 const GUID* setting, PULONG type, LPBYTE buffer, LPDWORD size)
{
    PowerCall call(function);
    char sizeText[16] = "null";
    if (size != nullptr)
        std::snprintf(sizeText, sizeof sizeText, "%lu", static_cast<unsigned long>(*size));
    DWORD result = call.start;
    if (result == ERROR_SUCCESS)
        result = ReadValue(call.store, root, scheme, subgroup, setting, dc, type, buffer, size);
    char valueText[16] = "-";
    if (result == ERROR_SUCCESS && buffer != nullptr) {
        DWORD value;
        std::memcpy(&value, buffer, sizeof value);
        std::snprintf(valueText, sizeof valueText, "%lu", static_cast<unsigned long>(value));
    }
    char schemeText[FAKE_GUID_TEXT_SIZE], subgroupText[FAKE_GUID_TEXT_SIZE],
        settingText[FAKE_GUID_TEXT_SIZE];
    FakeGuidText(scheme, schemeText);
    FakeGuidText(subgroup, subgroupText);
    FakeGuidText(setting, settingText);
    FakeTrace("%s root=%d scheme=%s subgroup=%s setting=%s type=%s buffer=%s size=%s value=%s "
              "-> %lu",
              function, root != nullptr, schemeText, subgroupText, settingText,
              type != nullptr ? "ptr" : "null", buffer != nullptr ? "ptr" : "null", sizeText,
              valueText, static_cast<unsigned long>(result));
    return result;
}

// PowerWriteACValueIndex and PowerWriteDCValueIndex, with their trace line.
DWORD TracedWrite(const char* function, bool dc, HKEY root, const GUID* scheme,
                  const GUID* subgroup, const GUID* setting, DWORD value)
{
    PowerCall call(function);
    DWORD result = call.start;
    if (result == ERROR_SUCCESS)
        result = WriteValue(call.store, root, scheme, subgroup, setting, dc, value);
    char schemeText[FAKE_GUID_TEXT_SIZE], subgroupText[FAKE_GUID_TEXT_SIZE],
        settingText[FAKE_GUID_TEXT_SIZE];
    FakeGuidText(scheme, schemeText);
    FakeGuidText(subgroup, subgroupText);
    FakeGuidText(setting, settingText);
    FakeTrace("%s root=%d scheme=%s subgroup=%s setting=%s value=%lu -> %lu", function,
              root != nullptr, schemeText, subgroupText, settingText,
              static_cast<unsigned long>(value), static_cast<unsigned long>(result));
    return result;
}

DWORD SetActive(Store& store, HKEY root, const GUID* scheme)
{
    if (root != nullptr || scheme == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (FindScheme(store, scheme) == nullptr)
        return ERROR_FILE_NOT_FOUND;
    store.hasActive = true;
    store.active = *scheme;
    return ERROR_SUCCESS;
}

} // namespace

extern "C" {

DWORD WINAPI PowerGetActiveScheme(HKEY UserRootPowerKey, GUID** ActivePolicyGuid)
{
    PowerCall call("PowerGetActiveScheme");
    DWORD result = call.start;
    if (result == ERROR_SUCCESS)
        result = GetActive(call.store, UserRootPowerKey, ActivePolicyGuid);
    char schemeText[FAKE_GUID_TEXT_SIZE] = "-";
    if (result == ERROR_SUCCESS)
        FakeGuidText(*ActivePolicyGuid, schemeText);
    FakeTrace("PowerGetActiveScheme root=%d out=%s scheme=%s -> %lu", UserRootPowerKey != nullptr,
              ActivePolicyGuid != nullptr ? "ptr" : "null", schemeText,
              static_cast<unsigned long>(result));
    return result;
}

DWORD WINAPI PowerReadACValue(HKEY RootPowerKey, const GUID* SchemeGuid,
                              const GUID* SubGroupOfPowerSettingsGuid, const GUID* PowerSettingGuid,
                              PULONG Type, LPBYTE Buffer, LPDWORD BufferSize)
{
    return TracedRead("PowerReadACValue", false, RootPowerKey, SchemeGuid,
                      SubGroupOfPowerSettingsGuid, PowerSettingGuid, Type, Buffer, BufferSize);
}

DWORD WINAPI PowerReadDCValue(HKEY RootPowerKey, const GUID* SchemeGuid,
                              const GUID* SubGroupOfPowerSettingsGuid, const GUID* PowerSettingGuid,
                              PULONG Type, PUCHAR Buffer, LPDWORD BufferSize)
{
    return TracedRead("PowerReadDCValue", true, RootPowerKey, SchemeGuid,
                      SubGroupOfPowerSettingsGuid, PowerSettingGuid, Type, Buffer, BufferSize);
}

DWORD WINAPI PowerWriteACValueIndex(HKEY RootPowerKey, const GUID* SchemeGuid,
                                    const GUID* SubGroupOfPowerSettingsGuid,
                                    const GUID* PowerSettingGuid, DWORD AcValueIndex)
{
    return TracedWrite("PowerWriteACValueIndex", false, RootPowerKey, SchemeGuid,
                       SubGroupOfPowerSettingsGuid, PowerSettingGuid, AcValueIndex);
}

DWORD WINAPI PowerWriteDCValueIndex(HKEY RootPowerKey, const GUID* SchemeGuid,
                                    const GUID* SubGroupOfPowerSettingsGuid,
                                    const GUID* PowerSettingGuid, DWORD DcValueIndex)
{
    return TracedWrite("PowerWriteDCValueIndex", true, RootPowerKey, SchemeGuid,
                       SubGroupOfPowerSettingsGuid, PowerSettingGuid, DcValueIndex);
}

DWORD WINAPI PowerSetActiveScheme(HKEY UserRootPowerKey, const GUID* SchemeGuid)
{
    PowerCall call("PowerSetActiveScheme");
    DWORD result = call.start;
    if (result == ERROR_SUCCESS)
        result = SetActive(call.store, UserRootPowerKey, SchemeGuid);
    char scheme[FAKE_GUID_TEXT_SIZE];
    FakeGuidText(SchemeGuid, scheme);
    FakeTrace("PowerSetActiveScheme root=%d scheme=%s -> %lu", UserRootPowerKey != nullptr, scheme,
              static_cast<unsigned long>(result));
    return result;
}

} // extern "C"
