// How scrapes share the exporter: one at a time per target (a device is
// asked one request at a time, as the console asks it), and at most
// `limit` targets at once. A scrape that finds its target busy or every
// slot taken waits, but only until its deadline (Prometheus's own scrape
// timeout): then it is refused, and the caller says so.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>

class ProbeGate {
public:
    using Clock = std::chrono::steady_clock;

    explicit ProbeGate(int limit) : limit_(limit < 1 ? 1 : limit) {}

    // Why a wait ended without a turn.
    enum class Refused { kTargetBusy, kSlotsTaken };
    // Takes the target and a slot; false, having taken nothing, when the
    // deadline passes first, with `why` (when given) saying what still
    // stood in the way: the target's own scrape, or every slot.
    bool enter(const std::string& target, Clock::time_point deadline, Refused* why = nullptr);
    // Gives back what `enter` took.
    void leave(const std::string& target);

    int limit() const { return limit_; }

private:
    const int limit_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int running_ = 0;
    std::set<std::string> busy_;
};
