// The text format: label values, and what a failed scrape shows.
#include "exporter/exposition.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ExporterExposition, LabelValuesAreEscapedAndValidUtf8) {
    const struct {
        const char* name;
        std::string text;
        std::string shown;
    } cases[] = {
        {"plain", "RL-KTR-350", "RL-KTR-350"},
        {"escapes", "a\\b\"c\nd", "a\\\\b\\\"c\\nd"},
        {"utf8 kept", "\xC3\xA9t\xE2\x82\xAC", "\xC3\xA9t\xE2\x82\xAC"},
        {"stray octet",
         "a\xFF"
         "b",
         "a\xEF\xBF\xBD"
         "b"},
        {"truncated sequence", "a\xE2\x82", "a\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"overlong form", "\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"surrogate", "\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"nul kept", std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(label_value(c.text), c.shown) << c.name;
    }
}

TEST(ExporterExposition, AFailedScrapeShowsNoDeviceSeriesAndNoPdus) {
    ProbeResult failed;
    failed.requests = 1;
    failed.timeouts = 1;
    failed.values_returned = 7;  // an identification answered before the silence
    failed.values.push_back({Param::kTemperature1, 2500, {}});
    const std::string text = probe_exposition(failed, raw_metrics());
    EXPECT_EQ(text.find("tarvik_snmp_"), std::string::npos) << text;
    EXPECT_NE(text.find("\nsnmp_scrape_pdus_returned 0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nsnmp_scrape_packets_sent 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\ntarvik_probe_success 0\n"), std::string::npos) << text;
}

}  // namespace
