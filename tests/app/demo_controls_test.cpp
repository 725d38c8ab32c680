// The demo's control lines: the simulator's language, with or without the
// terminal demo's `sim` word in front.
#include "app/demo_controls.h"

#include <gtest/gtest.h>

#include <string>

#include "sim/simulated_transceiver.h"

namespace {

TEST(DemoControls, LinesReachTheSimulatorWithOrWithoutSim) {
    const struct {
        std::string line;
        std::string reply;    // empty: not looked at
        int32_t rail_12v_mv;  // the +12 V rail's override after the line; 0: none
    } cases[] = {
        {"sim rail 12v 14500", "ok", 14500},
        {"rail off", "ok", 0},
        {" \tsim\t rail 12v 9000", "ok", 9000},
        {"sim rail 12v abc", "not a number of millivolts: 'abc'", 9000},
        {"sim clear", "ok", 0},
        {"simulate", "unknown command 'simulate'; type help", 0},
        {"sim sim rail 12v 1", "unknown command 'sim'; type help", 0},
        {"sim", "", 0},
        {"sim quit", "the demo's device ends with the console", 0},
    };
    SimulatedTransceiver sim;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string reply = run_demo_control(sim, c.line);
        if (!c.reply.empty()) {
            EXPECT_EQ(reply, c.reply);
        }
        EXPECT_EQ(sim.rail_override(SupplyRail::k12V).value_or(0), c.rail_12v_mv);
    }
    EXPECT_EQ(run_demo_control(sim, "sim help").rfind("  silent on|off", 0), 0u);
}

}  // namespace
