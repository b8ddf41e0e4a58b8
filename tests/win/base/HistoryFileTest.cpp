#include "base/HistoryFile.h"

#include "base/HistoryCodec.h"
#include "control/HistoryKeeper.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace
{

// A directory of its own under %TEMP% for each test, emptied first.
class HistoryFileTest : public ::testing::Test
{
  public:
    std::wstring directory;
    std::wstring path;
    std::unique_ptr<HistoryStore> store{new HistoryStore()};

    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
        directory = std::wstring(temp) + L"AmbrelHistoryTest";
        CreateDirectoryW(directory.c_str(), nullptr);
        wchar_t made[MAX_PATH];
        ASSERT_TRUE(HistoryFilePath(directory.c_str(), made, MAX_PATH));
        path = made;
        for (const wchar_t* suffix : {L"", HISTORY_NEW_SUFFIX, HISTORY_ASIDE_SUFFIX}) {
            const std::wstring name = path + suffix;
            SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(name.c_str());
            RemoveDirectoryW(name.c_str());
        }
        store->Clear();
    }

    // A store with two minutes of 70 and 90 °C, lowered, on some day.
    std::vector<uint8_t> Good()
    {
        std::unique_ptr<HistoryStore> made(new HistoryStore());
        made->Clear();
        const int64_t at = 13400000000000LL;
        made->Record(0, at, 60, {70, 0, 100, true, false, false});
        made->Record(60000, at + 60000, 60, {90, 2, 80, true, true, false});
        std::vector<uint8_t> bytes(HISTORY_ENCODED_SIZE);
        EncodeHistory(*made, bytes.data(), bytes.size());
        return bytes;
    }

    void Put(const std::wstring& name, const std::vector<uint8_t>& bytes)
    {
        HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }

    bool Exists(const std::wstring& name)
    {
        return GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    HistoryLoad Load(std::string* whyOut = nullptr)
    {
        char why[96] = "unset";
        const HistoryLoad result = LoadHistoryFile(path.c_str(), *store, why, sizeof why);
        if (whyOut != nullptr)
            *whyOut = why;
        return result;
    }
};

} // namespace

// Saved and read back whole; a second save replaces the first and leaves no new file behind.
TEST_F(HistoryFileTest, SavedHistoryIsReadBackAndReplacedWhole)
{
    EXPECT_EQ(Load(), HistoryLoad::Missing);
    std::vector<uint8_t> bytes = Good();
    ASSERT_EQ(SaveHistoryFile(path.c_str(), bytes.data(), bytes.size()), 0u);
    ASSERT_EQ(Load(), HistoryLoad::Read);
    EXPECT_EQ(store->MinuteAt(store->newestMinute)->high, 90);
    ASSERT_EQ(SaveHistoryFile(path.c_str(), bytes.data(), bytes.size()), 0u);
    EXPECT_FALSE(Exists(path + HISTORY_NEW_SUFFIX));
    EXPECT_TRUE(ReadHistoryFile(path.c_str(), *store));
    EXPECT_EQ(store->MinuteAt(store->newestMinute)->low, 70);
}

