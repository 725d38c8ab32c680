// One scrape per target, at most `limit` at once.
#include "exporter/probe_gate.h"

bool ProbeGate::enter(const std::string& target, Clock::time_point deadline, Refused* why) {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool free = changed_.wait_until(
        lock, deadline, [&] { return running_ < limit_ && busy_.count(target) == 0; });
    if (!free) {
        if (why != nullptr) {
            *why = busy_.count(target) != 0 ? Refused::kTargetBusy : Refused::kSlotsTaken;
        }
        return false;
    }
    ++running_;
    busy_.insert(target);
    return true;
}

void ProbeGate::leave(const std::string& target) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        --running_;
        busy_.erase(target);
    }
    // Every waiter: the one for this target and one for the slot may differ.
    changed_.notify_all();
}
