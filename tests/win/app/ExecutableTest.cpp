// Reads the built Ambrel.exe back: its resources and its PE header.
#include "control/EventReport.h"
#include "base/LoadedTexts.h"
#include "res/resource.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>

namespace
{

class Executable : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        module = LoadLibraryExA(AMBREL_EXE_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, module) << AMBREL_EXE_PATH;
    }
    void TearDown() override
    {
        if (module != nullptr)
            FreeLibrary(module);
    }
    std::string Resource(LPCSTR name, LPCSTR type)
    {
        HRSRC found = FindResourceA(module, name, type);
        if (found == nullptr)
            return "";
        const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
        return std::string(bytes, SizeofResource(module, found));
    }
    HMODULE module = nullptr;
};

std::string MenuText(HMENU menu, UINT position)
{
    char text[64] = "";
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

std::string VersionString(const std::string& block, const char* key)
{
    void* value = nullptr;
    UINT length = 0;
    std::string path = std::string("\\StringFileInfo\\040904B0\\") + key;
    if (!VerQueryValueA(block.data(), path.c_str(), &value, &length))
        return "";
    return static_cast<const char*>(value);
}

} // namespace

TEST_F(Executable, TrayMenuHoldsHistoryAboutAndExit)
{
    HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(IDR_TRAYMENU));
    ASSERT_NE(nullptr, menu);
    EXPECT_EQ("popup", MenuText(menu, 0));
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_EQ(3, GetMenuItemCount(popup));
    EXPECT_EQ("History", MenuText(popup, 0));
    EXPECT_EQ(ID_HISTORY, static_cast<int>(GetMenuItemID(popup, 0)));
    EXPECT_EQ("About", MenuText(popup, 1));
    EXPECT_EQ(ID_ABOUT, static_cast<int>(GetMenuItemID(popup, 1)));
    EXPECT_EQ("Exit", MenuText(popup, 2));
    EXPECT_EQ(ID_EXIT, static_cast<int>(GetMenuItemID(popup, 2)));
    DestroyMenu(menu);
}

TEST_F(Executable, VersionBlockNamesTheProgram)
{
    DWORD size = GetFileVersionInfoSizeA(AMBREL_EXE_PATH, nullptr);
    ASSERT_GT(size, 0u);
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(AMBREL_EXE_PATH, 0, size, &block[0]));
    EXPECT_EQ("1.0.0.0", VersionString(block, "FileVersion"));
    EXPECT_EQ("1.0.0.0", VersionString(block, "ProductVersion"));
    EXPECT_EQ("Ambrel", VersionString(block, "FileDescription"));
    EXPECT_EQ("Ambrel", VersionString(block, "InternalName"));
    EXPECT_EQ("Ambrel", VersionString(block, "ProductName"));
    EXPECT_EQ("Ambrel.exe", VersionString(block, "OriginalFilename"));
}

