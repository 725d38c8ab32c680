// One scrape per target, a bounded number at once, and waits that end at
// the scrape's deadline.
#include "exporter/probe_gate.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

namespace {

using std::chrono::milliseconds;

TEST(ExporterProbeGate, ATurnIsGivenOnlyWhileTheTargetIsIdleAndASlotIsFree) {
    const auto soon = [] { return ProbeGate::Clock::now() + milliseconds(50); };
    ProbeGate gate(2);
    ASSERT_TRUE(gate.enter("a", soon()));
    using Refused = ProbeGate::Refused;
    const struct {
        const char* target;
        bool entered;
        Refused why;
    } steps[] = {
        {"a", false, Refused::kTargetBusy},  // its own scrape still runs
        {"b", true, Refused::kTargetBusy},
        {"c", false, Refused::kSlotsTaken},  // both slots taken
    };
    for (const auto& s : steps) {
        const auto started = ProbeGate::Clock::now();
        // Starts as the other reason, so that only a refusal's own sets it.
        Refused why = s.why == Refused::kTargetBusy ? Refused::kSlotsTaken : Refused::kTargetBusy;
        EXPECT_EQ(gate.enter(s.target, soon(), &why), s.entered) << s.target;
        EXPECT_EQ(why == s.why, !s.entered) << s.target;
        if (!s.entered) {
            EXPECT_GE(ProbeGate::Clock::now() - started, milliseconds(40)) << s.target;
        }
    }
    gate.leave("a");
    EXPECT_TRUE(gate.enter("c", soon()));
}

TEST(ExporterProbeGate, AWaitingScrapeRunsOnceTheTargetIsLeft) {
    ProbeGate gate(4);
    ASSERT_TRUE(gate.enter("a", ProbeGate::Clock::now()));
    auto waiting = std::async(std::launch::async, [&gate] {
        return gate.enter("a", ProbeGate::Clock::now() + std::chrono::seconds(10));
    });
    EXPECT_EQ(waiting.wait_for(milliseconds(50)), std::future_status::timeout);
    gate.leave("a");
    EXPECT_TRUE(waiting.get());
}

}  // namespace
