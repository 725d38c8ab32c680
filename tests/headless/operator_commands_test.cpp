// The operator's lines and the commands they give.
#include "headless/operator_commands.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(OperatorCommands, LinesAndTheirCommands) {
    using A = OperatorAction;
    const struct {
        std::string line;
        A action;
        bool on;
        std::string key;
    } cases[] = {
        {"", A::kNothing, false, ""},         {" \t ", A::kNothing, false, ""},
        {"get", A::kGet, false, ""},          {"  set  ", A::kSet, false, ""},
        {"reset", A::kReset, false, ""},      {"stop", A::kStop, false, ""},
        {"start", A::kStart, false, ""},      {"help", A::kHelp, false, ""},
        {"radio on", A::kRadio, true, ""},    {"radio\toff", A::kRadio, false, ""},
        {"heater  on", A::kHeater, true, ""}, {"heater off", A::kHeater, false, ""},
        {"key 1234", A::kKey, false, "1234"}, {"key  two words ", A::kKey, false, " two words "},
        {"key ", A::kUnknown, false, ""},     {"key", A::kUnknown, false, ""},
        {"key \"\"", A::kKey, false, ""},     {"key \"\"x", A::kKey, false, "\"\"x"},
        {"key  ", A::kKey, false, " "},       {"exit", A::kQuit, false, ""},
        {" key x", A::kKey, false, "x"},      {"radio maybe", A::kUnknown, false, ""},
        {"radio", A::kUnknown, false, ""},    {"heater on now", A::kUnknown, false, ""},
        {"set now", A::kUnknown, false, ""},  {"GET", A::kUnknown, false, ""},
        {"keys", A::kUnknown, false, ""},     {"key\tx", A::kKey, false, "x"},
        {"quit", A::kQuit, false, ""},        {"quit now", A::kUnknown, false, ""},
    };
    for (const auto& c : cases) {
        const OperatorCommand command = parse_operator_command(c.line);
        EXPECT_EQ(command.action, c.action) << "'" << c.line << "'";
        EXPECT_EQ(command.on, c.on) << "'" << c.line << "'";
        EXPECT_EQ(command.key, c.key) << "'" << c.line << "'";
        EXPECT_EQ(!command.refusal.empty(), c.line == "key" || c.line == "key ")
            << "'" << c.line << "': a key without text is refused with a reason";
    }
}

}  // namespace
