// The quality report of a log written by the console's own log writer: one
// section per device, in each of its forms.
#include "logbook/quality_report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "environment.h"
#include "logbook/measurement_log.h"

namespace {

// 2026-12-08 14:00:00 UTC, a quarter hour's start.
constexpr std::time_t kStart = 1796738400;

DeviceReadings device(int32_t family, const char* model, const char* serial) {
    DeviceReadings r;
    r.family_rate_mbps = family;
    std::snprintf(r.id_text[1], sizeof r.id_text[1], "%s", model);
    std::snprintf(r.id_text[2], sizeof r.id_text[2], "%s", serial);
    r.radio_to_phy_rate = 1000;
    r.up_link_mbps = 350;
    r.down_link_mbps = 350;
    r.modem_status = 1;  // locked
    return r;
}

// Device A (350): 4 clean seconds, then 2 with an errored block each, then
// no answer. Device B (1000): 3 seconds, the last without lock.
std::string mixed_log() {
    std::string log;
    DeviceReadings a = device(kFamily350, "RL-KTR-350", "SN 1");
    log += log_header_text(a);
    for (int s = 0; s <= 6; ++s) {
        a.fec_fail_count = s > 4 ? s - 4 : 0;
        log += log_line_text(a, true, kStart + s);
    }
    log += log_line_text(a, false, kStart + 7);
    DeviceReadings b = device(kFamily1000, "RL-VXL-1000", "SN \"2\", rev B");
    log += log_header_text(b);
    for (int s = 0; s <= 3; ++s) {
        b.modem_status = s == 3 ? 0 : 1;
        log += log_line_text(b, true, kStart + 900 + s);
    }
    return log;
}

std::string report(ReportFormat format) {
    ReportOptions options;
    options.format = format;
    QualityReport quality(options);
    std::istringstream in(mixed_log());
    quality.read(in, [](const std::string& problem) { ADD_FAILURE() << problem; });
    quality.finish();
    std::ostringstream out;
    quality.write(out);
    return out.str();
}

TEST(QualityReport, AMixedLogGivesASectionPerDeviceInEachForm) {
    use_utc_time_zone();
    EXPECT_EQ(
        report(ReportFormat::kJson),
        "{\"kind\":\"bin\",\"device\":\"RL-KTR-350 SN 1\",\"start\":\"2026-12-08T14:00:00+00:00\","
        "\"seconds\":900,\"es\":2,\"ses\":0,\"bbe\":2,\"uas\":0,\"unknown\":1,\"availability\":1}\n"
        "{\"kind\":\"total\",\"device\":\"RL-KTR-350 SN "
        "1\",\"start\":\"2026-12-08T14:00:00+00:00\","
        "\"seconds\":7,\"es\":2,\"ses\":0,\"bbe\":2,\"uas\":0,\"unknown\":1,\"availability\":1}\n"
        "{\"kind\":\"bin\",\"device\":\"RL-VXL-1000 SN \\\"2\\\", rev B\",\"start\":"
        "\"2026-12-08T14:15:00+00:00\",\"seconds\":900,\"es\":1,\"ses\":1,\"bbe\":0,\"uas\":0,"
        "\"unknown\":0,\"availability\":1}\n"
        "{\"kind\":\"total\",\"device\":\"RL-VXL-1000 SN \\\"2\\\", rev B\",\"start\":"
        "\"2026-12-08T14:15:00+00:00\",\"seconds\":3,\"es\":1,\"ses\":1,\"bbe\":0,\"uas\":0,"
        "\"unknown\":0,\"availability\":1}\n");
    EXPECT_EQ(
        report(ReportFormat::kCsv),
        "kind,device,start,seconds,es,ses,bbe,uas,unknown,availability\r\n"
        "bin,RL-KTR-350 SN 1,2026-12-08T14:00:00+00:00,900,2,0,2,0,1,1\r\n"
        "total,RL-KTR-350 SN 1,2026-12-08T14:00:00+00:00,7,2,0,2,0,1,1\r\n"
        "bin,\"RL-VXL-1000 SN \"\"2\"\", rev B\",2026-12-08T14:15:00+00:00,900,1,1,0,0,0,1\r\n"
        "total,\"RL-VXL-1000 SN \"\"2\"\", rev B\",2026-12-08T14:15:00+00:00,3,1,1,0,0,0,1\r\n");
    const std::string table = report(ReportFormat::kTable);
    EXPECT_NE(table.find("RL-KTR-350 SN 1 (family 350), 15-minute bins\n"), std::string::npos)
        << table;
    EXPECT_NE(table.find("Worst bins:\n  2026-12-08 14:15  1 ES, 1 SES, 0 UAS, 100.0000 %\n"),
              std::string::npos)
        << table;
}

}  // namespace
