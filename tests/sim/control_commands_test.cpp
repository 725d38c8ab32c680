// The control language of tarvik-sim's standard input.
#include "sim/control_commands.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace {

using std::chrono::milliseconds;

class ControlCommandTest : public ::testing::Test {
protected:
    // Not started: the commands only change settings.
    void SetUp() override { sim_ = std::make_unique<SimulatedTransceiver>(); }

    void expect_untouched() const {
        const FaultSettings f = sim_->faults();
        EXPECT_FALSE(f.silent);
        EXPECT_EQ(f.delay, milliseconds(0));
        EXPECT_EQ(f.error_status, 0);
        EXPECT_FALSE(f.garbage);
        EXPECT_FALSE(f.wrong_request_id);
        EXPECT_FALSE(f.other_port);
        for (int i = 0; i < kSupplyRailCount; ++i) {
            EXPECT_FALSE(sim_->rail_override(static_cast<SupplyRail>(i)).has_value());
        }
        EXPECT_EQ(sim_->family(), DeviceFamily::k350);
        for (int i = 0; i < kSwitchCount; ++i) {
            EXPECT_EQ(sim_->switch_state(i), i == kRadioSwitch ? 1 : 0) << "switch " << i + 1;
        }
        EXPECT_EQ(sim_->link_faults_text(), "errors 0/s, burst 0 s, unlock 0 s, link down 0 s");
    }

    std::unique_ptr<SimulatedTransceiver> sim_;
};

struct Accepted {
    std::string description;
    std::string line;
    std::function<bool(const SimulatedTransceiver&)> took_effect;
};
void PrintTo(const Accepted& c, std::ostream* out) {
    *out << c.line;
}

class AcceptedCommandTest : public ControlCommandTest,
                            public ::testing::WithParamInterface<Accepted> {};

TEST_P(AcceptedCommandTest, TakesEffectAndRepliesOk) {
    const ControlReply reply = run_control_command(*sim_, GetParam().line);
    EXPECT_EQ(reply.text, "ok");
    EXPECT_FALSE(reply.quit);
    EXPECT_TRUE(GetParam().took_effect(*sim_));
}

INSTANTIATE_TEST_SUITE_P(
    , AcceptedCommandTest,
    ::testing::Values(
        Accepted{"SilentOn", "silent on", [](auto& s) { return s.faults().silent; }},
        Accepted{"DelayInMilliseconds", "delay 1500",
                 [](auto& s) { return s.faults().delay == milliseconds(1500); }},
        Accepted{"ErrorStatus", "error 5", [](auto& s) { return s.faults().error_status == 5; }},
        Accepted{"GarbageOn", "garbage on", [](auto& s) { return s.faults().garbage; }},
        Accepted{"WrongIdOn", "wrong-id on", [](auto& s) { return s.faults().wrong_request_id; }},
        Accepted{"OtherPortOn", "other-port on", [](auto& s) { return s.faults().other_port; }},
        Accepted{"RailByName", "rail -12v 7999",
                 [](auto& s) { return s.rail_override(SupplyRail::kMinus12V) == 7999; }},
        Accepted{"RailByNumber", "rail 6 2400",
                 [](auto& s) { return s.rail_override(SupplyRail::k3V3) == 2400; }},
        Accepted{"StandbyRail", "rail 5vsb 4000",
                 [](auto& s) { return s.rail_override(SupplyRail::k5VStandby) == 4000; }},
        Accepted{"Family1000", "family 1000",
                 [](auto& s) { return s.family() == DeviceFamily::k1000; }},
        Accepted{"RadioSwitchOff", "switch 1 off",
                 [](auto& s) { return s.switch_state(kRadioSwitch) == 0; }},
        Accepted{"HeaterSwitchOn", "switch 3 on",
                 [](auto& s) { return s.switch_state(kHeaterSwitch) == 1; }},
        Accepted{"Switch6On", "switch 6 on", [](auto& s) { return s.switch_state(5) == 1; }},
        Accepted{"FreezeTheClock", "freeze 600", [](auto& s) { return s.model_time() == 600.0; }},
        Accepted{"FreezeWhereItStands", "freeze now",
                 [](auto& s) {
                     const double held = s.model_time();
                     std::this_thread::sleep_for(milliseconds(20));
                     return s.model_time() == held;
                 }},
        Accepted{"ExtraErrors", "errors 40",
                 [](auto& s) { return s.link_faults_text().rfind("errors 40/s", 0) == 0; }},
        Accepted{
            "Burst", "burst 30",
            [](auto& s) { return s.link_faults_text().find("burst 30 s") != std::string::npos; }},
        Accepted{
            "Unlock", "unlock 20",
            [](auto& s) { return s.link_faults_text().find("unlock 20 s") != std::string::npos; }},
        Accepted{"LinkDown", "link down 10",
                 [](auto& s) {
                     return s.link_faults_text().find("link down 10 s") != std::string::npos;
                 }},
        Accepted{"ExtraBlanks", "   delay\t 20  ",
                 [](auto& s) { return s.faults().delay == milliseconds(20); }}),
    [](const ::testing::TestParamInfo<Accepted>& info) { return info.param.description; });

