// The building blocks of the Prometheus files: numbers, switch names, the
// family the exporter's labels find, and the rows without an exporter name.
#include "fleet/prometheus_export.h"

#include <gtest/gtest.h>

#include <regex>
#include <stdexcept>
#include <string>

namespace {

TEST(PrometheusExport, NumbersAreTheShortestDecimalThatReadsBack) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0, "0"},
        {1000, "1000"},
        {-14, "-14"},
        {0.1, "0.1"},
        {10.5, "10.5"},
        {2.5e-5, "0.000025"},
        {1.0 / 3, "0.3333333333333333"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(number(c.value), c.text) << c.text;
    }
}

TEST(PrometheusExport, SwitchesAreNamedAsTheConsoleShowsThem) {
    const struct {
        Param row;
        const char* name;
    } cases[] = {
        {Param::kSwitch1, "radio"},
        {Param::kSwitch2, "2"},
        {Param::kSwitch3, "heater"},
        {Param::kSwitch6, "6"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(switch_name(c.row), c.name) << c.name;
    }
}

// RE2's (?s) as ECMAScript has it: any character, a line break too.
std::string family_by_regex(const std::string& item2) {
    std::string pattern = family_code_regex();
    const std::string dot_all = "(?s).";
    EXPECT_EQ(pattern.rfind(dot_all, 0), 0u);
    pattern = "[\\s\\S]" + pattern.substr(dot_all.size());
    std::smatch match;
    if (!std::regex_match(item2, match, std::regex(pattern))) {
        return "none";
    }
    return match[1].str();
}

TEST(PrometheusExport, TheFamilyCodeIsFoundWhereTheConsoleFindsIt) {
    const std::string pad(95, 'x');
    const struct {
        const char* name;
        std::string item2;
        const char* code;
    } cases[] = {
        {"after the first character", "AKTR-1", "KTR"},
        {"at the first character: not a code", "VXL-1", "none"},
        {"the last code decides", "AKTR VXL", "VXL"},
        {"after a line break", "A\nVXL", "VXL"},
        {"ending on the last stored character", pad + "xVXL", "VXL"},
        {"ending past the stored text", pad + "xxVXL", "none"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(family_by_regex(c.item2), c.code) << c.name;
    }
    // Each code names its family, and a text without one the first family.
    const std::string expr = family_expr();
    EXPECT_NE(expr.find("\"" + family_code_regex() + "\""), std::string::npos);
    EXPECT_NE(expr.find("\"family\", \"1000\", \"code\", \"VXL\""), std::string::npos);
    EXPECT_NE(expr.find("\"family\", \"350\", \"code\", \"KTR\""), std::string::npos);
    EXPECT_NE(expr.find("label_replace(tarvik_snmp_id_item_2, \"family\", \"350\", \"\", \"\")"),
              std::string::npos);
}

TEST(PrometheusExport, ARowWithoutAnExporterNameIsAClearError) {
    EXPECT_EQ(raw(Param::kSupply12V), "tarvik_snmp_supply_12v");
    try {
        raw(Param::kIdItem8);
        ADD_FAILURE() << "the key has no exporter name";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "catalog row 10 has no exporter name");
    }
}

TEST(PrometheusExport, EveryRunbookLinkStartsWithTheBaseGiven) {
    for (const std::string& base :
         {std::string(kRunbookBase), std::string("https://x.example/rb#")}) {
        const std::string alerts = prometheus_files(base)[2].text;
        const std::regex link("runbook_url: '([^']*)'");
        int links = 0;
        for (auto m = std::sregex_iterator(alerts.begin(), alerts.end(), link);
             m != std::sregex_iterator(); ++m, ++links) {
            EXPECT_EQ((*m)[1].str().rfind(base + "tarvik", 0), 0u) << (*m)[1];
        }
        EXPECT_GT(links, 0);
    }
}

}  // namespace
