// The log as a clean table: a mixed log exported, its values against the
// panes of the same poll, and the export's text forms.
#include "logbook/log_export.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "device/panes.h"
#include "device/row_schema.h"
#include "environment.h"
#include "logbook/measurement_log.h"

namespace {

// 2026-12-08 14:05:09 UTC
constexpr std::time_t kNow = 1796738709;

DeviceReadings sample(int32_t family) {
    DeviceReadings r;
    r.family_rate_mbps = family;
    const char* ids[8] = {"Tarvik", "RL-KTR-350", "SN \"42\", rev B", "fw 1.2", "", "", "", "KEY"};
    for (int i = 0; i < 8; ++i) {
        std::snprintf(r.id_text[i], sizeof r.id_text[i], "%s", ids[i]);
    }
    r.temperature[0] = 2350;
    r.temperature[2] = -50;
    r.receiver_voltage = 5120;
    r.agc_voltage = 2500;
    r.attenuation = 155;
    r.humidity = 42;
    r.supply_24v = 24100;
    r.supply_minus_12v = 12100;
    r.supply_3v3 = 3300;
    r.total_current = 1234;
    r.control_state[0] = 1;
    r.phy_to_radio_rate = 1000;
    r.phy_to_radio_total = 12345;
    r.radio_to_phy_rate = 500;
    r.radio_to_phy_total = 500.5;
    r.fec_error_count = 7;
    r.fec_fail_count = 3;
    r.fec_fail_since_reset = 3;
    r.packet_error_ratio = 0.006;
    r.modem_status = 3;
    r.mse_tenths_db = 123;
    r.receiver_lock = ReceiverLock::kLocked;
    r.link_quality = LinkQuality::kBad;
    r.up_link_mbps = 350;
    r.down_link_mbps = 1000;
    r.drop_q1_count = 4294967295u;
    r.drop_q1_since_reset = 4294967295u;
    r.drop_tx_count = 2;
    r.drop_tx_since_reset = 2;
    r.frequency_offset_hz = -2500;
    return r;
}

struct Exported {
    std::string text;
    std::vector<std::string> problems;
};

Exported exported(const std::string& log, ExportFormat format) {
    std::istringstream in(log);
    std::ostringstream out;
    Exported result;
    export_log(in, out, format,
               [&](const std::string& problem) { result.problems.push_back(problem); });
    result.text = out.str();
    return result;
}

class LogExportTest : public testing::Test {
protected:
    void SetUp() override { use_utc_time_zone(); }
};

TEST_F(LogExportTest, MixedLogBecomesOneTable) {
    const DeviceReadings r350 = sample(kFamily350);
    DeviceReadings r1000 = sample(kFamily1000);
    std::snprintf(r1000.id_text[1], sizeof r1000.id_text[1], "RL-VXL-1000");
    const std::string log = log_header_text(r350) + log_line_text(r350, true, kNow) +
                            log_line_text(r350, false, kNow + 1) + "08.12.26 14:05:1x\t1\n" +
                            log_header_text(r1000) + log_line_text(r1000, true, kNow + 2);

    const Exported csv = exported(log, ExportFormat::kCsv);
    EXPECT_EQ(csv.problems, (std::vector<std::string>{"line 14: bad timestamp"}));
    const std::string ids350 = ",Tarvik,RL-KTR-350,\"SN \"\"42\"\", rev B\",fw 1.2,,,\r\n";
    const std::string ids1000 = ",Tarvik,RL-VXL-1000,\"SN \"\"42\"\", rev B\",fw 1.2,,,\r\n";
    const std::string common =
        "23.5,0,-0.5,5.1,0,2.5,15.5,42,24.1,0,0,-12.1,0,3.3,0,1234,1,0,1000,"
        "12345,500,500.5,";
    EXPECT_EQ(csv.text,
              "section,time,answered,family,temperature_1_degC,temperature_2_degC,"
              "temperature_3_degC,receiver_voltage_V,transmitter_voltage_V,agc_voltage_V,"
              "attenuation_dB,humidity,supply_24v_V,supply_12v_V,supply_9v_V,supply_minus_12v_V,"
              "supply_5v_V,supply_3v3_V,supply_5v_standby_V,total_current_mA,radio_switch,"
              "heater_switch,phy_to_radio_rate_pps,phy_to_radio_total,radio_to_phy_rate_pps,"
              "radio_to_phy_total,fec_errors,fec_failures,packet_error_ratio,modem_status,"
              "dropped_phy_to_radio,dropped_radio_to_phy,up_link_Mbps,down_link_Mbps,mse_dB,"
              "frequency_offset_Hz,id1,id2,id3,id4,id5,id6,id7\r\n"
              "1,2026-12-08T14:05:09+00:00,true,350," +
                  common + ",3,0.006,,4294967295,2,350,1000,12.3,-2500" + ids350 +
                  "1,2026-12-08T14:05:10+00:00,false,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,," + ids350 +
                  "2,2026-12-08T14:05:11+00:00,true,1000," + common + "7,3,0.006,3,,,,,," +
                  ids1000);

    const Exported json = exported(log, ExportFormat::kJson);
    EXPECT_EQ(json.problems, csv.problems);
    const std::string device1 =
        "{\"kind\":\"device\",\"section\":1,\"family\":350,\"id1\":\"Tarvik\",\"id2\":"
        "\"RL-KTR-350\",\"id3\":\"SN \\\"42\\\", rev B\",\"id4\":\"fw 1.2\",\"id5\":\"\","
        "\"id6\":\"\",\"id7\":\"\"}\n";
    EXPECT_EQ(json.text.substr(0, device1.size()), device1);
    EXPECT_NE(json.text.find("{\"kind\":\"poll\",\"section\":1,\"time\":\"2026-12-08T14:05:10+00:00"
                             "\",\"answered\":false}\n"),
              std::string::npos);
    EXPECT_NE(json.text.find(",\"mse_dB\":null,\"frequency_offset_Hz\":null}\n"), std::string::npos)
        << "family 1000 logs neither";
    EXPECT_NE(json.text.find("\"supply_minus_12v_V\":-12.1,"), std::string::npos);
}

// The value after "=" on the pane line whose label is `label`, or NaN.
double pane_value(const std::string& pane, const std::string& label) {
    std::istringstream lines(pane);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t sign = line.find('=');
        if (sign == std::string::npos) {
            continue;
        }
        std::string name = line.substr(0, sign);
        name.erase(name.find_last_not_of(" \t") + 1);
        if (name == label) {
            return std::strtod(line.c_str() + sign + 1, nullptr);
        }
    }
    return std::nan("");
}

