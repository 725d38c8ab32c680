// The Prometheus text format of a probe and of the exporter's own health.
//
// A probe shows the series of the generated snmp_exporter module, by the
// same names, labels and types and with the values as the device sent them,
// so the recording rules, alerts and dashboard read either exporter. Its
// scrape series are snmp_exporter's too, with their meaning, and one more:
// tarvik_probe_success. A failed scrape shows only those, with
// snmp_scrape_pdus_returned 0, which is what the rules take for a lost link
// (snmp_exporter fails the whole HTTP scrape instead).
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "exporter/probe.h"
#include "fleet/prometheus_export.h"

// A label value in the text format: backslash, double quote and line feed
// escaped, and each octet that is not part of valid UTF-8 replaced by
// U+FFFD (Prometheus refuses a scrape with an invalid label value).
std::string label_value(const std::string& text);
// A sample value: the shortest decimal that reads back ("42", "-1699",
// "0.0107"), or NaN / +Inf / -Inf.
std::string sample_value(double value);

// The whole answer to /probe.
std::string probe_exposition(const ProbeResult& result, const std::vector<RawMetric>& metrics);

// Why a probe was refused, for the exporter's own count of refusals.
enum class Refusal { kBadRequest, kForbidden, kUnauthorized, kBusy, kTooManyTargets };

// The exporter's own health, shown at /metrics: per target, scrapes and the
// SNMP requests, answers, timeouts and errors; the scrapes' durations; the
// scrapes in flight and waiting for a slot; refused requests by reason.
// Safe to use from every HTTP thread at once.
class ExporterStats {
public:
    ExporterStats();

    void record(const std::string& target, const ProbeResult& result);
    void refused(Refusal reason);
    void scrape_started();  // has a slot
    void scrape_ended();
    void waiting_started();  // waits for a slot
    void waiting_ended();
    // The records kept (exporter/target_records.h), and one dropped: its
    // counters go with it.
    void set_targets(size_t count);
    void forget(const std::string& target);

    std::string exposition(const std::string& version) const;

    // The upper bounds of the duration histogram's buckets, in seconds.
    static const std::vector<double>& duration_buckets();

private:
    struct PerTarget {
        uint64_t scrapes = 0;
        uint64_t failed = 0;
        uint64_t requests = 0;
        uint64_t answers = 0;
        uint64_t timeouts = 0;
        uint64_t errors = 0;
        uint64_t identifications = 0;
    };
    mutable std::mutex mutex_;
    std::map<std::string, PerTarget> targets_;
    std::vector<uint64_t> bucket_counts_;
    uint64_t duration_count_ = 0;
    double duration_sum_ = 0;
    std::map<Refusal, uint64_t> refusals_;
    int64_t in_flight_ = 0;
    int64_t waiting_ = 0;
    size_t records_ = 0;
};
