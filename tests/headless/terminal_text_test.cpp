// Device text on the terminal: what passes and what is shown escaped.
#include "headless/terminal_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "device/device_readings.h"
#include "environment.h"
#include "monitor/alarm_events.h"

namespace {

TEST(TerminalSafeText, ControlsAndBrokenUtf8AreEscaped) {
    const struct {
        std::string device;
        std::string shown;
    } cases[] = {
        {"RL-VXL-1000 ~!", "RL-VXL-1000 ~!"},
        {"a\tb", "a\tb"},
        {std::string("a\0b", 3), "a\\x00b"},
        {"one\r\ntwo\n", "one\\x0D\\x0Atwo\\x0A"},
        {"\x1b]0;owned\x07", "\\x1B]0;owned\\x07"},
        {"\x1b[2J\x1b[31m", "\\x1B[2J\\x1B[31m"},
        {"x\x1fy\x7fz", "x\\x1Fy\\x7Fz"},
        {"M\xc3\xbcller", "M\xc3\xbcller"},                // U+00FC
        {"\xc2\xa0\xe2\x82\xac", "\xc2\xa0\xe2\x82\xac"},  // U+00A0, U+20AC
        {"\xf0\x9f\x93\xa1", "\xf0\x9f\x93\xa1"},          // U+1F4E1
        {"\xc2\x80\xc2\x9b", "\\xC2\\x80\\xC2\\x9B"},      // C1 controls
        {"[\x9b"
         "2J",
         "[\\x9B2J"},                                  // raw CSI
        {"M\xfcller", "M\\xFCller"},                   // Latin-1
        {"\xc0\xaf", "\\xC0\\xAF"},                    // overlong "/"
        {"\xe0\x80\xaf", "\\xE0\\x80\\xAF"},           // overlong "/"
        {"\xed\xa0\x80", "\\xED\\xA0\\x80"},           // a surrogate
        {"\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},  // above U+10FFFF
        {"\xe2\x82"
         "A",
         "\\xE2\\x82A"},                   // cut short, then text
        {"end\xe2\x82", "end\\xE2\\x82"},  // cut short at the end
        {"\xf8\x88\x80\x80\x80", "\\xF8\\x88\\x80\\x80\\x80"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(terminal_safe_text(c.device), c.shown) << c.shown;
    }
}

TEST(TerminalEcho, CutShortAtACharacterAndShownSafe) {
    const struct {
        std::string typed;
        std::string shown;
    } cases[] = {
        {"radio", "radio"},
        {"abcdefgh", "abcdefgh"},
        {"abcdefghi", "abcdefgh..."},
        {"abcdefg\xc3\xa4", "abcdefg..."},
        {"\x1b[2J\x1b[2J!", "\\x1B[2J\\x1B[2J..."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(terminal_echo(c.typed, 8), c.shown) << c.shown;
    }
}

TEST(RepeatedLines, ARunIsShownOnceAndCountedWhenItEnds) {
    RepeatedLines lines("tarvik");
    const struct {
        const char* line;  // null: the run ends
        std::string printed;
    } steps[] = {
        {"a", "tarvik: a\n"},
        {"a", ""},
        {"a", ""},
        {"b", "tarvik: (the line above came 2 more times)\ntarvik: b\n"},
        {nullptr, ""},
        {"b", "tarvik: b\n"},
        {"b", ""},
        {nullptr, "tarvik: (the line above came 1 more time)\n"},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(s.line != nullptr ? lines.take(s.line) : lines.end_run(), s.printed)
            << (s.line != nullptr ? s.line : "(end)");
    }
}

TEST(AlignedPaneLines, EqualsSignsStandInOneColumnWithoutTrailingBlanks) {
    const struct {
        const char* what;
        std::string pane;
        std::string lines;
    } cases[] = {
        {"link pane, with its blank last line", "UpLink\t=350Mbps\r\nDownLink=1000Mbps\r\n ",
         "UpLink   = 350Mbps\nDownLink = 1000Mbps\n"},
        {"a blank line inside a pane stays, empty",
         "Ureceiver\t\t\t= 1.9 V\r\n\r\nU +24V\t\t\t= 24.0 V",
         "Ureceiver = 1.9 V\n\nU +24V    = 24.0 V\n"},
        {"blanks around the value go", "Receiver \t= Lock \r\nQuality  \t= Bad \r\nStatus \t= 3",
         "Receiver = Lock\nQuality  = Bad\nStatus   = 3\n"},
        {"device text stays escaped", "A\x1b[2J\t= x\r\nB\t= \x07",
         "A\\x1B[2J = x\nB        = \\x07\n"},
        {"NO CONNECTION", "NO CONNECTION", "NO CONNECTION\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(aligned_pane_lines(c.pane), c.lines) << c.what;
    }
}

TEST(PollLines, AlignedUnderAHeadingThatRepeatsEveryTwentyLines) {
    use_utc_time_zone();
    DeviceReadings r;
    r.supply_minus_12v = 12100;
    r.supply_24v = 35001;
    r.voltage_alarm[0] = 1;
    r.up_link_mbps = 350;
    r.phy_to_radio_rate = 20963;
    PollLines lines;
    const std::string heading = PollLines::heading();
    for (int n = 1; n <= 41; ++n) {
        const bool answered = n != 2;
        const std::string out = lines.next(r, answered, 1796738709,
                                           n == 3 ? SecondClass::kSevere : SecondClass::kUnknown);
        const bool headed = n == 1 || n == 21 || n == 41;
        EXPECT_EQ(out.rfind(heading, 0) == 0, headed) << n;
        const std::string line = headed ? out.substr(heading.size()) : out;
        EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line per poll";
        EXPECT_NE(line[line.size() - 2], ' ') << "no trailing blank";
        if (!answered) {
            EXPECT_EQ(line, "14:05:09 no\n");
            continue;
        }
        // Every value ends where its heading ends.
        EXPECT_EQ(line.size(), heading.size()) << line;
        EXPECT_NE(line.find("  35.0! "), std::string::npos) << "the +24 V lamp is lit";
        EXPECT_NE(line.find(" -12.1  "), std::string::npos) << "the -12 V rail is signed";
        EXPECT_EQ(line.substr(line.size() - 5), n == 3 ? " SES\n" : "   -\n")
            << "the second's class";
    }
}

TEST(TerminalJson, PollAlarmAndCommandObjects) {
    use_utc_time_zone();
    DeviceReadings r;
    r.family_rate_mbps = 1000;
    r.supply_minus_12v = 12100;
    r.voltage_alarm[3] = 1;
    const struct {
        std::string got;
        std::vector<std::string> parts;
    } cases[] = {
        {poll_json(r, false, 1796738709),
         {"{\"kind\":\"poll\",\"time\":\"2026-12-08T14:05:09", "\"answered\":false}\n"}},
        {poll_json(r, true, 1796738709, SecondClass::kErrored),
         {"\"second\":\"ES\",\"answered\":true,\"family\":1000,", "\"supply_minus_12v_V\":-12.1,",
          "\"mse_dB\":null,", "\"lamps_lit\":[\"-12V\"]}\n"}},
        {alarm_json({AlarmKind::kLink, true, "no answer from \"h\""}),
         {"{\"kind\":\"alarm\",\"cleared\":true,\"text\":\"no answer from \\\"h\\\"\"}\n"}},
        {command_json("help", "line 1\nline 2\n"),
         {"{\"kind\":\"command\",\"command\":\"help\",\"text\":\"line 1\\u000aline 2\\u000a\"}\n"}},
        {write_command_json("set", ""),
         {"{\"kind\":\"command\",\"command\":\"set\",\"text\":\"\",\"ok\":true}\n"}},
        {write_command_json("key", "Send KEY failed: no answer"),
         {"{\"kind\":\"command\",\"command\":\"key\",\"text\":\"Send KEY failed: no "
          "answer\",\"ok\":false}\n"}},
        {write_command_line("set", ""), {"set: ok\n"}},
        {write_command_line("key", "Send KEY failed: \x1b[2J"),
         {"key: Send KEY failed: \\x1B[2J\n"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::count(c.got.begin(), c.got.end(), '\n'), 1) << c.got;
        for (const std::string& part : c.parts) {
            EXPECT_NE(c.got.find(part), std::string::npos) << c.got << " lacks " << part;
        }
    }
}

}  // namespace
