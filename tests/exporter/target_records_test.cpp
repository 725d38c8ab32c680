// The targets' records: kept while scraped, dropped when idle, bounded.
#include "exporter/target_records.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ExporterTargetRecords, IdleRecordsAreDroppedAndNoMoreThanTheMostAreKept) {
    const ProbeClock::time_point start{};
    TargetRecords records(2, std::chrono::seconds(60));
    const struct {
        int second;
        const char* key;
        bool taken;
        size_t size;
        std::vector<std::string> dropped;
    } steps[] = {
        {0, "a:161", true, 1, {}},
        {10, "b:161", true, 2, {}},
        {20, "c:161", false, 2, {}},        // full: refused, nothing dropped
        {50, "a:161", true, 2, {}},         // a scrape keeps its record
        {70, "c:161", true, 2, {"b:161"}},  // b idle 60 s
        {71, "d:161", false, 2, {}},
        {129, "d:161", true, 2, {"a:161"}},
        {200, "e:161", true, 1, {"c:161", "d:161"}},
    };
    for (const auto& s : steps) {
        std::vector<std::string> dropped;
        const auto record =
            records.take(s.key, "quolen", start + std::chrono::seconds(s.second), &dropped);
        EXPECT_EQ(record != nullptr, s.taken) << s.second << " " << s.key;
        EXPECT_EQ(records.size(), s.size) << s.second;
        EXPECT_EQ(dropped, s.dropped) << s.second;
    }
    std::vector<std::string> dropped;
    const auto first = records.take("e:161", "quolen", start + std::chrono::seconds(201), &dropped);
    EXPECT_EQ(first, records.take("e:161", "other", start + std::chrono::seconds(202), &dropped));
    EXPECT_TRUE(records.holds("e:161", first));
    records.take("f:161", "quolen", start + std::chrono::seconds(300), &dropped);
    EXPECT_FALSE(records.holds("e:161", first));
}

}  // namespace
