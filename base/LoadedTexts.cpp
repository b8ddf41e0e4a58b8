#include "base/LoadedTexts.h"

#include "base/Log.h"
#include "base/TextWriter.h"

namespace
{

const LANGID ENGLISH = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// A block of sixteen texts: each a length followed by that many UTF-16 characters.
const WORD* TextBlock(HMODULE module, int id, LANGID language, DWORD* words)
{
    HRSRC found = FindResourceExW(module, MAKEINTRESOURCEW(6) /* RT_STRING */,
                                  MAKEINTRESOURCEW(id / 16 + 1), language);
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    if (loaded == nullptr)
        return nullptr;
    *words = SizeofResource(module, found) / sizeof(WORD);
    return static_cast<const WORD*>(LockResource(loaded));
}

bool UserLocaleNumber(long long number, char16_t* text)
{
    return LocaleNumber(LOCALE_USER_DEFAULT, number, text);
}

// The table tried after the wanted language's own: the one of its primary language (German for
// Swiss German), except for Chinese, whose one table is written in the simplified script. Every
// locale that writes that script (China, Singapore, and "Chinese (Simplified)" itself) reads it;
// the traditional ones (Taiwan, Hong Kong, Macao) fall back to English rather than to a script
// their users may not read.
LANGID FallbackLanguage(LANGID wanted)
{
    if (PRIMARYLANGID(wanted) != LANG_CHINESE)
        return static_cast<LANGID>(MAKELANGID(PRIMARYLANGID(wanted), SUBLANG_NEUTRAL));
    switch (SUBLANGID(wanted)) {
    case SUBLANG_NEUTRAL:
    case SUBLANG_CHINESE_SIMPLIFIED:
    case SUBLANG_CHINESE_SINGAPORE:
        return MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    default:
        return MAKELANGID(LANG_CHINESE, SUBLANG_NEUTRAL);
    }
}

} // namespace

// The leading zero is asked for: without it the locale writes 0 as nothing at all. An answer
// without a digit is refused, so that the caller writes the plain digits instead.
bool LocaleNumber(LCID locale, long long number, char16_t* text)
{
    char16_t digits[NUMBER_SIZE];
    TextWriter(digits, NUMBER_SIZE).AddNumber(number);
    wchar_t thousand[8] = L",", decimal[8] = L".";
    DWORD negative = 1;
    GetLocaleInfoW(locale, LOCALE_STHOUSAND, thousand, 8);
    GetLocaleInfoW(locale, LOCALE_SDECIMAL, decimal, 8);
    GetLocaleInfoW(locale, LOCALE_INEGNUMBER | LOCALE_RETURN_NUMBER,
                   reinterpret_cast<wchar_t*>(&negative), sizeof negative / sizeof(wchar_t));
    NUMBERFMTW format = {0, 1, 3, decimal, thousand, negative};
    if (GetNumberFormatW(locale, 0, reinterpret_cast<const wchar_t*>(digits), &format,
                         reinterpret_cast<wchar_t*>(text), NUMBER_SIZE) == 0)
        return false;
    for (const char16_t* c = text; *c != u'\0'; ++c)
        if (*c >= u'0' && *c <= u'9')
            return true;
    return false;
}

bool FindTableText(HMODULE module, int id, LANGID language, const wchar_t** text, int* length)
{
    DWORD words = 0;
    const WORD* block = id >= 0 ? TextBlock(module, id, language, &words) : nullptr;
    if (block == nullptr)
        return false;
    DWORD at = 0;
    for (int i = 0; i < id % 16 && at < words; ++i)
        at += 1 + block[at];
    if (at >= words || block[at] == 0 || at + 1 + block[at] > words)
        return false;
    *text = reinterpret_cast<const wchar_t*>(&block[at + 1]);
    *length = block[at];
    return true;
}

void LoadedTexts::Load(HMODULE module, LANGID wanted)
{
    Release();
    if (wanted == 0)
        wanted = GetUserDefaultUILanguage();
    const LANGID tried[] = {wanted, FallbackLanguage(wanted), ENGLISH};
    for (int id = IDS_FIRST; id <= IDS_LAST; ++id) {
        const wchar_t* text = nullptr;
        int length = 0;
        bool found = false;
        for (int i = 0; i < 3 && !found; ++i)
            found = FindTableText(module, id, tried[i], &text, &length);
        if (!found || used + length + 1 > LOADED_TEXTS_SIZE) {
            LogPrint("LoadedTexts: no text %d\n", id);
            continue;
        }
        char16_t* kept = &pool[used];
        for (int i = 0; i < length; ++i)
            kept[i] = static_cast<char16_t>(text[i]);
        kept[length] = u'\0';
        used += length + 1;
        table.texts[id - IDS_FIRST] = kept;
    }
    table.formatNumber = UserLocaleNumber;
}

void LoadedTexts::Release()
{
    for (const char16_t*& text : table.texts)
        text = nullptr;
    table.formatNumber = nullptr;
    used = 0;
}