// Whatever cannot be taken is set aside once under the other name, the history begins anew, and
// the next save and load work as on a first run.
TEST_F(HistoryFileTest, SpoiledFilesAreSetAsideOnceAndTheHistoryBeginsAnew)
{
    struct Case {
        const char* what;
        void (*spoil)(HistoryFileTest& test);
        const char* why;
    };
    const Case cases[] = {
        {"truncated",
         [](HistoryFileTest& t) {
             std::vector<uint8_t> bytes = t.Good();
             bytes.resize(bytes.size() / 2);
             t.Put(t.path, bytes);
         },
         "of the wrong size"},
        {"wrong checksum",
         [](HistoryFileTest& t) {
             std::vector<uint8_t> bytes = t.Good();
             bytes[bytes.size() - 3] ^= 0x40;
             t.Put(t.path, bytes);
         },
         "wrong checksum"},
        {"another version",
         [](HistoryFileTest& t) {
             std::vector<uint8_t> bytes = t.Good();
             bytes[4] = 9;
             t.Put(t.path, bytes);
         },
         "another version"},
        {"1 GB",
         [](HistoryFileTest& t) {
             HANDLE file = CreateFileW(t.path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
             LARGE_INTEGER size;
             size.QuadPart = 1024LL * 1024 * 1024;
             SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
             SetEndOfFile(file);
             CloseHandle(file);
         },
         "too large"},
        {"a directory in its place",
         [](HistoryFileTest& t) { CreateDirectoryW(t.path.c_str(), nullptr); }, "directory"},
        {"a file this account may not write",
         [](HistoryFileTest& t) {
             t.Put(t.path, t.Good());
             SetFileAttributesW(t.path.c_str(), FILE_ATTRIBUTE_READONLY);
         },
         "cannot be opened"},
    };
    for (const Case& c : cases) {
        SetUp();
        c.spoil(*this);
        std::string why;
        EXPECT_EQ(Load(&why), HistoryLoad::SetAside) << c.what;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.what << ": " << why;
        EXPECT_TRUE(store->Empty()) << c.what;
        EXPECT_FALSE(Exists(path)) << c.what;
        EXPECT_TRUE(Exists(path + HISTORY_ASIDE_SUFFIX)) << c.what;
        // Set aside once: the next start finds no file and says nothing of it.
        EXPECT_EQ(Load(), HistoryLoad::Missing) << c.what;
        std::vector<uint8_t> bytes = Good();
        ASSERT_EQ(SaveHistoryFile(path.c_str(), bytes.data(), bytes.size()), 0u) << c.what;
        EXPECT_EQ(Load(), HistoryLoad::Read) << c.what;
    }
}

// A kill between the new file and the replace leaves the old file, which is read; a kill during
// the very first write, after the new file was whole, leaves that, which is read in its place.
TEST_F(HistoryFileTest, AKillBetweenTheNewFileAndTheReplaceLeavesAReadableHistory)
{
    std::vector<uint8_t> old = Good();
    Put(path, old);
    std::vector<uint8_t> half = Good();
    half.resize(half.size() / 3);
    Put(path + HISTORY_NEW_SUFFIX, half);
    ASSERT_EQ(Load(), HistoryLoad::Read);
    EXPECT_EQ(store->MinuteAt(store->newestMinute)->high, 90);
    std::vector<uint8_t> bytes = Good();
    ASSERT_EQ(SaveHistoryFile(path.c_str(), bytes.data(), bytes.size()), 0u);
    EXPECT_FALSE(Exists(path + HISTORY_NEW_SUFFIX));

    DeleteFileW(path.c_str());
    Put(path + HISTORY_NEW_SUFFIX, Good());
    std::string why;
    ASSERT_EQ(Load(&why), HistoryLoad::Read);
    EXPECT_NE(why.find("new file"), std::string::npos) << why;
    EXPECT_EQ(store->MinuteAt(store->newestMinute)->high, 90);
    // A new file that is not whole is not taken: the history begins.
    Put(path + HISTORY_NEW_SUFFIX, half);
    EXPECT_EQ(Load(), HistoryLoad::Missing);
    EXPECT_FALSE(ReadHistoryFile(path.c_str(), *store));
}

// The keeper finds its file under the user's %LOCALAPPDATA%, writes it in the background and
// here and now, says a failed write once until one succeeds again, and at the end writes it whole
// and records nothing more.
TEST_F(HistoryFileTest, TheKeeperWritesInTheBackgroundAndAtTheEndAndSaysAFailureOnce)
{
    wchar_t saved[MAX_PATH] = L"";
    const DWORD had = GetEnvironmentVariableW(L"LOCALAPPDATA", saved, MAX_PATH);
    ASSERT_TRUE(SetEnvironmentVariableW(L"LOCALAPPDATA", directory.c_str()));
    const std::wstring file = directory + L"\\Ambrel\\history.dat";
    DeleteFileW(file.c_str());
    RemoveDirectoryW(file.c_str());
    std::unique_ptr<HistoryKeeper> keeper(new HistoryKeeper());
    keeper->Start(false, nullptr);
    ASSERT_NE(nullptr, keeper->store);
    EXPECT_EQ(file, std::wstring(keeper->path));
    keeper->Record({70, 0, 100, true, false, false});
    keeper->OnTimer();
    ASSERT_TRUE(keeper->SaveNow());
    EXPECT_TRUE(ReadHistoryFile(file.c_str(), *store));
    EXPECT_EQ(70, store->MinuteAt(store->newestMinute)->high);

    // A directory in the file's place: each write fails, the first one is said.
    DeleteFileW(file.c_str());
    ASSERT_TRUE(CreateDirectoryW(file.c_str(), nullptr));
    EXPECT_FALSE(keeper->SaveNow());
    EXPECT_TRUE(keeper->failureLogged.load());
    EXPECT_FALSE(keeper->SaveNow());
    EXPECT_TRUE(keeper->failureLogged.load());
    RemoveDirectoryW(file.c_str());
    keeper->Record({88, 1, 99, true, true, false});
    EXPECT_TRUE(keeper->SaveNow());
    EXPECT_FALSE(keeper->failureLogged.load());

    keeper->Stop(nullptr);
    ASSERT_TRUE(ReadHistoryFile(file.c_str(), *store));
    EXPECT_EQ(88, store->MinuteAt(store->newestMinute)->high);
    const int32_t newest = keeper->store->newestMinute;
    keeper->Record({99, 2, 80, true, true, false});
    EXPECT_FALSE(keeper->SaveNow());
    EXPECT_EQ(newest, keeper->store->newestMinute);
    EXPECT_EQ(88, keeper->store->MinuteAt(newest)->high);
    delete keeper->store;
    SetEnvironmentVariableW(L"LOCALAPPDATA", had > 0 ? saved : nullptr);
}
