// The restore ledger in the registry (HKCU\Software\Ambrel\Restore) through the program's key
// module: entries written, read back and removed; every value that is not a well-formed entry
// logged and removed without being read as one.
#include "PowerTestSupport.h"

#include "power/RestoreLedger.h"

#include <algorithm>

namespace
{

struct StoredValue {
    const char* name;
    DWORD type;
    std::vector<uint8_t> data;
    // "scheme value original written previous", "(earlier name)" added for an entry named by
    // the scheme alone; nullptr for a malformed value
    const char* readAs;
};

const StoredValue kValues[] = {
    {"381b4222-f694-41f0-9685-ff5bb260df2e",
     REG_BINARY,
     {93, 0, 0, 0, 80, 0, 0, 0, 99, 0, 0, 0},
     "381b4222-f694-41f0-9685-ff5bb260df2e AC 93 80 99 (earlier name)"},
    {"8C5E7FDA-E8BF-4A96-9A85-A6E23A8C635C",
     REG_BINARY,
     {1, 0, 0, 0, 100, 0, 0, 0, 100, 0, 0, 0},
     "8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c AC 1 100 100 (earlier name)"},
    {"8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c DC1",
     REG_BINARY,
     {50, 0, 0, 0, 50, 0, 0, 0, 80, 0, 0, 0},
     "8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c DC1 50 50 80"},
    {"8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c DC2",
     REG_BINARY,
     {50, 0, 0, 0, 50, 0, 0, 0, 50, 0, 0, 0},
     nullptr},
    {"8c5e7fda-e8bf-4a96-9a85-a6e23a8c635cAC1",
     REG_BINARY,
     {50, 0, 0, 0, 50, 0, 0, 0, 50, 0, 0, 0},
     nullptr},
    // 0 %, which the next start would write back.
    {"8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c DC",
     REG_BINARY,
     {0, 0, 0, 0, 80, 0, 0, 0, 80, 0, 0, 0},
     nullptr},
    {"a1841308-3541-4fab-bc81-f71556f20b4a", REG_DWORD, {70, 0, 0, 0}, nullptr},
    {"a1841308-3541-4fab-bc81-f71556f20b4b", REG_BINARY, {70, 0, 0, 0, 80, 0, 0, 0}, nullptr},
    {"a1841308-3541-4fab-bc81-f71556f20b4d",
     REG_BINARY,
     {70, 0, 0, 0, 80, 0, 0, 0, 0, 1, 0, 0},
     nullptr},
    {"{a1841308-3541-4fab-bc81-f71556f20b4f}",
     REG_BINARY,
     {70, 0, 0, 0, 80, 0, 0, 0, 80, 0, 0, 0},
     nullptr},
    {"Threshold", REG_DWORD, {85, 0, 0, 0}, nullptr},
};

std::vector<std::string> ReadAll(RestoreLedger& ledger)
{
    LedgerEntry read[RESTORE_LEDGER_MAX_ENTRIES];
    int count = ledger.ReadEntries(read, RESTORE_LEDGER_MAX_ENTRIES);
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i) {
        char name[LEDGER_NAME_SIZE];
        FormatLedgerName(read[i], name);
        texts.push_back(name + (" " + std::to_string(read[i].original)) + " " +
                        std::to_string(read[i].written) + " " + std::to_string(read[i].previous) +
                        (read[i].legacy ? " (earlier name)" : ""));
    }
    return texts;
}

TEST(RestoreLedgerTest, ReadsEntriesBackAndRemovesMalformedValuesUnread)
{
    RegDeleteKeyA(HKEY_CURRENT_USER, RESTORE_LEDGER_KEY_PATH);
    RestoreLedger ledger{};
    ASSERT_TRUE(ledger.Open());
    std::vector<std::string> expected;
    for (const StoredValue& v : kValues) {
        ASSERT_TRUE(
            ledger.key.WriteRaw(v.name, v.type, v.data.data(), static_cast<DWORD>(v.data.size())));
        if (v.readAs != nullptr)
            expected.push_back(v.readAs);
    }
    LogSince log;
    EXPECT_EQ(expected, ReadAll(ledger));
    EXPECT_EQ(sizeof kValues / sizeof kValues[0] - expected.size(), log.Lines().size())
        << log.Bytes();
    char name[64];
    EXPECT_TRUE(ledger.key.ValueName(2, name, sizeof name));
    EXPECT_FALSE(ledger.key.ValueName(3, name, sizeof name)) << "only the entries are left";

    // An entry under the earlier name moves to the new one when it is written again, and both
    // names go when it is removed.
    LedgerEntry read[RESTORE_LEDGER_MAX_ENTRIES];
    ASSERT_EQ(3, ledger.ReadEntries(read, RESTORE_LEDGER_MAX_ENTRIES));
    LedgerEntry zero = read[1];
    zero.original = 0;
    EXPECT_FALSE(ledger.Put(zero));
    read[0].written = 99;
    read[0].previous = 100;
    ASSERT_TRUE(ledger.Put(read[0]));
    std::vector<std::string> afterPut = ReadAll(ledger);
    EXPECT_EQ(3u, afterPut.size());
    EXPECT_NE(afterPut.end(), std::find(afterPut.begin(), afterPut.end(),
                                        "381b4222-f694-41f0-9685-ff5bb260df2e AC 93 99 100"));
    ledger.Remove(read[0]);
    ledger.Remove(read[2]);
    EXPECT_EQ(std::vector<std::string>{expected[1]}, ReadAll(ledger));
    ledger.Close();
    ledger.Close();
    EXPECT_EQ(nullptr, ledger.key.key);
    // A leftover would be restored by the next watcher test in this prefix.
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, RESTORE_LEDGER_KEY_PATH));
}

} // namespace
