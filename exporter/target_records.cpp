// Bounded records of the targets scraped, the idle ones dropped.
#include "exporter/target_records.h"

std::shared_ptr<TargetRecord> TargetRecords::take(const std::string& key,
                                                  const std::string& community,
                                                  ProbeClock::time_point now,
                                                  std::vector<std::string>* dropped) {
    const std::lock_guard<std::mutex> lock(mutex_);
    while (!order_.empty()) {
        const auto oldest = entries_.find(order_.back());
        if (now - oldest->second.used < idle_timeout_) {
            break;
        }
        dropped->push_back(order_.back());
        entries_.erase(oldest);
        order_.pop_back();
    }
    const auto found = entries_.find(key);
    if (found != entries_.end()) {
        found->second.used = now;
        order_.splice(order_.begin(), order_, found->second.order);
        return found->second.record;
    }
    if (entries_.size() >= most_) {
        return nullptr;
    }
    order_.push_front(key);
    Entry& entry = entries_[key];
    entry.record = std::make_shared<TargetRecord>(key, community);
    entry.used = now;
    entry.order = order_.begin();
    return entry.record;
}

bool TargetRecords::holds(const std::string& key,
                          const std::shared_ptr<TargetRecord>& record) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = entries_.find(key);
    return found != entries_.end() && found->second.record == record;
}

size_t TargetRecords::size() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
}
