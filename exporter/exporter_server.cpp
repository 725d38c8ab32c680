// The exporter's HTTP handlers over cpp-httplib.
#include "exporter/exporter_server.h"

#include <httplib.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <thread>
#include <vector>

#include "snmp/agent_link.h"
#include "snmp/net.h"

namespace {

constexpr char kTextFormat[] = "text/plain; version=0.0.4; charset=utf-8";
constexpr char kPlainText[] = "text/plain; charset=utf-8";
constexpr char kTimeoutHeader[] = "X-Prometheus-Scrape-Timeout-Seconds";
// Requests are small: a URL and a few headers.
constexpr size_t kLongestBody = 4096;
// Threads that wait on a target or a slot cost little; scrapes beyond the
// pool wait in the server's queue, and that wait counts against their
// timeout.
constexpr int kExtraThreads = 16;
// An idle keep-alive connection holds a server thread; Prometheus opens
// another when it needs one.
constexpr time_t kKeepAliveSeconds = 2;

const char kIndex[] =
    "<html><head><title>Tarvik exporter</title></head><body>\n"
    "<h1>Tarvik exporter</h1>\n"
    "<p><a href=\"metrics\">The exporter's own metrics</a></p>\n"
    "<p>A transceiver: <code>/probe?target=HOST[:PORT]</code></p>\n"
    "</body></html>\n";

// When the connection a server thread now serves was accepted, until its
// first request takes it: a scrape that waited in the queue for a thread
// has waited part of its timeout already.
thread_local bool t_accepted_known = false;
thread_local ProbeClock::time_point t_accepted_at;

// The request's arrival, as near as the server knows it: the connection's
// acceptance for its first request, else now. Taken for every request, as
// routing begins, into t_request_arrival.
thread_local ProbeClock::time_point t_request_arrival;
ProbeClock::time_point request_arrival() {
    if (t_accepted_known) {
        t_accepted_known = false;
        return t_accepted_at;
    }
    return ProbeClock::now();
}

// cpp-httplib's thread pool, remembering when each connection was queued.
class ConnectionQueue : public httplib::TaskQueue {
public:
    explicit ConnectionQueue(size_t threads) {
        for (size_t i = 0; i < threads; ++i) {
            threads_.emplace_back([this] { work(); });
        }
    }
    ~ConnectionQueue() override { shutdown(); }

    void enqueue(std::function<void()> job) override {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            jobs_.push_back({std::move(job), ProbeClock::now()});
        }
        ready_.notify_one();
    }

    // Serves what is queued, then ends the threads.
    void shutdown() override {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        ready_.notify_all();
        for (std::thread& t : threads_) {
            if (t.joinable()) {
                t.join();
            }
        }
    }

private:
    struct Job {
        std::function<void()> run;
        ProbeClock::time_point queued;
    };

