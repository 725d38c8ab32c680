// The row schema: each family's log writer and reader agree column by
// column, and the documentation of the log names every column as the schema
// does.
#include "device/row_schema.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "environment.h"
#include "logbook/log_reader.h"
#include "logbook/measurement_log.h"

namespace {

// 2026-12-08 14:05:09 UTC
constexpr std::time_t kNow = 1796738709;

std::vector<std::string> fields_of(std::string line) {
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    std::vector<std::string> fields;
    std::istringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t')) {
        fields.push_back(field);
    }
    return fields;
}

DeviceReadings read_back(const std::string& log) {
    DeviceReadings got;
    std::istringstream in(log);
    int records = 0;
    read_measurement_log(
        in,
        [&](const LogRecord& record) {
            got = record.readings;
            ++records;
        },
        [](const std::string& problem) { ADD_FAILURE() << problem; });
    EXPECT_EQ(records, 1);
    return got;
}

TEST(RowSchema, EachFamilysWriterAndReaderAgreeColumnByColumn) {
    use_utc_time_zone();
    for (int32_t family : {kFamily350, kFamily1000}) {
        DeviceReadings zero;
        zero.family_rate_mbps = family;
        const std::string header = log_header_text(zero);
        const std::vector<std::string> zero_fields = fields_of(log_line_text(zero, true, kNow));
        const LogLayout layout = log_layout(family);
        ASSERT_EQ(zero_fields.size(), static_cast<size_t>(layout.count + 1));
        for (int i = 0; i < layout.count; ++i) {
            const ColumnSpec& column = column_spec(layout.slots[i].column);
            SCOPED_TRACE(std::to_string(family) + " " + column.heading);
            DeviceReadings r = zero;
            ASSERT_TRUE(store_logged_value(column, r, 7));
            const std::string line = log_line_text(r, true, kNow);
            // The writer puts the value in this column and nowhere else.
            const std::vector<std::string> fields = fields_of(line);
            ASSERT_EQ(fields.size(), zero_fields.size());
            for (size_t j = 0; j < fields.size(); ++j) {
                if (j == static_cast<size_t>(i) + 1) {
                    EXPECT_EQ(fields[j], log_value_text(column, r));
                    EXPECT_NE(fields[j], zero_fields[j]);
                } else {
                    EXPECT_EQ(fields[j], zero_fields[j]) << "column " << j + 1;
                }
            }
            // The reader takes it from this column into the same field.
            const DeviceReadings got = read_back(header + line);
            for (int k = 0; k < layout.count; ++k) {
                const ColumnSpec& other = column_spec(layout.slots[k].column);
                EXPECT_EQ(device_value(other, got), device_value(other, r)) << other.heading;
            }
        }
    }
}

TEST(RowSchema, ValuesThatDoNotFitTheirFieldAreRefused) {
    const struct {
        Column column;
        double value;
        bool fits;
    } cases[] = {
        {Column::kTemperature1, 21474836.47, true}, {Column::kTemperature1, 21474836.48, false},
        {Column::kDropQ1Count, 4294967295, true},   {Column::kDropQ1Count, 4294967296, false},
        {Column::kDropQ1Count, -1, false},          {Column::kMse, -0.1, false},
        {Column::kFrequencyOffset, -1e15, true},
    };
    for (const auto& c : cases) {
        DeviceReadings r;
        const ColumnSpec& column = column_spec(c.column);
        EXPECT_EQ(store_logged_value(column, r, c.value), c.fits) << column.heading << c.value;
        EXPECT_EQ(device_value(column, r), c.fits ? std::round(c.value * column.scale) : 0);
    }
}

// The documentation's column tables: one row per column, "| `HEADING` |
// `EXPORT` | UNIT | FAMILIES | meaning |" in docs/log.md, and an item per
// column in tarvik-log(5) that gives the heading, the unit and the export
// name.
std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

std::string families_text(FamilySet families) {
    return families == kInBoth ? "both" : families == kIn350 ? "350" : "1000";
}

TEST(RowSchema, TheLogsDocumentationNamesEveryColumnAsTheSchemaDoes) {
    const std::string markdown = file_text(TARVIK_SOURCE_DIR "/docs/log.md");
    const std::string manual = file_text(TARVIK_SOURCE_DIR "/docs/man/tarvik-log.5");
    ASSERT_FALSE(markdown.empty());
    ASSERT_FALSE(manual.empty());
    for (const ColumnSpec& column : kColumns) {
        SCOPED_TRACE(column.heading);
        const std::string unit = column.unit[0] != '\0' ? column.unit : "-";
        const std::string row = std::string("| `") + column.heading + "` | `" +
                                export_heading(column) + "` | " + unit + " | " +
                                families_text(column.families) + " | " + column.meaning + " |\n";
        EXPECT_NE(markdown.find(row), std::string::npos) << row;
        // In roff a "-" is written "\-".
        std::string item = std::string(".B ") + column.heading + "\n" + unit + "; " +
                           families_text(column.families) + "; \\fB" + export_heading(column) +
                           "\\fR: " + column.meaning + ".\n";
        for (size_t at = item.find('-'); at != std::string::npos; at = item.find('-', at + 2)) {
            item.replace(at, 1, "\\-");
        }
        EXPECT_NE(manual.find(item), std::string::npos) << item;
    }
    // Each family's column order, as the writer lays it out.
    for (int32_t family : {kFamily350, kFamily1000}) {
        const LogLayout layout = log_layout(family);
        std::string order = "`Time`";
        for (int i = 0; i < layout.count; ++i) {
            order += std::string(", `") + column_spec(layout.slots[i].column).heading + "`";
        }
        const std::string text = "Family " + std::to_string(family) + " lines have " +
                                 std::to_string(layout.count + 1) + " columns, in this order:\n" +
                                 order + ".\n";
        EXPECT_NE(markdown.find(text), std::string::npos) << text;
    }
}

}  // namespace
