// How late an audio thread woke, counted by bucket: each lateness lands in the bucket whose bound
// it stays below, early wakes count as on time, and the text says the counts and the worst.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "wake_histogram.h"  // a private header of the engine

namespace {

TEST(WakeHistogramTest, EachLatenessLandsBelowItsBoundAndTheWorstIsKept) {
    struct Case {
        std::int64_t lateNs;
        const char* counted;  // the bucket's text
    };
    const Case cases[] = {
        {-5000, "<50 us 1"},          {0, "<50 us 1"},       {49999, "<50 us 1"},
        {50000, "<100 us 1"},         {199999, "<200 us 1"}, {999999, "<1 ms 1"},
        {1000000, "<2 ms 1"},         {9999999, "<10 ms 1"}, {10000000, ">=10 ms 1"},
        {3600000000000, ">=10 ms 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lateNs);
        audio::WakeHistogram wakes;
        wakes.record(c.lateNs);
        EXPECT_EQ(wakes.total(), 1u);
        const std::string text = wakes.text();
        EXPECT_NE(text.find(std::string(c.counted) + (c.counted[0] == '>' ? ";" : ",")), std::string::npos) << text;
    }
    audio::WakeHistogram wakes;
    for (std::int64_t ns : {120000, 3000, 812000, 45000}) wakes.record(ns);
    wakes.recordDone(1430000);
    wakes.recordDone(200000);
    EXPECT_EQ(wakes.text(),
              "<50 us 2, <100 us 0, <200 us 1, <500 us 0, <1 ms 1, <2 ms 0, <5 ms 0, <10 ms 0, >=10 ms 0; "
              "worst 812 us; done by 1430 us at worst");
    wakes.reset();
    EXPECT_EQ(wakes.total(), 0u);
    EXPECT_EQ(wakes.worstUs(), 0);
}

}  // namespace
