// Device text on the terminal: what passes and what is shown escaped.
#include "headless/terminal_text.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
