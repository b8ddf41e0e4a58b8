#include "app/ThrottleNotice.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

const uint64_t kMinute = 60 * 1000;

// The modes reported, one a minute from minute 0, and the minutes at which a notice shows.
struct Episode {
    const char* name;
    std::vector<int32_t> modes;
    std::vector<int> notified;
};

const Episode kEpisodes[] = {
    {"one episode, whatever its steps", {0, 1, 2, 1, 2, 1}, {1}},
    {"back at 100 % for less than ten minutes", {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, {1}},
    {"back at 100 % for ten minutes", {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, {1, 12}},
    {"the wait starts again at each return", {0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2}, {1}},
};

TEST(ThrottleNotice, OncePerEpisodeRearmedAfterTenMinutesAt100)
{
    for (const Episode& episode : kEpisodes) {
        SCOPED_TRACE(episode.name);
        ThrottleNotice notice;
        std::vector<int> notified;
        for (size_t minute = 0; minute < episode.modes.size(); ++minute)
            if (notice.Observe(episode.modes[minute], minute * kMinute))
                notified.push_back(static_cast<int>(minute));
        EXPECT_EQ(episode.notified, notified);
    }
}

} // namespace
