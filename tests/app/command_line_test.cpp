// The command line: what each form runs, and what is refused.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
        {{"--help"}, RunMode::kHelp},
        {{"--version"}, RunMode::kVersion},
        {{"--plot", "run.log"}, RunMode::kPlot},
        {{"--port", "1161", "--plot", "run.log"}, RunMode::kPlot},
    };
    for (const auto& c : cases) {
        const Parsed p = parse(c.args);
        ASSERT_TRUE(p.ok) << p.error;
        EXPECT_EQ(p.line.mode, c.mode) << (c.args.empty() ? "(none)" : c.args[0]);
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

TEST(CommandLine, RefusesWhatItDoesNotTake) {
    const std::vector<std::vector<const char*>> cases = {
        {"--bogus"},
        {"--headless"},
        {"--address", "10.0.0.1"},
        {"--headless", "--address"},
        {"--port", "0"},
        {"--port", "65536"},
        {"--port", "16x"},
        {"--port", "-1"},
        {"--headless", "--address", "h", "--polls", "0"},
        {"--headless", "--address", "h", "--polls", "many"},
        {"--log", "x.log"},
        {"--plot"},
        {"--plot", "run.log", "--demo"},
        {"--headless", "--address", "h", "--plot", "run.log"},
        {"--headless", "--address", "h", "--interval", "abc"},
        {"--headless", "--address", "h", "--interval", "0"},
        {"--headless", "--address", "h", "--interval", "-5"},
        {"--headless", "--address", "h", "--interval", ""},
        {"--headless", "--address", "h", "--log", ""},
        {"--headless", "--address", ""},
    };
    for (const auto& args : cases) {
        const Parsed p = parse(args);
        EXPECT_FALSE(p.ok) << args[0] << " " << args.back();
        EXPECT_FALSE(p.error.empty());
    }
}

}  // namespace
