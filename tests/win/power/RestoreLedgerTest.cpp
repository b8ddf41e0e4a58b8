// The restore ledger in the registry (HKCU\Software\Ambrel\Restore) through the program's key
// module: entries written, read back and removed, and every value that is not a well-formed
// entry logged and removed without being read as one.
#include "PowerTestSupport.h"

#include "power/RestoreLedger.h"

#include <cstdint>

namespace
{

struct StoredValue {
    const char* name;
    DWORD type;
    std::vector<uint8_t> data;
    // Read back as an entry (original, written); otherwise malformed.
    bool entry;
};

const StoredValue kValues[] = {
    {"381b4222-f694-41f0-9685-ff5bb260df2e", REG_BINARY, {93, 0, 0, 0, 80, 0, 0, 0}, true},
    {"8C5E7FDA-E8BF-4A96-9A85-A6E23A8C635C", REG_BINARY, {0, 0, 0, 0, 100, 0, 0, 0}, true},
    {"a1841308-3541-4fab-bc81-f71556f20b4a", REG_DWORD, {70, 0, 0, 0}, false},
    {"a1841308-3541-4fab-bc81-f71556f20b4b", REG_BINARY, {70, 0, 0, 0, 80, 0, 0}, false},
    {"a1841308-3541-4fab-bc81-f71556f20b4c", REG_BINARY, {70, 0, 0, 0, 80, 0, 0, 0, 0}, false},
    {"a1841308-3541-4fab-bc81-f71556f20b4d", REG_BINARY, {101, 0, 0, 0, 80, 0, 0, 0}, false},
    {"a1841308-3541-4fab-bc81-f71556f20b4e", REG_BINARY, {70, 0, 0, 0, 0, 1, 0, 0}, false},
    {"{a1841308-3541-4fab-bc81-f71556f20b4f}", REG_BINARY, {70, 0, 0, 0, 80, 0, 0, 0}, false},
    {"a1841308-3541-4fab-bc81-f71556f20b4", REG_BINARY, {70, 0, 0, 0, 80, 0, 0, 0}, false},
    {"a1841308-3541-4fab-bc81-f71556f20bxx", REG_BINARY, {70, 0, 0, 0, 80, 0, 0, 0}, false},
    {"Threshold", REG_DWORD, {85, 0, 0, 0}, false},
};

bool HasValue(const RestoreLedger& ledger, const char* name)
{
    uint8_t data[16];
    DWORD type = 0, size = sizeof data;
    return ledger.key.ReadRaw(name, type, data, size);
}

TEST(RestoreLedgerTest, ReadsEntriesBackAndRemovesMalformedValuesUnread)
{
    RegDeleteKeyA(HKEY_CURRENT_USER, RESTORE_LEDGER_KEY_PATH);
    RestoreLedger ledger{};
    ASSERT_TRUE(ledger.Open());
    for (const StoredValue& v : kValues)
        ASSERT_TRUE(
            ledger.key.WriteRaw(v.name, v.type, v.data.data(), static_cast<DWORD>(v.data.size())));
    LogSince log;

    LedgerEntry read[RESTORE_LEDGER_MAX_ENTRIES];
    ASSERT_EQ(2, ledger.ReadEntries(read, RESTORE_LEDGER_MAX_ENTRIES)) << log.Bytes();
    char name[SCHEME_ID_TEXT_SIZE];
    FormatSchemeId(read[0].scheme, name);
    EXPECT_EQ(std::string(kBalancedScheme) + " 93 80",
              name + (" " + std::to_string(read[0].original) + " ") +
                  std::to_string(read[0].written));
    FormatSchemeId(read[1].scheme, name);
    EXPECT_EQ(std::string(kHighPerformanceScheme) + " 0 100",
              name + (" " + std::to_string(read[1].original) + " ") +
                  std::to_string(read[1].written));
    for (const StoredValue& v : kValues)
        EXPECT_EQ(v.entry, HasValue(ledger, v.name)) << v.name;
    EXPECT_EQ(9u, log.Lines().size()) << log.Bytes();

    // An entry rewritten, read back, then removed with the other.
    read[0].written = 99;
    ASSERT_TRUE(ledger.Put(read[0]));
    LedgerEntry again[RESTORE_LEDGER_MAX_ENTRIES];
    ASSERT_EQ(2, ledger.ReadEntries(again, RESTORE_LEDGER_MAX_ENTRIES));
    EXPECT_EQ(99u, again[0].written);
    ledger.Remove(again[0].scheme);
    ledger.Remove(again[1].scheme);
    EXPECT_EQ(0, ledger.ReadEntries(again, RESTORE_LEDGER_MAX_ENTRIES));
    EXPECT_EQ(9u, log.Lines().size()) << "nothing more is logged";
    ledger.Close();
    ledger.Close();
    EXPECT_EQ(nullptr, ledger.key.key);
}

} // namespace
