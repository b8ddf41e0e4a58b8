// The window handler's decisions on the tray: what a gesture on the icon opens, when the throttle
// notice shows, and what goes to the event log.
#include "control/EventRules.h"
#include "present/ThrottleNotice.h"
#include "present/TrayGestures.h"
#include "watch/CapEffect.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using E = TrayEvent;
using A = TrayAction;

// One callback: when it arrives, what it must do, and when what it opened closes (-1: nothing
// opened, or it stays open for the next callback).
struct Step {
    E event;
    int at;
    A action;
    int doneAt;
};

// clang-format off
const std::vector<Step> kGestures[] = {
    // Right click: the shell's WM_CONTEXTMENU in the menu opens nothing; a later Shift+F10 does.
    {{E::RightButtonDown, 1000, A::MenuAtCursor, -1}, {E::Other, 1100, A::None, -1},
     {E::ContextMenu, 1110, A::None, 5000}, {E::ContextMenu, 5100, A::MenuAtAnchor, 6000}},
    // Its WM_CONTEXTMENU just after the menu closed opens nothing; a shell that sends none
    // after a right click does not swallow a Shift+F10 made later.
    {{E::RightButtonDown, 1000, A::MenuAtCursor, 1050}, {E::ContextMenu, 1200, A::None, -1},
     {E::ContextMenu, 1300, A::MenuAtAnchor, 2000},
     {E::RightButtonDown, 9000, A::MenuAtCursor, 9100}, {E::ContextMenu, 9600, A::MenuAtAnchor, 0}},
    // Enter's doubled NIN_KEYSELECT, in the menu or at once after a quick action; left clicks.
    {{E::KeySelect, 1000, A::Activate, -1}, {E::KeySelect, 1001, A::None, 4000},
     {E::KeySelect, 4100, A::Activate, 4100}, {E::KeySelect, 4150, A::None, -1},
     {E::Select, 4200, A::Activate, -1}, {E::Select, 4300, A::None, 4400}},
    // A double click is one gesture, its WM_LBUTTONDBLCLK late under a long double-click time
    // and its shell's second NIN_SELECT included; a double click without a click before it, or
    // after Enter, is no gesture of its own.
    {{E::Select, 1000, A::Activate, 1000}, {E::DoubleClick, 1200, A::SecondClick, 1200},
     {E::Select, 1300, A::None, -1}, {E::Select, 3000, A::Activate, 3000},
     {E::DoubleClick, 3900, A::SecondClick, 3900}, {E::DoubleClick, 5000, A::None, -1},
     {E::KeySelect, 6000, A::Activate, 6000}, {E::DoubleClick, 6100, A::None, -1},
     {E::KeySelect, 6200, A::None, -1}},
};
// clang-format on

TEST(TrayGestures, EachGestureOpensOnce)
{
    for (const std::vector<Step>& gesture : kGestures) {
        TrayGestures gestures;
        for (const Step& step : gesture) {
            EXPECT_EQ(static_cast<int>(gestures.Decide(step.event, step.at)),
                      static_cast<int>(step.action))
                << "gesture " << &gesture - kGestures << " at " << step.at;
            if (step.doneAt >= 0)
                gestures.Done(step.doneAt);
        }
    }
}

