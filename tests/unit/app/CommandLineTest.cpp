#include "app/CommandLine.h"
#include "roles/service/PauseControl.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace
{

CommandSwitches Parse(std::vector<const char*> arguments)
{
    arguments.insert(arguments.begin(), "Ambrel.exe");
    return ParseCommandLine(static_cast<int>(arguments.size()), arguments.data());
}

} // namespace

TEST(CommandLine, OnlyExactSwitchesCount)
{
    struct {
        std::vector<const char*> arguments;
        int file;
        int console;
        int exit;
        int service;
        int status = 0;
        int json = 0;
        int diagnose = 0;
        const char* other = nullptr;
    } rows[] = {
        {{}, 0, 0, 0, 0},
        {{"--logging"}, 1, 0, 0, 0},
        {{"--console"}, 0, 1, 0, 0},
        {{"--exit"}, 0, 0, 1, 0},
        {{"--console", "--logging", "--console"}, 1, 1, 0, 0},
        {{"--exit", "--logging", "--exit"}, 1, 0, 1, 0},
        {{"--Logging", "-logging", "--logging=1", "--logging ", "logging", "--CONSOLE"},
         0,
         0,
         0,
         0,
         0,
         0,
         0,
         "--Logging"},
        {{"", "--", "-", "--consolex", "x--console"}, 0, 0, 0, 0},
        {{"--EXIT", "-exit", "/exit", "--exit=1", "exit", "--exi"}, 0, 0, 0, 0, 0, 0, 0, "--EXIT"},
        {{"other", "--logging", "more"}, 1, 0, 0, 0, 0, 0, 0, "other"},
        {{"--service", "--logging"}, 1, 0, 0, 1},
        {{"--Service", "-service", "/service", "--service=1", "service", "--services"},
         0,
         0,
         0,
         0,
         0,
         0,
         0,
         "--Service"},
        {{"--status", "--json"}, 0, 0, 0, 0, 1, 1, 0},
        {{"--json", "--status", "--status"}, 0, 0, 0, 0, 1, 1, 0},
        {{"--diagnose"}, 0, 0, 0, 0, 0, 0, 1},
        // The first argument that is no switch is kept for --status to refuse.
        {{"--status", "--JSON", "--jsno"}, 0, 0, 0, 0, 1, 0, 0, "--JSON"},
        {{"--Status", "--status"}, 0, 0, 0, 0, 1, 0, 0, "--Status"},
        {{"--status=1", "-json", "--diagnose "}, 0, 0, 0, 0, 0, 0, 0, "--status=1"},
    };
    for (const auto& row : rows) {
        CommandSwitches switches = Parse(row.arguments);
        EXPECT_EQ(row.file, switches.file) << row.arguments.size();
        EXPECT_EQ(row.console, switches.console) << row.arguments.size();
        EXPECT_EQ(row.exit, switches.exit) << row.arguments.size();
        EXPECT_EQ(row.service, switches.service) << row.arguments.size();
        EXPECT_EQ(row.status, switches.status) << row.arguments.size();
        EXPECT_EQ(row.json, switches.json) << row.arguments.size();
        EXPECT_EQ(row.diagnose, switches.diagnose) << row.arguments.size();
        EXPECT_EQ(row.other == nullptr ? "" : row.other,
                  std::string(switches.other == nullptr ? "" : switches.other));
    }
}

// --pause takes the next argument as its minutes, whatever it is; a bad one is -1, so that the run
// says so rather than pausing for some other time.
TEST(CommandLine, PauseTakesItsMinutesAndResumeStandsAlone)
{
    struct {
        std::vector<const char*> arguments;
        int pause;
        int resume;
        int file;
    } rows[] = {
        {{"--pause", "60"}, 60, 0, 0},
        {{"--pause", "1", "--logging"}, 1, 0, 1},
        {{"--pause", "120"}, 120, 0, 0},
        {{"--pause", "0120"}, 120, 0, 0},
        {{"--pause"}, -1, 0, 0},
        {{"--pause", "--logging"}, -1, 0, 0},
        {{"--pause", "0"}, -1, 0, 0},
        {{"--pause", "121"}, -1, 0, 0},
        {{"--pause", "99999999999999999999"}, -1, 0, 0},
        {{"--pause", "-5"}, -1, 0, 0},
        {{"--pause", "6O"}, -1, 0, 0},
        {{"--pause", ""}, -1, 0, 0},
        {{"--resume"}, 0, 1, 0},
        {{"--Pause", "60", "--resume=1", "-resume"}, 0, 0, 0},
    };
    for (const auto& row : rows) {
        CommandSwitches switches = Parse(row.arguments);
        EXPECT_EQ(row.pause, switches.pause) << row.arguments.size();
        EXPECT_EQ(row.resume, switches.resume) << row.arguments.size();
        EXPECT_EQ(row.file, switches.file) << row.arguments.size();
    }
}

