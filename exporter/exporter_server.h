// tarvik-exporter's HTTP side (cpp-httplib): /probe?target=HOST[:PORT]
// reads one transceiver, /metrics shows the exporter's own health, / links
// both. Every request is checked before anything is sent to a device: the
// parameters (400), the credentials (401), the target against the allowed
// ones (403); a scrape that cannot get its turn before Prometheus gives up
// on it is refused (503). Each refusal says why in its body and is counted.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "exporter/access.h"
#include "exporter/exposition.h"
#include "exporter/probe.h"
#include "exporter/probe_gate.h"
#include "exporter/target_records.h"
#include "exporter/web_config.h"
#include "fleet/prometheus_export.h"

namespace httplib {
class Server;
}

constexpr const char* kDefaultListenAddress = kTarvikExporterAddress;
constexpr int kDefaultMaxConcurrent = 256;
// The scrape timeout when Prometheus sends none (its own default), and the
// part of it kept back so that the answer reaches Prometheus in time.
constexpr double kDefaultScrapeTimeoutSeconds = 10;
constexpr double kTimeoutOffsetSeconds = 0.5;
// The scrape timeouts taken: Prometheus's own bounds are an interval's, but
// a scrape of five requests of at most 2 s each never needs more than a
// minute, and a day past that is a mistake or an attack.
constexpr double kLongestScrapeTimeoutSeconds = 24 * 3600;
constexpr double kLongestScrapeBudgetSeconds = 60;

struct ExporterSettings {
    std::string listen_address = kDefaultListenAddress;
    int max_concurrent = kDefaultMaxConcurrent;
    std::chrono::seconds identification_interval = kDefaultIdentificationInterval;
    size_t max_targets = kDefaultMaxTargets;
    std::chrono::seconds target_idle_timeout = kDefaultTargetIdleTimeout;
    std::string version;
};

// The time a scrape may take, from the X-Prometheus-Scrape-Timeout-Seconds
// header's value (empty: no header): the timeout less the offset (half the
// timeout when it is that short), at most kLongestScrapeBudgetSeconds.
// False for a value that is not a decimal number of seconds (digits, one
// optional point: as Prometheus writes it) above 0 and at most
// kLongestScrapeTimeoutSeconds.
bool scrape_budget(const std::string& header, std::chrono::duration<double>* budget);

class ExporterServer {
public:
    ExporterServer(ExporterSettings settings, TargetPolicy policy, Communities communities,
                   const WebConfig& web);
    ~ExporterServer();
    ExporterServer(const ExporterServer&) = delete;
    ExporterServer& operator=(const ExporterServer&) = delete;

    // Binds the listening socket; false with `*error` when the address is
    // not HOST:PORT or cannot be bound, or the TLS files cannot be loaded.
    bool bind(std::string* error);
    int port() const { return port_; }
    // Serves until stop(); false when serving failed.
    bool serve();
    // From any thread, a signal handler excepted.
    void stop();

private:
    struct Reply;
    Reply probe(const std::string& query_target, const std::string& timeout_header,
                const std::multimap<std::string, std::string>& params);

    ExporterSettings settings_;
    TargetPolicy policy_;
    Communities communities_;
    WebConfig web_;
    BasicAuth auth_;
    std::unique_ptr<httplib::Server> server_;
    int port_ = 0;
    ExporterStats stats_;
    ProbeGate gate_;
    std::atomic<bool> stopping_{false};
    TargetRecords records_;
    const std::vector<RawMetric> metrics_;
};
