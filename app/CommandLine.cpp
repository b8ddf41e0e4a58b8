#include "app/CommandLine.h"

#include <cstring>

LogSwitches ParseLogSwitches(int argc, const char* const* argv)
{
    LogSwitches switches = {0, 0};
    for (int i = 1; i < argc && argv != nullptr; ++i) {
        const char* argument = argv[i];
        if (argument == nullptr)
            continue;
        if (std::strcmp(argument, "--logging") == 0)
            switches.file = 1;
        else if (std::strcmp(argument, "--console") == 0)
            switches.console = 1;
    }
    return switches;
}
