// The restore ledger in the registry (HKCU\Software\Ambrel\Restore) through the program's key
// module: entries written, read back and removed; every value that is not a well-formed entry
// logged and removed without being read as one.
#include "PowerTestSupport.h"

#include "power/RestoreLedger.h"

namespace
{

struct StoredValue {
    const char* name;
    DWORD type;
    std::vector<uint8_t> data;
    const char* readAs; // "scheme original written previous", or nullptr for a malformed value
};

const StoredValue kValues[] = {
    {"381b4222-f694-41f0-9685-ff5bb260df2e",
     REG_BINARY,
     {93, 0, 0, 0, 80, 0, 0, 0, 99, 0, 0, 0},
     "381b4222-f694-41f0-9685-ff5bb260df2e 93 80 99"},
    {"8C5E7FDA-E8BF-4A96-9A85-A6E23A8C635C",
     REG_BINARY,
     {0, 0, 0, 0, 100, 0, 0, 0, 100, 0, 0, 0},
     "8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c 0 100 100"},
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
        char name[SCHEME_ID_TEXT_SIZE];
        FormatSchemeId(read[i].scheme, name);
        texts.push_back(name + (" " + std::to_string(read[i].original)) + " " +
                        std::to_string(read[i].written) + " " + std::to_string(read[i].previous));
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
    EXPECT_TRUE(ledger.key.ValueName(1, name, sizeof name));
    EXPECT_FALSE(ledger.key.ValueName(2, name, sizeof name)) << "only the entries are left";

    LedgerEntry entry = {};
    ASSERT_TRUE(ParseSchemeId(kBalancedScheme, entry.scheme));
    entry.original = 93;
    entry.written = 99;
    entry.previous = 100;
    ASSERT_TRUE(ledger.Put(entry));
    EXPECT_EQ("381b4222-f694-41f0-9685-ff5bb260df2e 93 99 100", ReadAll(ledger).at(0));
    ledger.Remove(entry.scheme);
    EXPECT_EQ(std::vector<std::string>{expected[1]}, ReadAll(ledger));
    ledger.Close();
    ledger.Close();
    EXPECT_EQ(nullptr, ledger.key.key);
    // A leftover would be restored by the next watcher test in this prefix.
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, RESTORE_LEDGER_KEY_PATH));
}

} // namespace
