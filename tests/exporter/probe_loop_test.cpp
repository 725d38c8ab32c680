// Every scrape on one thread: many at once, one per target, and a wait for
// a turn that ends at the scrape's deadline with what stood in the way.
#include "exporter/probe_loop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/simulated_transceiver.h"

namespace {

using std::chrono::milliseconds;

class ExporterProbeLoop : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim_.start()); }

    // Hands a scrape of the simulator, under `key`, to the loop.
    void submit(ProbeLoop& loop, const std::string& key, milliseconds within) {
        auto job = std::make_unique<ProbeJob>();
        job->key = key;
        job->record = std::make_shared<TargetRecord>("127.0.0.1:" + std::to_string(sim_.port()),
                                                     kDefaultCommunity);
        job->deadline = ProbeClock::now() + within;
        job->done = [this, key](const ProbeOutcome& outcome) {
            const std::lock_guard<std::mutex> lock(mutex_);
            ended_.push_back({key, outcome});
            changed_.notify_all();
        };
        loop.submit(std::move(job));
    }

    std::vector<std::pair<std::string, ProbeOutcome>> wait_for(size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(20), [&] { return ended_.size() >= count; });
        return ended_;
    }

    SimulatedTransceiver sim_;
    ExporterStats stats_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::pair<std::string, ProbeOutcome>> ended_;
};

TEST_F(ExporterProbeLoop, ManyScrapesRunAtOnceOnItsOneThread) {
    sim_.set_delay(milliseconds(200));
    ProbeLoop loop(64, std::chrono::seconds(600), stats_);
    std::string error;
    ASSERT_TRUE(loop.start(&error)) << error;
    const auto started = ProbeClock::now();
    for (int i = 0; i < 20; ++i) {
        submit(loop, "target-" + std::to_string(i), milliseconds(5000));
    }
    const auto ended = wait_for(20);
    // Six answers of 200 ms each: 1.2 s at once, 24 s one after another.
    EXPECT_LT(ProbeClock::now() - started, milliseconds(4000));
    ASSERT_EQ(ended.size(), 20u);
    for (const auto& [key, outcome] : ended) {
        EXPECT_TRUE(outcome.turn && outcome.result.success)
            << key << ": " << outcome.refused << outcome.result.failure;
    }
}

TEST_F(ExporterProbeLoop, ATurnIsWaitedForOnlyUntilTheDeadlineAndTheRefusalSaysWhy) {
    sim_.set_delay(milliseconds(200));
    ProbeLoop loop(1, std::chrono::seconds(600), stats_);
    std::string error;
    ASSERT_TRUE(loop.start(&error)) << error;
    submit(loop, "a", milliseconds(5000));
    submit(loop, "a", milliseconds(300));  // its target's scrape runs
    submit(loop, "b", milliseconds(300));  // the one slot is taken
    const auto ended = wait_for(3);
    ASSERT_EQ(ended.size(), 3u);
    const struct {
        const char* key;
        bool turn;
        const char* refused;
    } expected[] = {
        {"a", false, "target busy"},
        {"b", false, "slots taken"},
        {"a", true, ""},
    };
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(ended[i].first, expected[i].key) << i;
        EXPECT_EQ(ended[i].second.turn, expected[i].turn) << i;
        EXPECT_NE(ended[i].second.refused.find(expected[i].refused), std::string::npos)
            << i << ": " << ended[i].second.refused;
    }
    EXPECT_TRUE(ended[2].second.result.success) << ended[2].second.result.failure;
}

TEST_F(ExporterProbeLoop, StoppingRefusesWhatRunsAndWaitsWithoutCallingTheDeviceDown) {
    sim_.set_delay(milliseconds(3000));
    ProbeLoop loop(1, std::chrono::seconds(600), stats_);
    std::string error;
    ASSERT_TRUE(loop.start(&error)) << error;
    submit(loop, "a", milliseconds(10000));  // runs, waiting on the device
    submit(loop, "a", milliseconds(10000));  // waits for its turn
    std::this_thread::sleep_for(milliseconds(100));
    loop.stop();
    const auto ended = wait_for(2);
    ASSERT_EQ(ended.size(), 2u);
    for (const auto& [key, outcome] : ended) {
        const std::string& why = outcome.turn ? outcome.result.failure : outcome.refused;
        EXPECT_EQ(why, kStoppingReason);
        EXPECT_TRUE(!outcome.turn || outcome.result.busy) << "a stop is no lost link";
    }
}

}  // namespace
