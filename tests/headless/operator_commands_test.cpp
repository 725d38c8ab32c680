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
        {"sim a b", A::kSim, false, "a b"},   {" sim \t a ", A::kSim, false, "a "},
        {"sim", A::kUnknown, false, ""},      {"sim  ", A::kUnknown, false, ""},
        {"simulate", A::kUnknown, false, ""},
    };
    for (const auto& c : cases) {
        const OperatorCommand command = parse_operator_command(c.line);
        EXPECT_EQ(command.action, c.action) << "'" << c.line << "'";
        EXPECT_EQ(command.on, c.on) << "'" << c.line << "'";
        EXPECT_EQ(command.key, c.key) << "'" << c.line << "'";
        const bool refused =
            c.line == "key" || c.line == "key " || c.line == "sim" || c.line == "sim  ";
        EXPECT_EQ(!command.refusal.empty(), refused)
            << "'" << c.line << "': a key or sim without text is refused with a reason";
    }
}

TEST(OperatorCommands, KeyLongerThanTheDeviceTakesIsRefusedWithTheLimit) {
    EXPECT_EQ(parse_operator_command("key " + std::string(99, 'k')).action, OperatorAction::kKey);
    const OperatorCommand refused = parse_operator_command("key " + std::string(100, 'k'));
    EXPECT_EQ(refused.action, OperatorAction::kUnknown);
    EXPECT_EQ(refused.refusal, "key refused: the key is 100 octets long; at most 99 can be sent");
}

// A last line that the input ended inside may have been cut short: the
// commands that write to the device do not run from it.
TEST(OperatorCommands, AnUnterminatedLineRunsNoSetAndNoKey) {
    using A = OperatorAction;
    const struct {
        std::string line;
        A action;
        std::string refusal;
    } cases[] = {
        {"set", A::kUnknown, "set not run: the input ended inside its line"},
        {"key 12", A::kUnknown, "key not run: the input ended inside its line"},
        {"key \"\"", A::kUnknown, "key not run: the input ended inside its line"},
        {"get", A::kGet, ""},
        {"radio on", A::kRadio, ""},
        {"quit", A::kQuit, ""},
        {"key", A::kUnknown, "key needs a text; key \"\" sends an empty key"},
    };
    for (const auto& c : cases) {
        const OperatorCommand command = parse_operator_command(c.line, false);
        EXPECT_EQ(command.action, c.action) << c.line;
        EXPECT_EQ(command.refusal, c.refusal) << c.line;
        EXPECT_EQ(command.key, "") << c.line;
    }
}

TEST(OperatorCommands, HelpListsSimOnlyWhereASimulatorTakesIt) {
    EXPECT_EQ(operator_help(false), kOperatorHelp);
    const std::string with_sim = operator_help(true);
    const size_t sim = with_sim.find("\n  sim COMMAND ");
    ASSERT_NE(sim, std::string::npos);
    // Among the commands, before the closing quit line; the rest unchanged.
    EXPECT_LT(sim, with_sim.find("\n  quit, exit"));
    EXPECT_EQ(with_sim.size(),
              std::string(kOperatorHelp).size() + with_sim.find('\n', sim + 1) - sim);
}

}  // namespace