// Whether the cap lowered something, reported one a minute from minute 0, and the minutes at
// which a notice shows. A step that lowers nothing (the user's own value is below the level)
// is no episode.
const std::vector<int32_t> kEpisodes[][2] = {
    {{0, 1, 1, 1, 1, 1}, {1}},
    {{0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, {1}},        // back at own values for nine minutes
    {{0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, {1, 12}}, // for ten
    {{0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, {1}},
    {{0, 0, 0, 1, 0}, {3}},
};

TEST(ThrottleNotice, OncePerEpisodeRearmedAfterTenMinutesUnlowered)
{
    for (const auto& episode : kEpisodes) {
        ThrottleNotice notice;
        std::vector<int32_t> notified;
        for (int32_t minute = 0; minute < static_cast<int32_t>(episode[0].size()); ++minute)
            if (notice.Observe(episode[0][minute] != 0, minute * 60000ull))
                notified.push_back(minute);
        EXPECT_EQ(episode[1], notified);
    }
}

// The event log's episodes are the notice's: the same minutes begin one (the table above, the
// temperature 80 + minute); each ends once quiet for ten minutes or at the end of the run, with
// its duration up to the return of the user's own values and its peak while the cap held.
const std::vector<std::string> kEpisodeEvents[] = {
    {"began 1", "ended 6 300s 85"},
    {"began 1", "ended 12 660s 91"},
    {"began 1", "ended 12 60s 81", "began 12", "ended 13 60s 92"},
    {"began 1", "ended 16 900s 95"},
    {"began 3", "ended 5 60s 83"},
};

void Describe(std::vector<std::string>& events, const EpisodeNews& news, int32_t minute)
{
    if (news.ended)
        events.push_back("ended " + std::to_string(minute) + " " +
                         std::to_string(news.durationMs / 1000) + "s " + std::to_string(news.peak));
    if (news.began)
        events.push_back("began " + std::to_string(minute));
}

TEST(EventRules, OnePairPerEpisodeAsTheNotice)
{
    for (size_t i = 0; i < std::size(kEpisodes); ++i) {
        const std::vector<int32_t>& lowered = kEpisodes[i][0];
        EventRules rules;
        std::vector<std::string> events;
        const int32_t end = static_cast<int32_t>(lowered.size());
        for (int32_t minute = 0; minute < end; ++minute)
            Describe(events,
                     rules.OnReport(lowered[minute] != 0, 80 + minute, true, minute * 60000ull),
                     minute);
        Describe(events, rules.OnEnd(end * 60000ull), end);
        EXPECT_EQ(kEpisodeEvents[i], events) << "case " << i;
    }
}

TEST(EventRules, QuietTimeFailedReadingsAndWriteFailures)
{
    EventRules rules;
    EXPECT_TRUE(rules.OnReport(true, 90, true, 0).began);
    rules.OnReport(true, 99, false, 60000); // the held reading of a failed one: no peak
    EXPECT_TRUE(rules.OnWriteFailed(60000));
    EXPECT_FALSE(rules.OnWriteFailed(120000));
    rules.OnReport(false, 70, true, 180000);
    EXPECT_FALSE(rules.OnQuiet(180000 + EPISODE_QUIET_MS - 1).ended);
    const EpisodeNews news = rules.OnQuiet(180000 + EPISODE_QUIET_MS);
    EXPECT_EQ(180000u, news.durationMs);
    EXPECT_EQ(90, news.peak);
    EXPECT_TRUE(news.ended);
    EXPECT_FALSE(rules.OnEnd(EPISODE_QUIET_MS * 2).ended);
    // A new episode may report a failure again.
    EXPECT_TRUE(rules.OnWriteFailed(EPISODE_QUIET_MS * 2));
}

// A cap found without effect is reported once per episode, as a failed write is, and counts
// against the hourly limit.
TEST(EventRules, NoEffectOncePerEpisodeWithinTheLimit)
{
    EventRules rules;
    EXPECT_TRUE(rules.OnReport(true, 90, true, 0).began);
    EXPECT_TRUE(rules.OnNoEffect(30000));
    EXPECT_FALSE(rules.OnNoEffect(90000)); // found again after a spell of "works"
    rules.OnReport(false, 70, true, 120000);
    EXPECT_TRUE(rules.OnQuiet(120000 + EPISODE_QUIET_MS).ended);
    EXPECT_TRUE(rules.OnReport(true, 90, true, EPISODE_QUIET_MS * 2).began);
    EXPECT_TRUE(rules.OnNoEffect(EPISODE_QUIET_MS * 2 + 30000));
    for (int i = 0; i < EVENT_LIMIT_PER_HOUR; ++i)
        rules.Admit(EPISODE_QUIET_MS * 3);
    rules.OnReport(false, 70, true, EPISODE_QUIET_MS * 3);
    rules.OnQuiet(EPISODE_QUIET_MS * 5);
    rules.OnReport(true, 90, true, EPISODE_QUIET_MS * 5);
    const uint32_t refused = rules.refused;
    EXPECT_FALSE(rules.OnNoEffect(EPISODE_QUIET_MS * 5 + 30000));
    EXPECT_EQ(refused + 1, rules.refused);
}

// The notice of a cap without effect: the first time in a run, never again, whatever comes.
TEST(ThrottleNotice, NoEffectOnceInARun)
{
    ThrottleNotice notice;
    const int32_t said[] = {CAP_EFFECT_OFF,  CAP_EFFECT_UNKNOWN,    CAP_EFFECT_WORKS,
                            CAP_EFFECT_NONE, CAP_EFFECT_NONE,       CAP_EFFECT_OFF,
                            CAP_EFFECT_NONE, CAP_EFFECT_UNAVAILABLE};
    std::vector<int> notified;
    for (int i = 0; i < static_cast<int>(std::size(said)); ++i)
        if (notice.FirstNoEffect(said[i]))
            notified.push_back(i);
    EXPECT_EQ(std::vector<int>{3}, notified);
}

// A sensor that fails and reads again every minute: twenty events in any hour, the rest refused;
// each reading-again tells how long the failure lasted.
TEST(EventRules, TwentyEventsAnHourInAll)
{
    EventRules rules;
    int admitted = 0;
    for (int minute = 0; minute < 70; ++minute) {
        const SensorNews news = rules.OnStatus(minute % 2 == 1, minute * 60000ull);
        admitted += news.failing || news.reading;
        if (news.reading) {
            EXPECT_EQ(60000u, news.failedMs);
        }
    }
    EXPECT_EQ(30, admitted);
    EXPECT_EQ(40u, rules.refused);
    EXPECT_FALSE(rules.OnStatus(true, 70 * 60000ull).reading); // no change of status
}

} // namespace