TEST_F(LogExportTest, EveryExportedValueIsWhatThePanesShowedAtThatPoll) {
    for (int32_t family : {kFamily350, kFamily1000}) {
        const DeviceReadings r = sample(family);
        std::string panes;
        for (const ReadingPane& pane : kReadingPanes) {
            panes += pane.text(r) + "\r\n";
        }
        const Exported json =
            exported(log_header_text(r) + log_line_text(r, true, kNow), ExportFormat::kJson);
        ASSERT_TRUE(json.problems.empty());
        int compared = 0;
        for (const ColumnSpec& column : kColumns) {
            const size_t key = json.text.find("\"" + export_heading(column) + "\":");
            ASSERT_NE(key, std::string::npos) << column.name;
            const size_t at = json.text.find(':', key) + 1;
            if (json.text.compare(at, 4, "null") == 0) {
                continue;
            }
            double shown = pane_value(panes, column.pane);
            if (std::isnan(shown)) {
                continue;  // a check box or a reading shown nowhere
            }
            // The one reading the pane shows in another unit than the log.
            if (column.column == Column::kFrequencyOffset) {
                shown *= kHertzPerMegahertz;
            }
            EXPECT_DOUBLE_EQ(std::strtod(json.text.c_str() + at, nullptr), shown)
                << family << " " << column.name;
            ++compared;
        }
        // All but the two check boxes, the humidity and family 1000's FEC errors.
        EXPECT_EQ(compared, family == kFamily350 ? 27 : 22);
    }
}

