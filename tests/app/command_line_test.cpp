// The command line: what each form runs, and what is refused.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "logbook/journal.h"

namespace {

struct Parsed {
    bool ok;
    CommandLine line;
    std::string error;
};

Parsed parse(std::vector<const char*> args) {
    args.insert(args.begin(), "tarvik");
    Parsed p;
    p.ok = parse_command_line(static_cast<int>(args.size()), args.data(), &p.line, &p.error);
    return p;
}

TEST(CommandLine, FormsAndTheirModes) {
    const struct {
        std::vector<const char*> args;
        RunMode mode;
    } cases[] = {
        {{}, RunMode::kWindow},
        {{"--demo"}, RunMode::kDemo},
        {{"--port", "1161"}, RunMode::kWindow},
        {{"--headless", "--address", "10.0.0.1"}, RunMode::kHeadless},
        {{"--demo", "--headless"}, RunMode::kHeadless},
        {{"--demo", "--headless", "--format", "line"}, RunMode::kHeadless},
        {{"--demo", "--replay", "field.log"}, RunMode::kDemo},
        {{"--replay", "field.log", "--demo", "--headless"}, RunMode::kHeadless},
        {{"--address", "10.0.0.1:1161", "--community", "c", "--interval", "5"}, RunMode::kWindow},
        {{"--log", "run.log"}, RunMode::kWindow},
        {{"--demo", "--log", "run.log"}, RunMode::kDemo},
        {{"--help"}, RunMode::kHelp},
        {{"--version"}, RunMode::kVersion},
        {{"--plot", "run.log"}, RunMode::kPlot},
        {{"--port", "1161", "--plot", "run.log"}, RunMode::kPlot},
        {{"--export", "run.log"}, RunMode::kExport},
        {{"--json", "--export", "run.log", "--out", "t.json"}, RunMode::kExport},
        {{"--journal-export"}, RunMode::kJournalExport},
    };
    for (const auto& c : cases) {
        const Parsed p = parse(c.args);
        ASSERT_TRUE(p.ok) << p.error;
        EXPECT_EQ(p.line.mode, c.mode) << (c.args.empty() ? "(none)" : c.args[0]);
    }
}

TEST(CommandLine, TheJournalEachConsoleAppendsTo) {
    const std::string user = default_journal_path();
    const struct {
        std::vector<const char*> args;
        std::string journal;
    } cases[] = {
        {{}, user},
        {{"--headless", "--address", "h"}, user},
        {{"--demo"}, ""},  // a simulated device's events are no one's
        {{"--demo", "--headless", "--journal", "demo.jsonl"}, "demo.jsonl"},
        {{"--headless", "--address", "h", "--journal", ""}, ""},
        {{"--journal", "mine.jsonl"}, "mine.jsonl"},
        {{"--plot", "run.log", "--journal", "j.jsonl"}, "j.jsonl"},
    };
    for (const auto& c : cases) {
        const Parsed p = parse(c.args);
        ASSERT_TRUE(p.ok) << p.error;
        EXPECT_EQ(journal_path(p.line), c.journal) << c.args.size();
    }
}

TEST(CommandLine, HeadlessOptionsFillTheFields) {
    const Parsed p = parse({"--headless", "--address", "dev:1161", "--port", "2000", "--community",
                            "public", "--interval", " 250", "--log", "run.log", "--polls", "7"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.line.headless.address, "dev:1161");
    EXPECT_EQ(p.line.headless.port, 2000);
    EXPECT_EQ(p.line.headless.community, "public");
    EXPECT_EQ(p.line.headless.interval, " 250") << "taken as typed, like the field";
    EXPECT_EQ(p.line.headless.log_file, "run.log");
    EXPECT_EQ(p.line.headless.polls, 7);

    const Parsed defaults = parse({"--headless", "--address", "10.0.0.1"});
    EXPECT_EQ(defaults.line.headless.community, "quolen");
    EXPECT_EQ(defaults.line.headless.interval, "1000");
    EXPECT_EQ(defaults.line.headless.log_file, "");
    EXPECT_EQ(defaults.line.headless.port, 161);
    EXPECT_EQ(defaults.line.headless.polls, 0) << "until a signal";
}

TEST(CommandLine, PlotNamesTheLog) {
    const Parsed p = parse({"--plot", "old run.log"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.line.plot_file, "old run.log");
}

TEST(CommandLine, PlotToAFileTakesItsSizeAndTime) {
    const struct {
        std::vector<const char*> args;
        int width, height;
        double span, length;  // length: to - from
    } cases[] = {
        {{"--plot", "a.log", "--save", "a.SVG"}, 1200, 1400, 0, 0},
        {{"--plot", "a.log", "--save", "a.png", "--size", "800x600"}, 800, 600, 0, 0},
        {{"--plot", "a.log", "--save", "a.svg", "--span", "90s"}, 1200, 1400, 90, 0},
        {{"--plot", "a.log", "--save", "a.svg", "--span", "2h"}, 1200, 1400, 7200, 0},
        {{"--plot", "a.log", "--save", "a.svg", "--span", "1d"}, 1200, 1400, 86400, 0},
        {{"--plot", "a.log", "--save", "a.svg", "--span", "600"}, 1200, 1400, 600, 0},
        {{"--plot", "a.log", "--save", "a.svg", "--from", "2026-12-09 10:40", "--to",
          "2026-12-09T10:41:30"},
         1200,
         1400,
         0,
         90},
    };
    for (const auto& c : cases) {
        const Parsed p = parse(c.args);
        ASSERT_TRUE(p.ok) << p.error;
        EXPECT_EQ(p.line.mode, RunMode::kPlot);
        EXPECT_EQ(p.line.plot_save, c.args[3]);
        EXPECT_EQ(p.line.plot_width, c.width);
        EXPECT_EQ(p.line.plot_height, c.height);
        EXPECT_EQ(p.line.plot_span, c.span);
        EXPECT_EQ(p.line.plot_to - p.line.plot_from, c.length);
    }
}

TEST(CommandLine, ReportOptions) {
    const Parsed p = parse({"--report", "a.log", "b.log", "--bin", "24h", "--json", "--save",
                            "q.png", "--out", "q.json", "--from", "2026-12-09 10:40"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.line.mode, RunMode::kReport);
    EXPECT_EQ(p.line.report_files, (std::vector<std::string>{"a.log", "b.log"}));
    EXPECT_EQ(p.line.report.bin_seconds, 86400);
    EXPECT_EQ(p.line.report.format, ReportFormat::kJson);
    EXPECT_EQ(p.line.report_save, "q.png");
    EXPECT_EQ(p.line.export_out, "q.json");
    EXPECT_GT(p.line.report.from, 0);
    EXPECT_EQ(p.line.report.to, 0) << "to the logs' end";
}

TEST(CommandLine, JournalExportOptions) {
    const Parsed p =
        parse({"--journal-export", "j.2.jsonl", "j.jsonl", "--device", "A123", "--csv", "--from",
               "2026-12-09 10:40", "--to", "2026-12-10 10:40", "--out", "j.csv"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.line.journal_export_files, (std::vector<std::string>{"j.2.jsonl", "j.jsonl"}));
    EXPECT_EQ(p.line.journal_filter.device, "A123");
    EXPECT_EQ(p.line.journal_format, JournalExportFormat::kCsv);
    EXPECT_EQ(p.line.journal_filter.to - p.line.journal_filter.from, 86400);
    EXPECT_EQ(p.line.export_out, "j.csv");
    const Parsed chosen = parse({"--journal-export", "--journal", "mine.jsonl", "--json"});
    ASSERT_TRUE(chosen.ok) << chosen.error;
    EXPECT_EQ(chosen.line.journal_file, "mine.jsonl");
    EXPECT_EQ(chosen.line.journal_format, JournalExportFormat::kJson);
}

TEST(CommandLine, ExportAndFormatOptions) {
    const Parsed csv = parse({"--export", "run.log"});
    ASSERT_TRUE(csv.ok) << csv.error;
    EXPECT_EQ(csv.line.export_file, "run.log");
    EXPECT_FALSE(csv.line.export_json);
    EXPECT_EQ(csv.line.export_out, "") << "standard output";
    const Parsed json = parse({"--export", "run.log", "--csv", "--json", "--out", "t.json"});
    ASSERT_TRUE(json.ok) << json.error;
    EXPECT_TRUE(json.line.export_json) << "the last of --csv and --json counts";
    EXPECT_EQ(json.line.export_out, "t.json");
    for (const auto& [name, format] :
         {std::pair{"panes", TerminalFormat::kPanes}, std::pair{"line", TerminalFormat::kLine},
          std::pair{"json", TerminalFormat::kJson}}) {
        const Parsed p = parse({"--headless", "--address", "h", "--format", name});
        ASSERT_TRUE(p.ok) << p.error;
        EXPECT_EQ(p.line.headless.format, format) << name;
    }
}

TEST(CommandLine, RefusesWhatItDoesNotTake) {
    const std::vector<std::vector<const char*>> cases = {
        {"--bogus"},
        {"--headless"},
        {"--demo", "--address", "10.0.0.1"},
        {"--plot", "run.log", "--community", "c"},
        {"--address", "10.0.0.1", "--polls", "1"},
        {"--demo", "--format", "line"},
        {"--headless", "--address"},
        {"--port", "0"},
        {"--port", "65536"},
        {"--port", "16x"},
        {"--port", "-1"},
        {"--headless", "--address", "h", "--polls", "0"},
        {"--headless", "--address", "h", "--polls", "many"},
        {"--headless", "--address", "h", "--journal"},
        {"--plot", "run.log", "--log", "x.log"},
        {"--log", "x.log", "--polls", "3"},
        {"--plot"},
        {"--plot", "run.log", "--demo"},
        {"--replay", "field.log"},
        {"--demo", "--replay"},
        {"--headless", "--address", "h", "--plot", "run.log"},
        {"--headless", "--address", "h", "--interval", "abc"},
        {"--headless", "--address", "h", "--interval", "0"},
        {"--headless", "--address", "h", "--interval", "-5"},
        {"--headless", "--address", "h", "--interval", ""},
        {"--headless", "--address", "h", "--log", ""},
        {"--plot", "a.log", "--save", "a.jpg"},
        {"--plot", "a.log", "--size", "800x600"},
        {"--save", "a.svg"},
        {"--plot", "a.log", "--save", "a.svg", "--size", "800"},
        {"--plot", "a.log", "--save", "a.svg", "--size", "100x600"},
        {"--plot", "a.log", "--save", "a.svg", "--span", "0"},
        {"--plot", "a.log", "--save", "a.svg", "--span", "5w"},
        {"--plot", "a.log", "--save", "a.svg", "--from", "2026-12-09 10:40"},
        {"--plot", "a.log", "--save", "a.svg", "--from", "2026-12-09 10:40", "--to",
         "2026-12-09 10:40"},
        {"--plot", "a.log", "--save", "a.svg", "--from", "2026-02-30 10:40", "--to",
         "2026-03-09 10:40"},
        {"--plot", "a.log", "--save", "a.svg", "--span", "1h", "--from", "2026-12-09 10:40", "--to",
         "2026-12-09 11:40"},
        {"--export"},
        {"--export", ""},
        {"--export", "run.log", "--out"},
        {"--export", "run.log", "--headless", "--address", "h"},
        {"--export", "run.log", "--plot", "run.log"},
        {"--csv"},
        {"--out", "t.csv"},
        {"--report"},
        {"--report", "a.log", "--bin", "5m"},
        {"--report", "a.log", "--csv", "--json"},
        {"--report", "a.log", "--save", "a.pdf"},
        {"--report", "a.log", "--headless"},
        {"--report", "a.log", "--from", "2026-12-09 10:40", "--to", "2026-12-09 10:40"},
        {"--journal-export", "--csv", "--json"},
        {"--journal-export", "--device", ""},
        {"--journal-export", "--bin", "1h"},
        {"--journal-export", "j.jsonl", "--journal", "k.jsonl"},
        {"--journal-export", "--from", "2026-12-09 10:40", "--to", "2026-12-09 10:00"},
        {"--headless", "--address", "h", "--format", "xml"},
        {"--format", "line"},
        {"--headless", "--address", ""},
    };
    for (const auto& args : cases) {
        const Parsed p = parse(args);
        EXPECT_FALSE(p.ok) << args[0] << " " << args.back();
        EXPECT_FALSE(p.error.empty());
    }
}

}  // namespace
