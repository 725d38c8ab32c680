// tarvik-exporter's HTTP side (libmicrohttpd, one epoll thread):
// /probe?target=HOST[:PORT] reads one transceiver, /metrics shows the
// exporter's own health, / links both. Every request is checked before
// anything is sent to a device: the parameters (400), the credentials
// (401), the target against the allowed ones (403), room for its record
// (503); a scrape that cannot get its turn, or enough time for its
// requests, before Prometheus gives up on it is refused (503). Each refusal
// says why in its body and is counted.
//
// No client can tie the server up: connections are served by one event
// loop, bounded in number (in all and per address), in memory (the request
// line and headers included) and in idle time; a scrape's connection is
// suspended while its probe runs on the probe loop, and credentials are
// checked on a thread of their own, since bcrypt is slow on purpose, and
// host names are looked up on another.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "exporter/access.h"
#include "exporter/exposition.h"
#include "exporter/probe.h"
#include "exporter/probe_loop.h"
#include "exporter/target_records.h"
#include "exporter/web_config.h"
#include "fleet/prometheus_export.h"

struct MHD_Daemon;
struct MHD_Connection;

constexpr const char* kDefaultListenAddress = kTarvikExporterAddress;
constexpr int kDefaultMaxConcurrent = 4096;
// The scrape timeout when Prometheus sends none (its own default), and the
// part of it kept back so that the answer reaches Prometheus in time.
constexpr double kDefaultScrapeTimeoutSeconds = 10;
constexpr double kTimeoutOffsetSeconds = 0.5;
// The scrape timeouts taken: Prometheus's own bounds are an interval's, but
// a scrape of five requests of at most 2 s each never needs more than a
// minute, and a day past that is a mistake or an attack.
constexpr double kLongestScrapeTimeoutSeconds = 24 * 3600;
constexpr double kLongestScrapeBudgetSeconds = 60;
// The HTTP server's limits (options --web.max-connections and so on).
constexpr unsigned kDefaultMaxConnections = 4096;
constexpr unsigned kDefaultMaxConnectionsPerAddress = 1024;
constexpr unsigned kDefaultConnectionTimeoutSeconds = 10;
constexpr size_t kDefaultRequestMemory = 32 * 1024;

struct ExporterSettings {
    std::string listen_address = kDefaultListenAddress;
    int max_concurrent = kDefaultMaxConcurrent;
    std::chrono::seconds identification_interval = kDefaultIdentificationInterval;
    size_t max_targets = kDefaultMaxTargets;
    std::chrono::seconds target_idle_timeout = kDefaultTargetIdleTimeout;
    unsigned max_connections = kDefaultMaxConnections;
    unsigned max_connections_per_address = kDefaultMaxConnectionsPerAddress;
    unsigned connection_timeout_seconds = kDefaultConnectionTimeoutSeconds;
    size_t request_memory = kDefaultRequestMemory;
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

    // Starts listening (and the probe loop); false with `*error` when the
    // address is not HOST:PORT or cannot be bound, or the TLS files cannot
    // be loaded.
    bool bind(std::string* error);
    int port() const { return port_; }
    // Serves until stop(); false when serving failed.
    bool serve();
    // From any thread, a signal handler excepted.
    void stop();

    // One HTTP request, from its headers to its answer, and the server
    // library's callbacks (in the .cpp).
    struct Request;
    struct Callbacks;

private:
    void start(Request* request);
    void route(Request* request);
    void probe(Request* request);
    void finish(Request* request, int status, std::string body, const char* type);
    void check_credentials();
    void look_up_names();

    ExporterSettings settings_;
    TargetPolicy policy_;
    Communities communities_;
    WebConfig web_;
    BasicAuth auth_;
    MHD_Daemon* daemon_ = nullptr;
    int port_ = 0;
    ExporterStats stats_;
    ProbeLoop loop_;
    TargetRecords records_;
    const std::vector<RawMetric> metrics_;
    std::atomic<bool> stopping_{false};
    std::mutex stop_mutex_;
    std::condition_variable stopped_;
    // Requests waiting for their credentials' check, and its thread.
    std::mutex checks_mutex_;
    std::condition_variable checks_ready_;
    std::deque<Request*> checks_;
    std::thread checker_;
    // Scrapes of a target named by a host name wait for its lookup here, on
    // a thread of its own: a slow resolver holds up no other scrape.
    std::mutex lookups_mutex_;
    std::condition_variable lookups_ready_;
    std::deque<std::unique_ptr<ProbeJob>> lookups_;
    std::thread resolver_;
};