TEST_F(Executable, ManifestAsksForTheInvokersRightsAndIsDpiAware)
{
    std::string manifest = Resource(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    EXPECT_NE(std::string::npos, manifest.find("level=\"asInvoker\""));
    EXPECT_NE(std::string::npos, manifest.find("uiAccess=\"false\""));
    EXPECT_NE(std::string::npos, manifest.find("<dpiAware xmlns=\"http://schemas.microsoft.com/"
                                               "SMI/2005/WindowsSettings\">true/pm</dpiAware>"));
    EXPECT_NE(std::string::npos, manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"));
    EXPECT_NE(std::string::npos, manifest.find("name=\"Microsoft.Windows.Common-Controls\" "
                                               "version=\"6.0.0.0\""));
}

// The "%1" ... a text puts in.
std::set<std::wstring> Inserts(const wchar_t* text, int length)
{
    std::set<std::wstring> found;
    for (int i = 0; i + 1 < length; ++i)
        if (text[i] == L'%' && text[i + 1] >= L'1' && text[i + 1] <= L'9')
            found.insert(std::wstring(text + i, 2));
    return found;
}

// Every language's table holds every text, with the inserts of the English one.
TEST_F(Executable, EveryLanguageHasEveryTextWithTheEnglishInserts)
{
    const LANGID english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    const LANGID languages[] = {english,
                                MAKELANGID(LANG_GERMAN, SUBLANG_NEUTRAL),
                                MAKELANGID(LANG_FRENCH, SUBLANG_NEUTRAL),
                                MAKELANGID(LANG_SPANISH, SUBLANG_NEUTRAL),
                                MAKELANGID(LANG_JAPANESE, SUBLANG_NEUTRAL),
                                MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)};
    for (LANGID language : languages) {
        for (int id = IDS_FIRST; id <= IDS_LAST; ++id) {
            const wchar_t *text = nullptr, *model = nullptr;
            int length = 0, modelLength = 0;
            ASSERT_TRUE(FindTableText(module, id, english, &model, &modelLength)) << id;
            EXPECT_TRUE(FindTableText(module, id, language, &text, &length))
                << "language " << language << " id " << id;
            if (text != nullptr) {
                EXPECT_EQ(Inserts(model, modelLength), Inserts(text, length))
                    << "language " << language << " id " << id;
            }
        }
    }
    const wchar_t* text = nullptr;
    int length = 0;
    EXPECT_FALSE(FindTableText(module, IDS_LAST + 1, english, &text, &length));
}

// The user's language, else its primary language, else English: text by text.
TEST_F(Executable, TextsFollowTheUsersLanguageWithEnglishWhereItIsMissing)
{
    std::unique_ptr<LoadedTexts> texts(new LoadedTexts());
    struct Row {
        LANGID wanted;
        const char16_t* exit;
    } rows[] = {
        {MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN_SWISS), u"Beenden"},
        {MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), u"\u7D42\u4E86"},
        {MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), u"\u9000\u51FA"},
        // Singapore and "Chinese (Simplified)" write the same script as China; Taiwan, Hong
        // Kong, Macao and "Chinese (Traditional)" another.
        {MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SINGAPORE), u"\u9000\u51FA"},
        {MAKELANGID(LANG_CHINESE, SUBLANG_NEUTRAL), u"\u9000\u51FA"},
        {MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL), u"Exit"},
        {MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_HONGKONG), u"Exit"},
        {MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_MACAU), u"Exit"},
        {0x7C04 /* zh-Hant */, u"Exit"},
        {MAKELANGID(LANG_DUTCH, SUBLANG_DUTCH), u"Exit"},
    };
    for (const Row& row : rows) {
        texts->Load(module, row.wanted);
        EXPECT_EQ(std::u16string(row.exit), std::u16string(texts->table[IDS_MENU_EXIT]))
            << row.wanted;
        EXPECT_EQ(std::u16string(u"%1 \u00B0C"), std::u16string(texts->table[IDS_DEGREES]));
    }
    // Numbers as the test prefix's locale (English, United States) writes them.
    char16_t number[NUMBER_SIZE];
    texts->table.Number(-1234, number);
    EXPECT_EQ(std::u16string(u"-1,234"), std::u16string(number));
    texts->Release();
    EXPECT_EQ(std::u16string(), std::u16string(texts->table[IDS_MENU_EXIT]));
    texts->table.Number(-1234, number);
    EXPECT_EQ(std::u16string(u"-1234"), std::u16string(number));
}

