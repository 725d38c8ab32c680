// The scrape timeout header: what is taken, and the time a scrape then has.
#include "exporter/exporter_server.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

TEST(ExporterServer, TheScrapeTimeoutHeaderIsADecimalInASaneRangeAndTheBudgetIsClamped) {
    const struct {
        const char* header;
        bool ok;
        double budget;
    } cases[] = {
        {"", true, 9.5},  // none: Prometheus's default 10 s
        {"10", true, 9.5},   {"0.8", true, 0.4},
        {"120", true, 60},  // no scrape needs more than a minute
        {"86400", true, 60}, {"86401", false, 0},
        {"1e308", false, 0},  // would overflow the clock's ticks
        {"1e10", false, 0},  {"99999999999999999999", false, 0},
        {"0", false, 0},     {"-1", false, 0},
        {"inf", false, 0},   {"nan", false, 0},
        {"0x10", false, 0},  {" 5", false, 0},
        {"5.", false, 0},    {".5", false, 0},
        {"1.2.3", false, 0},
    };
    for (const auto& c : cases) {
        std::chrono::duration<double> budget{-1};
        ASSERT_EQ(scrape_budget(c.header, &budget), c.ok) << c.header;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(budget.count(), c.budget) << c.header;
        }
    }
}

}  // namespace