// Each pause the command line takes has a control of its own, and no other control is a pause.
TEST(CommandLine, EveryPauseHasItsServiceControl)
{
    for (int minutes = 0; minutes <= AMBREL_LONGEST_PAUSE_MINUTES; ++minutes)
        EXPECT_EQ(minutes, PauseOfControl(ControlOfPause(minutes))) << minutes;
    for (uint32_t control : {0u, 1u, 15u, 127u, 129u + AMBREL_LONGEST_PAUSE_MINUTES, 255u})
        EXPECT_EQ(-1, PauseOfControl(control)) << control;
}

TEST(CommandLine, ProgramNameIsNeverASwitch)
{
    const char* arguments[] = {"--exit", "--console"};
    CommandSwitches switches = ParseCommandLine(1, arguments);
    EXPECT_EQ(0, switches.exit);
    EXPECT_EQ(0, switches.console);
    switches = ParseCommandLine(0, nullptr);
    EXPECT_EQ(0, switches.file + switches.console + switches.exit);
}

// Random argument vectors, many of them near-misses of the switches: only the exact switches
// may take effect (checked against a plain search), and nothing may read out of bounds.
TEST(CommandLine, RandomArgumentsNeverMisfire)
{
    std::mt19937 random(7);
    const std::string bases[] = {"--logging", "--console", "--exit",    "--service",
                                 "--status",  "--json",    "--diagnose"};
    std::uniform_int_distribution<int> byte(1, 255);
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::string> texts;
        const int count = static_cast<int>(random() % 6);
        for (int i = 0; i < count; ++i) {
            std::string text = bases[random() % 7];
            switch (random() % 5) {
            case 0: // exact
                break;
            case 1: // one byte changed
                text[random() % text.size()] = static_cast<char>(byte(random));
                break;
            case 2: // cut
                text.resize(random() % text.size());
                break;
            case 3: // long random bytes
                text.assign(random() % 5000, 'x');
                for (char& c : text)
                    c = static_cast<char>(byte(random));
                break;
            default: // appended value
                text += "=1";
                break;
            }
            texts.push_back(text);
        }
        std::vector<const char*> arguments;
        for (const std::string& text : texts)
            arguments.push_back(text.c_str());
        CommandSwitches switches = Parse(arguments);
        int file = 0, console = 0, exit = 0, service = 0, status = 0, json = 0, diagnose = 0;
        const std::string* other = nullptr;
        for (const std::string& text : texts) {
            file |= text == "--logging";
            console |= text == "--console";
            exit |= text == "--exit";
            service |= text == "--service";
            status |= text == "--status";
            json |= text == "--json";
            diagnose |= text == "--diagnose";
            const bool known = text == "--logging" || text == "--console" || text == "--exit" ||
                               text == "--service" || text == "--status" || text == "--json" ||
                               text == "--diagnose";
            if (!known && other == nullptr)
                other = &text;
        }
        ASSERT_EQ(file, switches.file);
        ASSERT_EQ(console, switches.console);
        ASSERT_EQ(exit, switches.exit);
        ASSERT_EQ(service, switches.service);
        ASSERT_EQ(status, switches.status);
        ASSERT_EQ(json, switches.json);
        ASSERT_EQ(diagnose, switches.diagnose);
        ASSERT_EQ(other != nullptr ? other->c_str() : nullptr, switches.other);
    }
}