TEST_F(LogExportTest, TimesCarryTheirOffsetFromUtc) {
    const struct {
        const char* zone;
        const char* text;
    } cases[] = {
        {"UTC0", "2026-12-08T14:05:09+00:00"},
        {"XXX-2", "2026-12-08T16:05:09+02:00"},
        {"XXX+3:30", "2026-12-08T10:35:09-03:30"},
    };
    for (const auto& c : cases) {
        set_environment("TZ", c.zone);
        use_local_time_zone_setting();
        EXPECT_EQ(iso8601_local_time(kNow), c.text) << c.zone;
    }
    // Through the export, whose lines of one local hour share a conversion:
    // an offset of half an hour moves the minutes too.
    set_environment("TZ", "XXX-5:30");
    use_local_time_zone_setting();
    const DeviceReadings r = sample(kFamily350);
    std::string log = log_header_text(r);
    for (std::time_t t : {kNow, kNow + 1, kNow + 1500, kNow + 1611, kNow + 3600}) {
        log += log_line_text(r, false, t);
    }
    const std::string json = exported(log, ExportFormat::kJson).text;
    for (const char* time :
         {"2026-12-08T19:35:09+05:30", "2026-12-08T19:35:10+05:30", "2026-12-08T20:00:09+05:30",
          "2026-12-08T20:02:00+05:30", "2026-12-08T20:35:09+05:30"}) {
        EXPECT_NE(json.find(time), std::string::npos) << time;
    }
    use_utc_time_zone();
}

TEST(ExportText, JsonStringsAreValidUtf8) {
    const struct {
        std::string text;
        std::string json;
    } cases[] = {
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"line\nbreak\x01\x7f", "\"line\\u000abreak\\u0001\\u007f\""},
        {"M\xc3\xbcller \xe2\x82\xac", "\"M\xc3\xbcller \xe2\x82\xac\""},
        {"M\xfcller", "\"M\\u00fcller\""},              // Latin-1
        {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},  // a surrogate
        {"cut \xe2\x82", "\"cut \\u00e2\\u0082\""},
    };
    for (const auto& c : cases) {
        std::string out;
        append_json_text(out, c.text);
        EXPECT_EQ(out, c.json);
    }
}

TEST(ExportText, CsvCellsAreQuotedAndNeverFormulas) {
    const struct {
        std::string text;
        std::string csv;
    } cases[] = {
        {"SN \"42\", rev B", "\"SN \"\"42\"\", rev B\""},
        {"plain", "plain"},
        {"", ""},
        {"a=b", "a=b"},
        {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
        {"+cmd|' /C calc'!A0", "'+cmd|' /C calc'!A0"},
        {"-2+3+cmd", "'-2+3+cmd"},
        {"@SUM(1+1)", "'@SUM(1+1)"},
        {"\tx", "'\tx"},
        {"\rx", "\"'\rx\""},
    };
    for (const auto& c : cases) {
        std::string out;
        append_csv_text(out, c.text);
        EXPECT_EQ(out, c.csv) << c.text;
    }
}

TEST(ExportText, CountsAreWholeAndTheRestShortest) {
    const struct {
        double value;
        bool whole;
        const char* text;
    } cases[] = {
        {1e15, true, "1000000000000000"}, {4294967295, true, "4294967295"}, {-2500, true, "-2500"},
        {0.006, false, "0.006"},          {-12.1, false, "-12.1"},          {2.5, false, "2.5"},
        {1e-7, false, "1e-07"},
    };
    for (const auto& c : cases) {
        std::string out;
        append_export_number(out, c.value, c.whole);
        EXPECT_EQ(out, c.text);
    }
}

}  // namespace