class RejectedCommandTest : public ControlCommandTest,
                            public ::testing::WithParamInterface<std::string> {};

TEST_P(RejectedCommandTest, ChangesNothingAndSaysWhatWasWrong) {
    const ControlReply reply = run_control_command(*sim_, GetParam());
    EXPECT_NE(reply.text, "ok");
    EXPECT_FALSE(reply.text.empty());
    EXPECT_FALSE(reply.quit);
    expect_untouched();
}

INSTANTIATE_TEST_SUITE_P(
    , RejectedCommandTest,
    ::testing::Values("jump", "silent", "silent yes", "silent on now", "delay -1", "delay 10ms",
                      "delay 600001", "error", "error -2", "garbage 1", "rail 24v", "rail 8 5000",
                      "rail 0 5000", "rail 12 x", "rail 48v 5000", "family 999", "family",
                      "Silent on", "switch 0 on", "switch 7 on", "switch 3", "switch 3 1",
                      "switch heater on", "switch 3 on now", "freeze", "freeze -1", "freeze 1.5",
                      "freeze soon", "freeze later", "errors", "errors -1", "burst 1.5", "unlock",
                      "link down", "link up 5", "link down soon"));

TEST_F(ControlCommandTest, ClearTurnsEveryFaultOffAndReleasesTheRails) {
    for (const char* line : {"silent on", "delay 100", "error 2", "garbage on", "wrong-id on",
                             "other-port on", "rail 24v 36000", "rail 3v3 2000"}) {
        ASSERT_EQ(run_control_command(*sim_, line).text, "ok") << line;
    }
    EXPECT_EQ(run_control_command(*sim_, "clear").text, "ok");
    expect_untouched();
}

TEST_F(ControlCommandTest, OffCommandsUndoTheirOnCommands) {
    for (const char* line : {"silent on", "delay 100", "error 2", "garbage on", "wrong-id on",
                             "other-port on", "rail 24v 36000", "silent off", "delay 0", "error 0",
                             "garbage off", "wrong-id off", "other-port off", "rail off"}) {
        ASSERT_EQ(run_control_command(*sim_, line).text, "ok") << line;
    }
    expect_untouched();
}

TEST_F(ControlCommandTest, FreezeOffLetsTheClockRunOnFromWhereItStood) {
    ASSERT_EQ(run_control_command(*sim_, "freeze 600").text, "ok");
    const double held = sim_->model_time();
    ASSERT_EQ(run_control_command(*sim_, "freeze off").text, "ok");
    std::this_thread::sleep_for(milliseconds(20));
    const double running = sim_->model_time();
    EXPECT_GT(running, held);
    EXPECT_LT(running, held + 10.0);
}

TEST_F(ControlCommandTest, BlankAndCommentLinesDoNothingQuietly) {
    for (const char* line : {"", "   ", "# silent on"}) {
        const ControlReply reply = run_control_command(*sim_, line);
        EXPECT_TRUE(reply.text.empty()) << line;
        EXPECT_FALSE(reply.quit) << line;
    }
    expect_untouched();
}

TEST_F(ControlCommandTest, QuitAsksTheProgramToEnd) {
    EXPECT_TRUE(run_control_command(*sim_, "quit").quit);
    EXPECT_TRUE(run_control_command(*sim_, "exit").quit);
}

TEST_F(ControlCommandTest, StatusShowsTheFaultsInForce) {
    run_control_command(*sim_, "delay 250");
    run_control_command(*sim_, "rail -12v 7000");
    run_control_command(*sim_, "switch 3 on");
    const std::string status = run_control_command(*sim_, "status").text;
    EXPECT_NE(status.find("\nswitches: 1 0 1 0 0 0,"), std::string::npos) << status;
    EXPECT_NE(status.find("delay 250 ms"), std::string::npos) << status;
    EXPECT_NE(status.find("-12v=7000mV"), std::string::npos) << status;
}

TEST_F(ControlCommandTest, HelpListsEveryCommand) {
    const std::string help = run_control_command(*sim_, "help").text;
    for (const char* command :
         {"silent", "delay", "error", "garbage", "wrong-id", "other-port", "rail", "family",
          "freeze", "switch", "clear", "status", "help", "quit"}) {
        EXPECT_NE(help.find(std::string("  ") + command + " "), std::string::npos) << command;
    }
}

}  // namespace
