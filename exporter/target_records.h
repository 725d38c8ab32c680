// The exporter's record of each target it scrapes: the probe's state kept
// between scrapes (exporter/probe.h) and whether the last scrape answered.
// Whoever reaches the exporter chooses targets, so the records are bounded:
// one unscraped for the idle timeout is dropped, and past the most records
// a new target is refused until one is dropped. Time is handed in.
#pragma once

#include <chrono>
#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "exporter/probe.h"

constexpr size_t kDefaultMaxTargets = 10000;
constexpr std::chrono::seconds kDefaultTargetIdleTimeout{3600};

struct TargetRecord {
    explicit TargetRecord(const std::string& key, const std::string& community)
        : probe(key, community) {}
    TargetProbe probe;
    bool answered = false;  // the last scrape's success
    bool scraped = false;   // any scrape ended yet
};

class TargetRecords {
public:
    TargetRecords(size_t most, std::chrono::seconds idle_timeout)
        : most_(most), idle_timeout_(idle_timeout) {}

    // The record of `key`, made with `community` when there is none and
    // room for one; null when the records are full. Drops the records idle
    // longer than the timeout first, and hands their keys to `dropped`.
    std::shared_ptr<TargetRecord> take(const std::string& key, const std::string& community,
                                       ProbeClock::time_point now,
                                       std::vector<std::string>* dropped);
    size_t size() const;
    // Whether `record` is still the one kept for `key` (a scrape may end
    // after its record was dropped).
    bool holds(const std::string& key, const std::shared_ptr<TargetRecord>& record) const;
    size_t most() const { return most_; }

private:
    struct Entry {
        std::shared_ptr<TargetRecord> record;
        ProbeClock::time_point used;
        std::list<std::string>::iterator order;
    };
    const size_t most_;
    const std::chrono::seconds idle_timeout_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;
    // Keys from the most recently used to the least: the idle ones are at
    // the back, so dropping them costs nothing per scrape.
    std::list<std::string> order_;
};
