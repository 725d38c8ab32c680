// The journal: 30 days of a link that flaps every 10 s (259,200 events)
// read back, and exported as a table, CSV and JSON Lines. The goal: the
// whole export in a second or less.
//   bench_journal --write-journal FILE   writes those 30 days to FILE instead,
//                                        for timing `tarvik --journal-export`
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <streambuf>
#include <string>

#include "logbook/journal.h"
#include "logbook/journal_export.h"

namespace {

constexpr int kDays = 30;
constexpr int kEventSeconds = 10;
constexpr double kStart = 1796868847;  // 2026-12-10 02:14:07 UTC

// The device goes silent and answers again, turn by turn.
std::string flapping_journal(int days) {
    std::string text;
    JournalEvent e;
    e.utc_offset_s = 3600;
    e.address = "10.20.30.40";
    e.serial = "RL350-004711";
    const int events = days * 86400 / kEventSeconds;
    for (int i = 0; i < events; ++i) {
        e.time = kStart + i * kEventSeconds + 0.25;
        if (i % 2 == 0) {
            e.kind = JournalKind::kNoAnswer;
            e.text = "No answer since 03:14:07: no answer from 10.20.30.40: timed out";
            e.fields = {{"since", "2026-12-10T03:14:07+01:00", false},
                        {"cause", "no answer from 10.20.30.40: timed out", false}};
        } else {
            e.kind = JournalKind::kAnswered;
            e.text = "Answered again after 10 s";
            e.fields = {{"outage_s", "10", true}};
        }
        text += journal_line(e);
        text += '\n';
    }
    return text;
}

const std::string& month_text() {
    static const std::string* text = new std::string(flapping_journal(kDays));
    return *text;
}

const std::string& month_file() {
    static const std::string* name = [] {
        auto* path = new std::string(
            (std::filesystem::temp_directory_path() / "tarvik-bench-journal.jsonl").string());
        std::ofstream(*path, std::ios::binary) << month_text();
        return path;
    }();
    return *name;
}

// Output that goes nowhere, as to /dev/null.
class NullBuffer : public std::streambuf {
protected:
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
};

void BM_ReadJournal30Days(benchmark::State& state) {
    const std::string& text = month_text();
    std::uint64_t events = 0;
    for (auto _ : state) {
        std::istringstream in(text);
        events = read_journal(in, "bench", [](const JournalEvent&) {}, {});
    }
    state.counters["events"] = static_cast<double>(events);
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_ReadJournal30Days)->Unit(benchmark::kMillisecond);

void BM_ExportJournal30Days(benchmark::State& state) {
    const auto format = static_cast<JournalExportFormat>(state.range(0));
    const std::string& file = month_file();
    NullBuffer nothing;
    std::ostream out(&nothing);
    JournalExportTotals totals;
    for (auto _ : state) {
        totals = export_journal({file}, JournalFilter{}, format, out, {});
    }
    state.counters["events"] = static_cast<double>(totals.written);
}
BENCHMARK(BM_ExportJournal30Days)
    ->Arg(static_cast<int>(JournalExportFormat::kTable))
    ->Arg(static_cast<int>(JournalExportFormat::kCsv))
    ->Arg(static_cast<int>(JournalExportFormat::kJson))
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write-journal") == 0) {
        std::ofstream out(argv[2], std::ios::binary);
        out << flapping_journal(kDays);
        out.close();
        if (!out) {
            std::fprintf(stderr, "bench_journal: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove(month_file());
    return 0;
}
