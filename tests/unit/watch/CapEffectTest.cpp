// The check of the cap's effect: what it says of a run of readings, 2 s apart, each with the
// processor's performance and busy share as the counters gave them.
#include "watch/CapEffect.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

// A stretch of readings alike: how many, the cap in force (0: the cap lowers nothing), the
// performance and busy share; ok false for a sample that failed, available false where the
// counters do not exist.
struct Stretch {
    int readings;
    uint32_t cap;
    int32_t performance;
    int32_t busy;
    bool ok = true;
    bool available = true;
};

// What the check says after its stretches: the effect and the performance seen.
struct Case {
    const char* name;
    std::vector<Stretch> stretches;
    int32_t effect;
    int32_t performance;
};

const uint64_t kIntervalMs = 2000;

// clang-format off
const Case kCases[] = {
    {"busy at 130 % under 80 % for 30 s: no effect", {{15, 80, 130, 95}}, CAP_EFFECT_NONE, 130},
    {"busy for only 22 s: not known yet", {{11, 80, 130, 95}}, CAP_EFFECT_UNKNOWN, 0},
    {"busy at the cap: it works", {{15, 80, 79, 100}}, CAP_EFFECT_WORKS, 79},
    {"busy just within the margin", {{15, 80, 85, 70}}, CAP_EFFECT_WORKS, 85},
    {"busy between the margins: not known yet", {{15, 80, 88, 70}}, CAP_EFFECT_UNKNOWN, 0},
    {"busy just past the larger margin", {{15, 80, 91, 70}}, CAP_EFFECT_NONE, 91},
    {"at 99 %: no boost is what it asks", {{15, 99, 100, 90}}, CAP_EFFECT_WORKS, 100},
    {"at 99 %: boosting on", {{15, 99, 140, 90}}, CAP_EFFECT_NONE, 140},
    // A processor that never boosts runs at its base: that is the 99 % step's cap, not 80 %'s.
    {"never boosts, 99 %", {{15, 99, 100, 100}}, CAP_EFFECT_WORKS, 100},
    {"never boosts, 80 %", {{15, 80, 100, 100}}, CAP_EFFECT_NONE, 100},
    // An idle processor proves nothing, high or low; half busy is busy.
    {"idle and boosting in bursts", {{30, 80, 150, 10}}, CAP_EFFECT_UNKNOWN, 0},
    {"idle and slow", {{30, 80, 40, 5}}, CAP_EFFECT_UNKNOWN, 0},
    {"half busy", {{15, 80, 120, 50}}, CAP_EFFECT_NONE, 120},
    {"just under half busy", {{15, 80, 120, 49}}, CAP_EFFECT_UNKNOWN, 0},
    // Busy readings among idle ones count while enough of them fall in the last 30 s.
    {"idle readings in between", {{3, 80, 60, 5}, {12, 80, 130, 90}}, CAP_EFFECT_NONE, 130},
    {"busy, then idle: the verdict holds", {{15, 80, 130, 90}, {40, 80, 40, 3}},
     CAP_EFFECT_NONE, 130},
    {"no effect, then the cap holds", {{15, 80, 130, 90}, {15, 80, 80, 90}}, CAP_EFFECT_WORKS,
     80},
    // A new cap starts anew; so does one after the cap lowered nothing.
    {"99 % worked, 80 % is new", {{15, 99, 100, 90}, {5, 80, 100, 90}}, CAP_EFFECT_UNKNOWN, 0},
    {"lifted and lowered again", {{15, 80, 130, 90}, {1, 0, 130, 90}, {5, 80, 130, 90}},
     CAP_EFFECT_UNKNOWN, 0},
    {"nothing lowered", {{20, 0, 130, 90}}, CAP_EFFECT_OFF, 0},
    // A counter that fails: its readings count for nothing; failing a whole window, what was
    // seen is forgotten.
    {"failing samples between busy ones", {{8, 80, 130, 90}, {4, 80, 0, 0, false},
     {7, 80, 130, 90}}, CAP_EFFECT_UNKNOWN, 0},
    {"failing after a verdict, briefly", {{15, 80, 130, 90}, {10, 80, 0, 0, false}},
     CAP_EFFECT_NONE, 130},
    {"failing after a verdict, for 30 s", {{15, 80, 130, 90}, {16, 80, 0, 0, false}},
     CAP_EFFECT_UNKNOWN, 0},
    {"no counters", {{20, 80, 0, 0, false, false}}, CAP_EFFECT_UNAVAILABLE, 0},
    {"no counters, then none lowered", {{20, 80, 0, 0, false, false}, {1, 0, 0, 0}},
     CAP_EFFECT_OFF, 0},
};
// clang-format on

TEST(CapEffect, WhatTheCheckSaysOfEachRun)
{
    for (const Case& c : kCases) {
        CapEffectCheck check{};
        CapVerdict verdict = {};
        uint64_t now = 1000;
        for (const Stretch& stretch : c.stretches) {
            for (int i = 0; i < stretch.readings; ++i, now += kIntervalMs) {
                const ProcessorSample sample = {stretch.ok, stretch.performance, stretch.busy};
                verdict =
                    check.Observe(stretch.cap, stretch.cap != 0, stretch.available, sample, now);
            }
        }
        EXPECT_EQ(c.effect, verdict.effect) << c.name;
        EXPECT_EQ(c.performance, verdict.performance) << c.name;
    }
}

// What it was seen on: the busy readings' mean performance, and the window's mean busy share
// (idle readings included); a utility above 100 counts as 100.
TEST(CapEffect, TheFiguresAreTheWindowsMeans)
{
    CapEffectCheck check{};
    CapVerdict verdict = {};
    uint64_t now = 0;
    for (int i = 0; i < 15; ++i, now += kIntervalMs) {
        const ProcessorSample sample = {true, i % 2 == 0 ? 120 : 140, i < 13 ? 130 : 0};
        verdict = check.Observe(80, true, true, sample, now);
    }
    EXPECT_EQ(CAP_EFFECT_NONE, verdict.effect);
    EXPECT_EQ(129, verdict.performance); // 7 × 120 and 6 × 140 over 13 busy readings
    EXPECT_EQ(87, verdict.busy);         // 13 × 100 and 2 × 0 over 15
}

} // namespace
