#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

#include "installer/UnpackProgress.h"

namespace {

using Sizes = std::vector<uint64_t>;

uint64_t Sum(const Sizes& sizes) {
    return std::accumulate(sizes.begin(), sizes.end(), uint64_t{0});
}

TEST(UnpackProgress, ShareAfterEachEntryRisesAndReaches100OnlyWithTheLast) {
    struct Case {
        const char* name;
        Sizes entries;
        unsigned atStart;
        std::vector<unsigned> afterEach;
    };
    const Case cases[] = {
        {"nothing to unpack", {}, 100, {}},
        {"one entry", {1000}, 0, {100}},
        {"three thirds round down", {1, 1, 1}, 0, {33, 66, 100}},
        {"empty entries at the end", {100, 0, 0}, 0, {99, 99, 100}},
        {"only empty entries", {0, 0}, 0, {0, 100}},
        {"a very large entry between small ones", {10, UINT32_MAX, 10}, 0, {0, 99, 100}},
        {"sizes near the counter's limit", {uint64_t(1) << 62, uint64_t(1) << 62, 1}, 0, {50, 99, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UnpackProgress progress(Sum(c.entries), c.entries.size());
        EXPECT_EQ(c.atStart, progress.percent());
        std::vector<unsigned> seen;
        for (uint64_t size : c.entries) {
            progress.EntryDone(size);
            seen.push_back(progress.percent());
        }
        EXPECT_EQ(c.afterEach, seen);
    }
}

TEST(UnpackProgress, ManySmallEntriesNeverGoBackAndEndAt100) {
    const Sizes entries(5000, 7);
    UnpackProgress progress(Sum(entries), entries.size());
    unsigned last = progress.percent();
    for (size_t i = 0; i < entries.size(); ++i) {
        progress.EntryDone(entries[i]);
        const unsigned now = progress.percent();
        ASSERT_LE(last, now) << i;
        ASSERT_EQ(i + 1 == entries.size(), now == 100) << i;
        last = now;
    }
}

// Entries finished one after the other, msPerEntry apart from startMs on; the shares that Due lets through.
TEST(UnpackProgress, ShownAtMostEveryIntervalExceptTheFirstAnd100) {
    struct Case {
        const char* name;
        Sizes entries;
        uint32_t startMs;
        uint32_t msPerEntry;
        std::vector<unsigned> shown;
    };
    const Case cases[] = {
        {"nothing to unpack", {}, 5, 1, {100}},
        {"a thousandth per millisecond", Sizes(1000, 1), 0, 1, {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}},
        {"across the clock's wrap", Sizes(1000, 1), UINT32_MAX - 149, 1, {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}},
        {"100 at once, without waiting", Sizes(60, 1), 0, 2, {0, 83, 100}},
        {"slow entries, each shown", Sizes(4, 1), 0, 500, {0, 25, 50, 75, 100}},
        {"an unchanged share is not shown again", {0, 0, 9}, 0, 300, {0, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UnpackProgress progress(Sum(c.entries), c.entries.size());
        std::vector<unsigned> shown;
        uint32_t now = c.startMs;
        if (progress.Due(now))
            shown.push_back(progress.percent());
        for (uint64_t size : c.entries) {
            now += c.msPerEntry;
            progress.EntryDone(size);
            if (progress.Due(now))
                shown.push_back(progress.percent());
        }
        EXPECT_FALSE(progress.Due(now + UnpackProgress::kIntervalMs)) << "100 is shown once";
        EXPECT_EQ(c.shown, shown);
    }
}

}  // namespace
