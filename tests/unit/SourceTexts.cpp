#include "SourceTexts.h"

#include <fstream>
#include <regex>

namespace
{

std::u16string Utf16(const std::string& utf8)
{
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        const int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        char32_t code = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k)
            code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        out += static_cast<char16_t>(code);
        i += 1 + extra;
    }
    return out;
}

} // namespace

std::unique_ptr<SourceTable> ReadTable(const std::string& language)
{
    std::map<std::string, int> ids;
    std::ifstream header(AMBREL_SOURCE_DIR "/res/resource.h");
    std::regex define(R"(#define (IDS_\w+) (\d+))");
    std::smatch m;
    for (std::string line; std::getline(header, line);)
        if (std::regex_search(line, m, define))
            ids[m[1]] = std::stoi(m[2]);
    std::unique_ptr<SourceTable> table(new SourceTable());
    std::ifstream script(AMBREL_SOURCE_DIR "/res/Strings.rc");
    std::regex text(R"re(^\s+(IDS_\w+) "(.*)"$)re");
    bool inside = false;
    for (std::string line; std::getline(script, line);) {
        if (line.rfind("LANGUAGE ", 0) == 0)
            inside = line.find(language) != std::string::npos;
        if (inside && std::regex_match(line, m, text))
            table->texts[ids.at(m[1])] = Utf16(m[2]);
    }
    for (const auto& entry : table->texts)
        table->table.texts[entry.first - IDS_FIRST] = entry.second.c_str();
    return table;
}

const TextTable& English()
{
    static std::unique_ptr<SourceTable> english = ReadTable("LANG_ENGLISH");
    return english->table;
}

std::string Utf8(const char16_t* text)
{
    std::string out;
    for (; *text != u'\0'; ++text) {
        if (*text < 0x80)
            out += static_cast<char>(*text);
        else if (*text < 0x800)
            out +=
                {static_cast<char>(0xC0 | (*text >> 6)), static_cast<char>(0x80 | (*text & 0x3F))};
        else
            out += {static_cast<char>(0xE0 | (*text >> 12)),
                    static_cast<char>(0x80 | ((*text >> 6) & 0x3F)),
                    static_cast<char>(0x80 | (*text & 0x3F))};
    }
    return out;
}
