// One scrape of one transceiver: the console's runs, each one GetRequest,
// checked and decoded by the monitor's own fetch, and the values kept as
// the device sent them for the exposition. The identification is read at
// the first scrape, then again once it is older than the interval, and
// whenever the device may have been restarted or replaced, so that its
// family may be another: after a scrape that failed, and after one that
// found a counter gone back.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/device_readings.h"
#include "device/parameter_catalog.h"
#include "monitor/parameter_fetch.h"
#include "snmp/agent_link.h"

using ProbeClock = std::chrono::steady_clock;

// The identification items the exporter reads: 1 to 7. Item 8 is the key,
// a secret that no series shows, so it is never asked for.
constexpr CatalogRun kProbeIdentificationRun = catalog_run(Param::kIdItem1, Param::kIdItem7);
constexpr std::chrono::seconds kDefaultIdentificationInterval{600};
// Why a scrape still running when the exporter stops is refused.
constexpr char kStoppingReason[] = "the exporter is stopping";

// A value as the device sent it: a text for the identification rows, else
// the 32-bit number, signed for INTEGER and unsigned for the other types.
struct RawValue {
    Param row;
    double number = 0;
    std::string text;
};

// What one scrape did and found.
struct ProbeResult {
    bool success = false;  // every run answered with a usable answer
    // The scrape's deadline, not the device, ended it: too little time was
    // left for the target's usual answers (its previous scrape held it, or
    // the scrape waited for a turn), or the exporter stopped during it. No
    // evidence of a lost link.
    bool busy = false;
    bool identified = false;  // the identification run was part of it
    int requests = 0;         // GetRequests sent
    int answers = 0;          // usable answers
    int timeouts = 0;         // requests that got no answer in time
    int errors = 0;           // answers with an error status, refused by the checks,
                              // too long or undecodable, and requests not sent
    int values_returned = 0;  // bindings in the usable answers
    std::string failure;      // why it failed, for the log; empty on success
    std::chrono::duration<double> duration{0};
    int32_t family = kFamily350;  // as the console decodes it from item 2
    // On success: the identification rows (the last read), then the
    // numbers of this scrape, in catalog order.
    std::vector<RawValue> values;
};

// The state kept per target between scrapes. One scrape at a time: the
// owner serialises them (exporter/probe_gate.h).
class TargetProbe {
public:
    // `target` as Prometheus passes it: HOST, HOST:PORT, [IPv6]:PORT.
    TargetProbe(std::string target, std::string community);

    // Reads the device, giving up once `deadline` has passed (each answer
    // is awaited at most the console's two seconds, and never past it).
    // The first run without a usable answer ends the scrape: a silent
    // device costs one wait, not five. A run is not sent when the time left
    // is less than the runs still to go take at the target's answer time
    // (from its last good scrape): the result is then busy. `stop`, when
    // set, cancels at once.
    ProbeResult scrape(ProbeClock::time_point deadline,
                       std::chrono::seconds identification_interval,
                       const std::atomic<bool>* stop = nullptr);

    const std::string& target() const { return target_; }

private:
    friend class ScrapeRun;
    // What a scrape that ended found, kept for the next and put in `out`.
    void take(ProbeClock::time_point started,
              const std::array<std::string, kProbeIdentificationRun.count>& id_texts,
              const std::vector<RawValue>& numbers, ProbeResult* out);
    bool identification_due(ProbeClock::time_point now,
                            std::chrono::seconds identification_interval) const;

    std::string target_;
    std::string community_;
    DeviceReadings readings_;
    bool identified_ = false;
    ProbeClock::time_point identified_at_{};
    std::array<std::string, kProbeIdentificationRun.count> id_texts_;
    // The device's counters at the last scrape, to see one go back.
    std::vector<RawValue> counters_;
    // How long a request took, on average, in the last good scrape.
    ProbeClock::duration answer_time_{0};
};

// One scrape in flight, for an owner that waits on many at once: it never
// blocks. The constructor sends the first request (or finishes at once);
// the owner then calls readable() when socket() has datagrams and
// timed_out() once wait_end() has passed, until finished(). The target
// probe must outlive it, and runs one scrape at a time.
class ScrapeRun {
public:
    // `resolved`, when given, is the target as an address (HOST:PORT) its
    // name was looked up to beforehand, so that no lookup blocks here; or,
    // starting with '!', why the lookup failed.
    ScrapeRun(TargetProbe& probe, ProbeClock::time_point deadline,
              std::chrono::seconds identification_interval,
              const std::string& resolved = std::string());
    ~ScrapeRun();
    ScrapeRun(const ScrapeRun&) = delete;
    ScrapeRun& operator=(const ScrapeRun&) = delete;

    bool finished() const { return finished_; }
    int socket() const;  // -1 once finished
    ProbeClock::time_point wait_end() const { return wait_end_; }
    void readable(ProbeClock::time_point now);
    void timed_out(ProbeClock::time_point now);
    void cancel();
    const ProbeResult& result() const { return result_; }

private:
    void send_next(ProbeClock::time_point now);
    void answered(MessagePtr answer, ProbeClock::time_point now);
    void finish(const std::string& failure);

    TargetProbe& probe_;
    const ProbeClock::time_point deadline_;
    const ProbeClock::time_point started_;
    std::unique_ptr<AgentLink> link_;
    std::vector<CatalogRun> runs_;
    size_t run_ = 0;
    MessagePtr request_;
    int32_t request_id_ = 0;
    ProbeClock::time_point wait_end_{};
    bool finished_ = false;
    std::string reported_;
    std::array<std::string, kProbeIdentificationRun.count> id_texts_;
    std::vector<RawValue> numbers_;
    ProbeResult result_;
};

// Looks `target` (HOST:PORT) up, blocking: its address as HOST:PORT, or
// "!" and why the lookup failed, as ScrapeRun takes it.
std::string resolve_target(const std::string& target);

// The runs a scrape reads, in order, the identification first when due.
std::vector<CatalogRun> probe_runs(bool with_identification);