    void work() {
        for (;;) {
            Job job;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
                if (jobs_.empty()) {
                    return;
                }
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            t_accepted_known = true;
            t_accepted_at = job.queued;
            job.run();
            t_accepted_known = false;
        }
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

void log_line(const std::string& text) {
    std::fprintf(stderr, "tarvik-exporter: %s\n", text.c_str());
    std::fflush(stderr);
}

}  // namespace

struct ExporterServer::Reply {
    int status;
    std::string body;
    const char* type;
};

bool scrape_budget(const std::string& header, std::chrono::duration<double>* budget) {
    double seconds = kDefaultScrapeTimeoutSeconds;
    if (!header.empty()) {
        // No sign, exponent, hex, "inf" or "nan" that strtod would take.
        const size_t point = header.find('.');
        const bool digits =
            header.size() <= 32 && header.find_first_not_of("0123456789.") == std::string::npos;
        if (!digits || point == 0 || point + 1 == header.size() ||
            (point != std::string::npos && header.find('.', point + 1) != std::string::npos)) {
            return false;
        }
        seconds = std::strtod(header.c_str(), nullptr);
        if (!(seconds > 0 && seconds <= kLongestScrapeTimeoutSeconds)) {
            return false;
        }
    }
    *budget = std::chrono::duration<double>(std::min(
        seconds > 2 * kTimeoutOffsetSeconds ? seconds - kTimeoutOffsetSeconds : seconds / 2,
        kLongestScrapeBudgetSeconds));
    return true;
}

ExporterServer::ExporterServer(ExporterSettings settings, TargetPolicy policy,
                               Communities communities, const WebConfig& web)
    : settings_(std::move(settings)),
      policy_(std::move(policy)),
      communities_(std::move(communities)),
      web_(web),
      auth_(web.users),
      gate_(settings_.max_concurrent),
      records_(settings_.max_targets, settings_.target_idle_timeout),
      metrics_(raw_metrics()) {}

ExporterServer::~ExporterServer() = default;

ExporterServer::Reply ExporterServer::probe(const std::string& query_target,
                                            const std::string& timeout_header,
                                            const std::multimap<std::string, std::string>& params) {
    const ProbeClock::time_point received = t_request_arrival;
    for (const auto& [name, value] : params) {
        if (name == "module" && value == kExporterModule) {
            continue;
        }
        if (name != "target") {
            stats_.refused(Refusal::kBadRequest);
            const std::string why =
                name == "module"
                    ? "unknown module '" + value + "' (the only one is '" + kExporterModule + "')"
                : name == "community"
                    ? "a community is never taken from the URL (see --community-file)"
                    : "unknown parameter '" + name + "'";
            return {400, why + "\n", kPlainText};
        }
    }
    if (params.count("target") != 1 || query_target.empty()) {
        stats_.refused(Refusal::kBadRequest);
        return {400, "give one target: /probe?target=HOST[:PORT]\n", kPlainText};
    }
    std::chrono::duration<double> budget{};
    if (!scrape_budget(timeout_header, &budget)) {
        stats_.refused(Refusal::kBadRequest);
        return {400,
                std::string(kTimeoutHeader) + " is not a number of seconds above 0 and at most " +
                    sample_value(kLongestScrapeTimeoutSeconds) + "\n",
                kPlainText};
    }
    TargetName target;
    if (!parse_target(query_target, &target)) {
        stats_.refused(Refusal::kBadRequest);
        return {400, "target '" + query_target + "' is not HOST, HOST:PORT or [IPv6]:PORT\n",
                kPlainText};
    }
    const std::string key = target.endpoint();
    if (!policy_.allows(target)) {
        stats_.refused(Refusal::kForbidden);
        return {
            403,
            "target " + key +
                " is not allowed: start the exporter with --allow or --targets-file naming it\n",
            kPlainText};
    }
    std::vector<std::string> dropped;
    const std::shared_ptr<TargetRecord> record =
        records_.take(key, communities_.of(target), ProbeClock::now(), &dropped);
    for (const std::string& gone : dropped) {
        stats_.forget(gone);
    }
    stats_.set_targets(records_.size());
    if (record == nullptr) {
        stats_.refused(Refusal::kTooManyTargets);
        const std::string why = "no record for " + key + ": " + std::to_string(records_.most()) +
                                " targets scraped within --target-idle-timeout (--max-targets)";
        log_line(why);
        return {503, why + "\n", kPlainText};
    }
    const auto deadline = received + std::chrono::duration_cast<ProbeClock::duration>(budget);
    // A scrape whose time went by in the server's queue is refused, not
    // read for a Prometheus that has given up on it; the reason names
    // what stood in the way.
    const std::string within = " within the scrape's " + sample_value(budget.count()) + " s";
    std::string why;
    if (ProbeClock::now() >= deadline) {
        why = "no turn for " + key + within +
              ": the time went by before a server thread read the request";
    } else {
        stats_.waiting_started();
        ProbeGate::Refused refused = ProbeGate::Refused::kSlotsTaken;
        if (!gate_.enter(key, deadline, &refused)) {
            why = refused == ProbeGate::Refused::kTargetBusy
                      ? "target busy: " + key + "'s previous scrape still ran" + within
                      : "no turn for " + key + within + ": all " + std::to_string(gate_.limit()) +
                            " slots taken (--max-concurrent)";
        }
        stats_.waiting_ended();
    }
    if (!why.empty()) {
        stats_.refused(Refusal::kBusy);
        log_line(why);
        return {503, why + "\n", kPlainText};
    }
    stats_.scrape_started();
    // The turn is given back however the scrape ends.
    struct Turn {
        ExporterStats& stats;
        ProbeGate& gate;
        const std::string& key;
        ~Turn() {
            stats.scrape_ended();
            gate.leave(key);
        }
    } turn{stats_, gate_, key};
    const ProbeResult result =
        record->probe.scrape(deadline, settings_.identification_interval, &stopping_);
    stats_.record(key, result);
    if (result.busy) {
        stats_.refused(Refusal::kBusy);
        log_line(key + ": " + result.failure);
        return {503, result.failure + "\n", kPlainText};
    }
    // One line when a target starts or stops answering, not one a scrape.
    // The gate lets one scrape of a target run at a time.
    if (record->scraped ? record->answered != result.success : !result.success) {
        log_line(key + (result.success ? ": answers again" : ": " + result.failure));
    }
    record->scraped = true;
    record->answered = result.success;
    return {200, probe_exposition(result, metrics_), kTextFormat};
}

bool ExporterServer::bind(std::string* error) {
    std::string host;
    uint16_t port = 0;
    bool ipv6 = false;
    const std::string& address = settings_.listen_address;
    // ":PORT" listens on every IPv4 interface.
    const std::string spelled =
        !address.empty() && address[0] == ':' ? "0.0.0.0" + address : address;
    if (!split_agent_address(spelled, 0, &host, &port, &ipv6) || port == 0 || host.empty()) {
        *error = "--web.listen-address '" + address + "' is not HOST:PORT";
        return false;
    }
    if (web_.tls()) {
        auto tls =
            std::make_unique<httplib::SSLServer>(web_.cert_file.c_str(), web_.key_file.c_str());
        if (!tls->is_valid()) {
            *error = "the TLS certificate " + web_.cert_file + " or key " + web_.key_file +
                     " cannot be loaded";
            return false;
        }
        server_ = std::move(tls);
    } else {
        server_ = std::make_unique<httplib::Server>();
    }
    const int threads = settings_.max_concurrent * 2 + kExtraThreads;
    server_->new_task_queue = [threads] {
        return new ConnectionQueue(static_cast<size_t>(threads));
    };
    server_->set_payload_max_length(kLongestBody);
    // The headers and the body leave in separate writes: without this the
    // body waits for the client's delayed acknowledgement (40 ms a scrape).
    server_->set_tcp_nodelay(true);
    server_->set_keep_alive_timeout(kKeepAliveSeconds);
    server_->set_pre_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response) {
            t_request_arrival = request_arrival();
            if (!auth_.enabled() || auth_.allows(request.get_header_value("Authorization"))) {
                return httplib::Server::HandlerResponse::Unhandled;
            }
            stats_.refused(Refusal::kUnauthorized);
            response.status = 401;
            response.set_header("WWW-Authenticate", "Basic");
            response.set_content("Unauthorized\n", kPlainText);
            return httplib::Server::HandlerResponse::Handled;
        });
    server_->Get("/probe", [this](const httplib::Request& request, httplib::Response& response) {
        std::multimap<std::string, std::string> params(request.params.begin(),
                                                       request.params.end());
        const Reply reply = probe(request.get_param_value("target"),
                                  request.get_header_value(kTimeoutHeader), params);
        response.status = reply.status;
        response.set_content(reply.body, reply.type);
    });
    server_->Get("/metrics", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(stats_.exposition(settings_.version), kTextFormat);
    });
    server_->Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(kIndex, "text/html; charset=utf-8");
    });
    if (!server_->bind_to_port(host, port)) {
        *error = "cannot listen on " + address;
        return false;
    }
    port_ = port;
    return true;
}

bool ExporterServer::serve() {
    return server_ != nullptr && server_->listen_after_bind();
}

void ExporterServer::stop() {
    stopping_ = true;
    if (server_ != nullptr) {
        server_->stop();
    }
}
