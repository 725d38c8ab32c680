// Number formatting shared by the panes and the log.
#include "device/text_format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>

#include "environment.h"

namespace {

TEST(FormatText, ExponentsHaveAtLeastThreeDigits) {
    const struct {
        int precision;
        double value;
        const char* expected;
    } cases[] = {
        {6, 12345.0, "1.234500e+004"}, {6, 0.0, "0.000000e+000"}, {3, 0.00012, "1.200e-004"},
        {3, 1e100, "1.000e+100"},      {3, 1e-300, "1.000e-300"}, {0, 5.0, "5e+000"},
        {6, -2.5e7, "-2.500000e+007"}, {3, 1.0 / 0.0, "inf"},     {3, -1.0 / 0.0, "-inf"},
        {6, 1e-5, "1.000000e-005"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(exponent_text(c.value, c.precision), c.expected) << c.precision << " " << c.value;
    }
    const struct {
        const char* pattern;
        double value;
        const char* expected;
    } fixed[] = {
        {"%.f", 2.5, "2"},
        {"%.f", 3.5, "4"},
        {"%.1f", 23.45, "23.4"},
        {"%.6f", -0.0025, "-0.002500"},
    };
    for (const auto& c : fixed) {
        EXPECT_EQ(format_text(c.pattern, c.value), c.expected) << c.pattern << " " << c.value;
    }
}

TEST(FormatText, IntegersTextsAndPercentSigns) {
    // The widest long: 64 bits on Linux, 32 on Windows.
    const long widest = std::numeric_limits<long>::max();
    EXPECT_EQ(format_text("%d|%u|%ld", -5, 4294967295u, widest),
              "-5|4294967295|" + std::to_string(widest));
    EXPECT_EQ(format_text("ID1=%s\n", "100% sure e+12"), "ID1=100% sure e+12\n");
    EXPECT_EQ(format_text("100%%"), "100%");
    EXPECT_EQ(format_text("ip%d", 9), "ip9");
    EXPECT_EQ(format_text("%s", std::string(300, 'a').c_str()), std::string(300, 'a'));
}

TEST(FormatText, PlainConversionsWriteWhatSnprintfWrites) {
    // Ties, halves that binary cannot hold, negative zero, the subnormal
    // range and the largest magnitudes, at every precision the console uses
    // and beyond.
    const double values[] = {0.0,
                             -0.0,
                             0.25,
                             2.5,
                             0.125,
                             23.45,
                             -23.45,
                             1.005,
                             1e15 + 0.5,
                             4503599627370497.0,
                             1e-310,
                             -1e300,
                             1.7976931348623157e308,
                             0.05,
                             999.95,
                             12345.678901};
    for (const double v : values) {
        for (const char* pattern : {"%.f", "%.1f", "%.2f", "%.3f", "%.6f", "%f", "%.17f"}) {
            char expected[512];
            std::snprintf(expected, sizeof expected, pattern, v);
            EXPECT_EQ(format_text(pattern, v), expected) << pattern << " " << v;
        }
    }
    for (const int v :
         {0, -1, 7, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
        EXPECT_EQ(format_text("%d", v), std::to_string(v));
    }
    EXPECT_EQ(format_text("%u", 0u), "0");
    const unsigned long widest = std::numeric_limits<unsigned long>::max();
    const long long lowest = std::numeric_limits<long long>::min();
    EXPECT_EQ(format_text("%lu|%lld", widest, lowest),
              std::to_string(widest) + "|" + std::to_string(lowest));
    // Forms the plain writer leaves to snprintf.
    EXPECT_EQ(format_text("%5.1f|%-4d|%+d|%.3s|%s", 1.25, 7, 7, "abcdef", "x"),
              "  1.2|7   |+7|abc|x");
}

// A Qt application switches the C library to the user's locale; a desktop
// set to German writes "1,5" for 1.5 through plain printf.
class CommaLocale : public testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        // The C runtime's name for the locale; every Windows has it.
        ASSERT_NE(std::setlocale(LC_ALL, "German_Germany.1252"), nullptr);
#else
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
            // Build the locale into a private folder when the system has
            // not generated it; an earlier run's build is used again, as
            // building one takes seconds.
            const std::string dir = testing::TempDir() + "tarvik-locale";
            if (!std::ifstream(dir + "/de_DE.UTF-8/LC_NUMERIC")) {
                const std::string command =
                    "localedef -i de_DE -f UTF-8 " + dir + "/de_DE.UTF-8 >/dev/null 2>&1; true";
                ASSERT_EQ(std::system(("mkdir -p " + dir).c_str()), 0);
                ASSERT_EQ(std::system(command.c_str()), 0);
            }
            set_environment("LOCPATH", dir.c_str());
            ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
                << "no locale with a decimal comma could be made";
        }
#endif
    }
    void TearDown() override {
        std::setlocale(LC_ALL, "C");
    }
};

TEST_F(CommaLocale, DecimalPointStaysAPoint) {
    char plain[32];
    std::snprintf(plain, sizeof plain, "%.1f", 1.5);
    ASSERT_STREQ(plain, "1,5") << "the locale under test writes a comma";
    EXPECT_EQ(format_text("%.1f V", 1.5), "1.5 V");
    EXPECT_EQ(exponent_text(12345.0, 6), "1.234500e+004");
    EXPECT_EQ(format_text("%.2f|%.f", 0.25, 1234.0), "0.25|1234");
}

TEST(Utf8PrefixLength, NeverEndsInsideACharacter) {
    const struct {
        std::string text;
        size_t limit;
        size_t kept;
    } cases[] = {
        {"abc", 5, 3},
        {"abcdef", 5, 5},
        {"abcd\xc3\xa4", 5, 4},     // U+00E4 split after its lead
        {"abc\xe2\x82\xac", 5, 3},  // U+20AC split after two octets
        {"a\xf0\x9f\x93\xa1"
         "b",
         4, 1},                              // U+1F4E1 split after three
        {"abcd\xc3\xa4", 6, 6},              // ends with the character
        {"abcd\x80\x80\x80\x80\x80", 7, 7},  // no character: cut anywhere
        {"\xe2\x82\xac", 2, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8_prefix_length(c.text, c.limit), c.kept) << c.text << " at " << c.limit;
    }
}

}  // namespace
