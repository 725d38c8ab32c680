// A scrape against the simulated transceiver: requests per scrape, when the
// identification is read again, and a silent device.
#include "exporter/probe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "sim/simulated_transceiver.h"

namespace {

using std::chrono::seconds;

class ExporterProbe : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim_.start()); }

    std::string target() const { return "127.0.0.1:" + std::to_string(sim_.port()); }

    ProbeResult scrape(TargetProbe& probe, seconds interval) {
        return probe.scrape(ProbeClock::now() + seconds(5), interval);
    }

    SimulatedTransceiver sim_;
};

TEST_F(ExporterProbe, IdentificationIsReadFirstThenOnlyWhenDueOrAfterSilence) {
    TargetProbe probe(target(), kDefaultCommunity);
    const struct {
        const char* step;
        bool silent;
        seconds interval;
        bool success;
        int requests;
        bool identified;
    } steps[] = {
        {"first scrape", false, seconds(600), true, 6, true},
        {"next scrape", false, seconds(600), true, 5, false},
        {"interval passed", false, seconds(0), true, 6, true},
        {"within the interval", false, seconds(600), true, 5, false},
        {"silent: one request, then given up", true, seconds(600), false, 1, false},
        {"back: identified again", false, seconds(600), true, 6, true},
    };
    for (const auto& s : steps) {
        sim_.set_silent(s.silent);
        const uint64_t before = sim_.requests_received();
        const ProbeResult r =
            probe.scrape(ProbeClock::now() + (s.silent ? seconds(1) : seconds(5)), s.interval);
        EXPECT_EQ(r.success, s.success) << s.step;
        EXPECT_EQ(r.requests, s.requests) << s.step;
        EXPECT_EQ(sim_.requests_received() - before, static_cast<uint64_t>(s.requests)) << s.step;
        EXPECT_EQ(r.identified, s.identified) << s.step;
        EXPECT_EQ(r.timeouts, s.silent ? 1 : 0) << s.step;
        EXPECT_EQ(r.answers, s.success ? s.requests : 0) << s.step;
    }
}

TEST_F(ExporterProbe, ValuesAreTheDevicesAsSentWithTheLastIdentification) {
    sim_.set_family(DeviceFamily::k1000);
    sim_.freeze_time(10);
    TargetProbe probe(target(), kDefaultCommunity);
    const ProbeResult first = scrape(probe, seconds(600));
    ASSERT_TRUE(first.success) << first.failure;
    EXPECT_EQ(first.family, kFamily1000);
    sim_.set_rail(SupplyRail::k12V, 14500);
    const ProbeResult second = scrape(probe, seconds(600));
    ASSERT_TRUE(second.success) << second.failure;
    // Items 1 to 7 and every numeric row of the five runs.
    ASSERT_EQ(second.values.size(), 7u + 3 + 5 + 8 + 6 + 9);
    EXPECT_EQ(second.values_returned, 3 + 5 + 8 + 6 + 9);
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(second.values[i].text, first.values[i].text) << i;
    }
    EXPECT_NE(second.values[1].text.find("VXL"), std::string::npos) << second.values[1].text;
    for (const RawValue& v : second.values) {
        if (v.row == Param::kSupply12V) {
            EXPECT_EQ(v.number, 14500);
        }
    }
}

TEST_F(ExporterProbe, ACounterGoneBackHasTheIdentificationReadAgain) {
    sim_.freeze_time(100000);
    TargetProbe probe(target(), kDefaultCommunity);
    ASSERT_EQ(scrape(probe, seconds(600)).requests, 6);
    // Another device on the same address between two scrapes, its counters
    // near zero.
    const uint16_t port = sim_.port();
    sim_.stop();
    SimulatorOptions options;
    options.port = port;
    options.family = DeviceFamily::k1000;
    SimulatedTransceiver replacement(options);
    ASSERT_TRUE(replacement.start());
    const ProbeResult seen = scrape(probe, seconds(600));
    EXPECT_EQ(seen.requests, 5);
    EXPECT_EQ(seen.family, kFamily350);  // not known until it is read
    const ProbeResult identified = scrape(probe, seconds(600));
    EXPECT_EQ(identified.requests, 6);
    EXPECT_EQ(identified.family, kFamily1000);
}