// Every number keeps its digits in the locales of the six languages, 0 too; ' stands for the
// locale's own separator of thousands.
TEST(LocaleNumbers, EveryDigitShowsInEachLanguagesLocale)
{
    const std::pair<long long, std::u16string> rows[] = {
        {0, u"0"},   {1, u"1"},        {9, u"9"},
        {10, u"10"}, {1000, u"1'000"}, {1234567, u"1'234'567"},
        {-1, u"-1"}, {-10, u"-10"},    {-1000, u"-1'000"}};
    for (const wchar_t* name : {L"en-US", L"de-DE", L"fr-FR", L"es-ES", L"ja-JP", L"zh-CN"}) {
        const LCID locale = LocaleNameToLCID(name, 0);
        wchar_t thousand[8] = L"";
        ASSERT_NE(0, GetLocaleInfoW(locale, LOCALE_STHOUSAND, thousand, 8)) << locale;
        for (const auto& row : rows) {
            std::u16string expected = row.second, text(NUMBER_SIZE, u'\0');
            std::replace(expected.begin(), expected.end(), u'\'', char16_t(thousand[0]));
            EXPECT_TRUE(LocaleNumber(locale, row.first, &text[0])) << locale << " " << row.first;
            EXPECT_EQ(expected, std::u16string(text.c_str())) << locale << " " << row.first;
        }
    }
}

TEST_F(Executable, ApplicationIconHasA48AndA16Image)
{
#pragma pack(push, 2)
    struct GroupEntry {
        BYTE width, height, colours, reserved;
        WORD planes, bitCount;
        DWORD bytes;
        WORD id;
    };
#pragma pack(pop)
    std::string group = Resource(MAKEINTRESOURCEA(IDI_APPICON), MAKEINTRESOURCEA(14));
    ASSERT_GE(group.size(), 6 + 2 * sizeof(GroupEntry));
    const WORD* header = reinterpret_cast<const WORD*>(group.data());
    ASSERT_EQ(2, header[2]);
    const GroupEntry* entries = reinterpret_cast<const GroupEntry*>(group.data() + 6);
    int sizes = 0;
    for (int i = 0; i < 2; ++i) {
        sizes |= entries[i].width;
        EXPECT_EQ(8, entries[i].bitCount);
        EXPECT_EQ(entries[i].width, entries[i].height);
    }
    EXPECT_EQ(48 | 16, sizes);
    EXPECT_NE("", Resource(MAKEINTRESOURCEA(IDB_TEMPICON), MAKEINTRESOURCEA(2)));
}

// Every event the program reports has its text in the message table, with exactly the inserts
// the program hands in (%1 to %n, none missing, none more), and a severity that matches its type.
TEST_F(Executable, EveryEventHasItsMessageWithItsInserts)
{
    std::set<DWORD> ids;
    for (const EventKind& kind : EVENT_KINDS) {
        wchar_t text[512] = L"";
        DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      module, kind.id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                      text, 512, nullptr);
        ASSERT_GT(length, 0u) << std::hex << kind.id;
        std::set<int> inserts;
        for (const wchar_t* at = text; (at = wcschr(at, L'%')) != nullptr; at += 2) {
            if (at[1] >= L'1' && at[1] <= L'9')
                inserts.insert(at[1] - L'0');
        }
        std::set<int> expected;
        for (int i = 1; i <= kind.inserts; ++i)
            expected.insert(i);
        EXPECT_EQ(expected, inserts) << std::hex << kind.id;
        const WORD types[] = {0, EVENTLOG_INFORMATION_TYPE, EVENTLOG_WARNING_TYPE,
                              EVENTLOG_ERROR_TYPE};
        EXPECT_EQ(types[kind.id >> 30], kind.type) << std::hex << kind.id;
        ids.insert(kind.id & 0xFFFF);
    }
    EXPECT_EQ(static_cast<size_t>(EVENT_KIND_COUNT), ids.size());
}

// Address-space layout randomisation (with high-entropy addresses), DEP, and the GUI subsystem.
TEST_F(Executable, HeaderAsksForAslrDepAndTheGuiSubsystem)
{
    std::ifstream file(AMBREL_EXE_PATH, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 4096u);
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
    const IMAGE_NT_HEADERS64* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS64*>(bytes.data() + dos->e_lfanew);
    ASSERT_EQ(IMAGE_NT_OPTIONAL_HDR64_MAGIC, nt->OptionalHeader.Magic);
    const WORD flags = nt->OptionalHeader.DllCharacteristics;
    EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
    EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA);
    EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, nt->OptionalHeader.Subsystem);
    EXPECT_EQ(0, nt->FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED);
}
