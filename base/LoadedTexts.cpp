#include "base/LoadedTexts.h"

#include "base/Log.h"

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

} // namespace

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
    const LANGID primary = static_cast<LANGID>(MAKELANGID(PRIMARYLANGID(wanted), SUBLANG_NEUTRAL));
    const LANGID tried[] = {wanted, primary, ENGLISH};
    for (int id = IDS_FIRST; id <= IDS_LAST; ++id) {
        const wchar_t* text = nullptr;
        int length = 0;
        LANGID found = 0;
        for (LANGID candidate : tried) {
            if (FindTableText(module, id, candidate, &text, &length)) {
                found = candidate;
                break;
            }
        }
        if (found == 0 || used + length + 1 > LOADED_TEXTS_SIZE) {
            LogPrint("LoadedTexts: no text %d\n", id);
            continue;
        }
        if (language == 0 && found != ENGLISH)
            language = found;
        char16_t* kept = &pool[used];
        for (int i = 0; i < length; ++i)
            kept[i] = static_cast<char16_t>(text[i]);
        kept[length] = u'\0';
        used += length + 1;
        table.texts[id - IDS_FIRST] = kept;
    }
    if (language == 0)
        language = ENGLISH;
}

void LoadedTexts::Release()
{
    for (const char16_t*& text : table.texts)
        text = nullptr;
    language = 0;
    used = 0;
}