TEST_F(ExporterProbe, TooLittleTimeIsBusyAndAFaultyAnswerIsNamedNotSilence) {
    TargetProbe probe(target(), kDefaultCommunity);
    const struct {
        const char* step;
        int delay_ms;
        bool silent;
        bool garbage;
        int deadline_ms;
        bool busy;
        int requests;
        int timeouts;
        int errors;
        const char* failure;
    } steps[] = {
        {"a good scrape: 100 ms an answer", 100, false, false, 5000, false, 6, 0, 0, ""},
        {"300 ms for five such answers: busy, nothing sent", 100, false, false, 300, true, 0, 0, 0,
         "target busy"},
        {"undecodable", 0, false, true, 5000, false, 1, 0, 1, "could not be decoded"},
        {"silent", 0, true, false, 1500, false, 1, 1, 0, "no answer"},
    };
    for (const auto& s : steps) {
        sim_.set_delay(std::chrono::milliseconds(s.delay_ms));
        sim_.set_silent(s.silent);
        sim_.set_garbage(s.garbage);
        const uint64_t before = sim_.requests_received();
        const ProbeResult r = probe.scrape(
            ProbeClock::now() + std::chrono::milliseconds(s.deadline_ms), seconds(600));
        EXPECT_EQ(r.busy, s.busy) << s.step;
        EXPECT_EQ(r.success, s.failure[0] == '\0') << s.step;
        EXPECT_EQ(r.requests, s.requests) << s.step;
        EXPECT_EQ(sim_.requests_received() - before, static_cast<uint64_t>(s.requests)) << s.step;
        EXPECT_EQ(r.timeouts, s.timeouts) << s.step;
        EXPECT_EQ(r.errors, s.errors) << s.step;
        EXPECT_NE(r.failure.find(s.failure), std::string::npos) << s.step << ": " << r.failure;
    }
}

// Names the tests look up, without the network: each lookup counted.
int g_lookups = 0;
bool fake_lookup(const char* name, int, SocketAddress* address, std::string* why) {
    ++g_lookups;
    if (std::string(name) != "link7.example") {
        *why = "no such name";
        return false;
    }
    *address = SocketAddress{};
    address->v4.sin_family = AF_INET;
    address->v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return true;
}

TEST_F(ExporterProbe, ANameIsLookedUpBeforeTheScrapeWhichThenLooksNothingUp) {
    set_name_lookup(&fake_lookup);
    const std::string port = std::to_string(sim_.port());
    const std::string resolved = resolve_target("link7.example:" + port);
    EXPECT_EQ(resolved, "127.0.0.1:" + port);
    EXPECT_EQ(resolve_target("gone.example:161").rfind("!", 0), 0u);
    TargetProbe probe("link7.example:" + port, kDefaultCommunity);
    g_lookups = 0;
    ScrapeRun run(probe, ProbeClock::now() + seconds(5), seconds(600), resolved);
    while (!run.finished()) {
        run.readable(ProbeClock::now());
        run.timed_out(ProbeClock::now());
    }
    EXPECT_TRUE(run.result().success) << run.result().failure;
    EXPECT_EQ(g_lookups, 0);
    ScrapeRun failed(probe, ProbeClock::now() + seconds(5), seconds(600), "!no such name");
    EXPECT_TRUE(failed.finished());
    EXPECT_EQ(failed.result().requests, 0);
    EXPECT_NE(failed.result().failure.find("link7.example:" + port + ": no such name"),
              std::string::npos)
        << failed.result().failure;
    set_name_lookup(nullptr);
}

TEST_F(ExporterProbe, AScrapeNeverOutlastsItsDeadline) {
    sim_.set_delay(std::chrono::milliseconds(300));
    TargetProbe probe(target(), kDefaultCommunity);
    const auto started = ProbeClock::now();
    const ProbeResult r = probe.scrape(started + std::chrono::milliseconds(700), seconds(600));
    EXPECT_FALSE(r.success);
    EXPECT_LT(ProbeClock::now() - started, std::chrono::milliseconds(1200));
    EXPECT_LE(r.requests, 3);
}

}  // namespace
