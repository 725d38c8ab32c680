// Fuzzes the measurement log reader with arbitrary files, read into a
// reading history as a trend chart would. What must hold, besides no crash,
// leak or undefined behaviour:
// - every line is counted once, as the input's line feeds say;
// - a line gives a record or a report at most, never both;
// - each report names a line that exists, as "line N: reason";
// - every record's time is a whole number of seconds;
// - every value the history holds can be drawn: finite, within
//   kLargestChartValue;
// - the same input exported, as CSV or JSON Lines, reads the same records
//   and writes at least a line for each;
// - its link quality report's bins add up to its totals, never with more
//   severely errored seconds than errored ones or an availability outside 0..1.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "charts/reading_history.h"
#include "logbook/log_export.h"
#include "logbook/log_reader.h"
#include "logbook/quality_report.h"

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_log_reader: %s\n", what);
        std::abort();
    }
}

uint64_t count_lines(const std::string& text) {
    uint64_t lines = 0;
    for (char c : text) {
        lines += c == '\n';
    }
    return lines + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const uint64_t lines = count_lines(text);

    std::istringstream in(text);
    uint64_t records = 0;
    uint64_t problems = 0;
    ReadingHistory history;
    const LogReadTotals totals = read_measurement_log(
        in,
        [&](const LogRecord& record) {
            ++records;
            require(std::isfinite(record.seconds) && record.seconds == std::floor(record.seconds),
                    "a record's time is not whole seconds");
            history.add(record.seconds, record.readings, record.succeeded,
                        logged_series(record.readings.family_rate_mbps));
        },
        [&](const std::string& problem) {
            ++problems;
            unsigned long long number = 0;
            char colon = 0;
            require(std::sscanf(problem.c_str(), "line %llu%c", &number, &colon) == 2 &&
                        colon == ':' && number >= 1 && number <= lines,
                    "a report that names no line of the input");
        });
    require(totals.lines == lines, "lines miscounted");
    require(totals.records == records && totals.problems == problems, "totals differ");
    require(records + problems <= lines, "more results than lines");
    if (history.held_polls() > 0) {
        const ReadingHistory::TimeSpan span = history.held_span();
        for (int s = 0; s < kSeriesCount; ++s) {
            for (const ChartPoint& p :
                 history.extract(static_cast<Series>(s), span.earliest - 1, span.latest + 1, 64)) {
                require(std::isnan(p.value) || std::fabs(p.value) <= kLargestChartValue,
                        "a value a chart cannot draw");
            }
        }
    }
    for (ExportFormat format : {ExportFormat::kCsv, ExportFormat::kJson}) {
        std::istringstream again(text);
        std::ostringstream table;
        const LogReadTotals exported = export_log(again, table, format, nullptr);
        require(exported.records == records, "the export read other records");
        const std::string out = table.str();
        uint64_t rows = 0;
        for (char c : out) {
            rows += c == '\n';
        }
        if (format == ExportFormat::kCsv) {
            require(rows >= records + 1, "a record without its row");
        } else {
            require(rows >= records, "a record without its object");
        }
    }
    for (int bin : {900, 86400}) {
        std::istringstream again(text);
        ReportOptions options;
        options.bin_seconds = bin;
        options.format = ReportFormat::kJson;
        QualityReport report(options);
        report.read(again, nullptr);
        report.finish();
        for (const DeviceQuality& d : report.devices()) {
            QualityCounts sum;
            for (const auto& b : d.quality.bins()) {
                sum += b.second;
                require(b.second.ses <= b.second.es, "more SES than ES in a bin");
                const double a = b.second.availability();
                require(a == -1.0 || (a >= 0 && a <= 1), "an availability out of range");
            }
            const QualityCounts total = d.quality.totals();
            require(sum.es == total.es && sum.uas == total.uas && sum.unknown == total.unknown &&
                        sum.available == total.available,
                    "the bins do not add up to the totals");
        }
        std::ostringstream out;
        report.write(out);
    }
    return 0;
}
