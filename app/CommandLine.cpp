#include "app/CommandLine.h"

#include <cstring>

CommandSwitches ParseCommandLine(int argc, const char* const* argv)
{
    CommandSwitches switches = {0, 0, 0, 0, 0, 0, 0, nullptr};
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
        else if (switches.other == nullptr)
            switches.other = argument;
    }
    return switches;
}
