#include "app/CommandLine.h"

#include "power/Ambrel.h"

#include <cstring>

namespace
{

// Decimal digits alone, from 1 to the longest pause; -1 for anything else.
int PauseMinutes(const char* text)
{
    if (text == nullptr || text[0] == '\0')
        return -1;
    int minutes = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9')
            return -1;
        minutes = minutes * 10 + (*c - '0');
        if (minutes > AMBREL_LONGEST_PAUSE_MINUTES)
            return -1;
    }
    return minutes >= 1 ? minutes : -1;
}

// The file of --export: an argument that is there and is no switch.
bool ExportFileFollows(int argc, const char* const* argv, int at)
{
    const char* file = at + 1 < argc ? argv[at + 1] : nullptr;
    return file != nullptr && file[0] != '\0' && std::strncmp(file, "--", 2) != 0;
}

} // namespace

CommandSwitches ParseCommandLine(int argc, const char* const* argv)
{
    CommandSwitches switches = {};
    for (int i = 1; i < argc && argv != nullptr; ++i) {
        const char* argument = argv[i];
        if (argument == nullptr)
            continue;
        if (std::strcmp(argument, "--logging") == 0)
            switches.file = 1;
        else if (std::strcmp(argument, "--console") == 0)
            switches.console = 1;
        else if (std::strcmp(argument, "--exit") == 0)
            switches.exit = 1;
        else if (std::strcmp(argument, "--service") == 0)
            switches.service = 1;
        else if (std::strcmp(argument, "--status") == 0)
            switches.status = 1;
        else if (std::strcmp(argument, "--json") == 0)
            switches.json = 1;
        else if (std::strcmp(argument, "--diagnose") == 0)
            switches.diagnose = 1;
        else if (std::strcmp(argument, "--resume") == 0)
            switches.resume = 1;
        else if (std::strcmp(argument, "--days") == 0)
            switches.days = 1;
        else if (std::strcmp(argument, "--export") == 0) {
            const bool named = ExportFileFollows(argc, argv, i);
            switches.exportTo = named ? 1 : -1;
            i += named ? 1 : 0;
        } else if (std::strcmp(argument, "--pause") == 0)
            switches.pause = PauseMinutes(i + 1 < argc ? argv[++i] : nullptr);
        else if (switches.other == nullptr)
            switches.other = argument;
    }
    return switches;
}
