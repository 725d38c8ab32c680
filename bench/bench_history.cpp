// The reading history and the log reader: adding one poll, a day's window
// reduced for a 1,200-pixel chart, a week's log read back, the same log
// exported as CSV and as JSON Lines, and its link quality report.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <ctime>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>

#include "bench/sample_readings.h"
#include "charts/reading_history.h"
#include "logbook/log_export.h"
#include "logbook/log_reader.h"
#include "logbook/measurement_log.h"
#include "logbook/quality_report.h"

namespace {

constexpr int kDayPolls = 86400;
constexpr int kWeekLines = 604800;
constexpr int kChartWidth = 1200;
constexpr double kStart = 1.8e9;

void BM_AddPoll(benchmark::State& state) {
    ReadingHistory history;
    const DeviceReadings r = readings_at(1);
    double t = kStart;
    for (auto _ : state) {
        history.add(t, r, true);
        t += 1;
    }
    state.counters["bytes_held"] = static_cast<double>(history.memory_bytes());
}
BENCHMARK(BM_AddPoll);

const ReadingHistory& day_history() {
    static const ReadingHistory* history = [] {
        auto* h = new ReadingHistory;
        for (int i = 0; i < kDayPolls; ++i) {
            h->add(kStart + i, readings_at(i), i % 500 != 0);
        }
        return h;
    }();
    return *history;
}

void BM_ExtractDayOneSeries(benchmark::State& state) {
    const ReadingHistory& history = day_history();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            history.extract(Series::kTemperature1, kStart, kStart + kDayPolls, kChartWidth));
    }
    state.counters["bytes_per_day"] = static_cast<double>(history.memory_bytes());
}
BENCHMARK(BM_ExtractDayOneSeries)->Unit(benchmark::kMicrosecond);

void BM_ExtractDayEverySeries(benchmark::State& state) {
    const ReadingHistory& history = day_history();
    for (auto _ : state) {
        for (int s = 0; s < kSeriesCount; ++s) {
            benchmark::DoNotOptimize(
                history.extract(static_cast<Series>(s), kStart, kStart + kDayPolls, kChartWidth));
        }
    }
}
BENCHMARK(BM_ExtractDayEverySeries)->Unit(benchmark::kMicrosecond);

// A week at one poll a second as the console writes it: a header block a
// day, one poll in a thousand without answer.
const std::string& week_log() {
    static const std::string* text = [] {
        auto* out = new std::string;
        const std::time_t start = 1796738709;
        for (int i = 0; i < kWeekLines; ++i) {
            const DeviceReadings r = readings_at(i);
            if (i % kDayPolls == 0) {
                *out += log_header_text(r);
            }
            *out += log_line_text(r, i % 1000 != 999, start + i);
        }
        std::string crlf;
        crlf.reserve(out->size() + out->size() / 100 * 2);
        for (char c : *out) {
            if (c == '\n') {
                crlf += '\r';
            }
            crlf += c;
        }
        out->swap(crlf);
        return out;
    }();
    return *text;
}

void BM_ReadWeekLog(benchmark::State& state) {
    const std::string& text = week_log();
    for (auto _ : state) {
        std::istringstream in(text);
        uint64_t records = 0;
        read_measurement_log(
            in, [&](const LogRecord&) { ++records; }, nullptr);
        benchmark::DoNotOptimize(records);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReadWeekLog)->Unit(benchmark::kMillisecond);

void BM_ReadWeekLogIntoHistory(benchmark::State& state) {
    const std::string& text = week_log();
    for (auto _ : state) {
        std::istringstream in(text);
        ReadingHistory history;
        read_measurement_log(in, history, nullptr);
        benchmark::DoNotOptimize(history.polls());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReadWeekLogIntoHistory)->Unit(benchmark::kMillisecond);

// Counts what is written to it and keeps nothing.
class CountingBuffer : public std::streambuf {
public:
    uint64_t bytes = 0;

protected:
    std::streamsize xsputn(const char*, std::streamsize n) override {
        bytes += static_cast<uint64_t>(n);
        return n;
    }
    int_type overflow(int_type c) override {
        ++bytes;
        return traits_type::not_eof(c);
    }
};

// The export of the week's log: the reader's bytes per second, with the
// table's size beside it.
void BM_ExportWeekLog(benchmark::State& state, ExportFormat format) {
    const std::string& text = week_log();
    CountingBuffer table;
    for (auto _ : state) {
        std::istringstream in(text);
        std::ostream out(&table);
        export_log(in, out, format, nullptr);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
    state.counters["table_bytes"] =
        static_cast<double>(table.bytes) / static_cast<double>(state.iterations());
}
BENCHMARK_CAPTURE(BM_ExportWeekLog, csv, ExportFormat::kCsv)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportWeekLog, json, ExportFormat::kJson)->Unit(benchmark::kMillisecond);

// The link quality report of the week's log in 15-minute bins: the reader's
// bytes per second, to set beside the export's.
void BM_ReportWeekLog(benchmark::State& state) {
    const std::string& text = week_log();
    for (auto _ : state) {
        std::istringstream in(text);
        QualityReport report(ReportOptions{});
        report.read(in, nullptr);
        report.finish();
        CountingBuffer table;
        std::ostream out(&table);
        report.write(out);
        benchmark::DoNotOptimize(table.bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReportWeekLog)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
