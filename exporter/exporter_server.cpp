// The exporter's HTTP handlers over libmicrohttpd.
#include "exporter/exporter_server.h"

#include <microhttpd.h>
#include <netinet/in.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "snmp/agent_link.h"
#include "snmp/net.h"

namespace {

constexpr char kTextFormat[] = "text/plain; version=0.0.4; charset=utf-8";
constexpr char kPlainText[] = "text/plain; charset=utf-8";
constexpr char kTimeoutHeader[] = "X-Prometheus-Scrape-Timeout-Seconds";
// Connections waiting to be accepted: a burst of Prometheus's scrapes does
// not wait for a retransmitted SYN.
constexpr unsigned kListenBacklog = 1024;
// Requests whose credentials wait for their check: a flood of wrong
// passwords costs at most this many bcrypt checks' time.
constexpr size_t kMostWaitingChecks = 64;
// Scrapes waiting for their target's name to be looked up.
constexpr size_t kMostWaitingLookups = 1024;

const char kIndex[] =
    "<html><head><title>Tarvik exporter</title></head><body>\n"
    "<h1>Tarvik exporter</h1>\n"
    "<p><a href=\"metrics\">The exporter's own metrics</a></p>\n"
    "<p>A transceiver: <code>/probe?target=HOST[:PORT]</code></p>\n"
    "</body></html>\n";

void log_line(const std::string& text) {
    std::fprintf(stderr, "tarvik-exporter: %s\n", text.c_str());
    std::fflush(stderr);
}

}  // namespace

struct ExporterServer::Request {
    MHD_Connection* connection = nullptr;
    // When its request line was read: a scrape counts its time from there,
    // so that headers sent slowly count too. (Not from the connection's
    // acceptance: a client may keep a connection idle in its pool before
    // its first request.)
    ProbeClock::time_point arrival = ProbeClock::now();
    bool read = false;  // the headers taken in
    std::string path;
    bool get = false;
    std::multimap<std::string, std::string> params;
    std::string timeout_header;
    std::string authorization;
    bool started = false;
    bool suspended = false;
    // The answer, once known; queued by the server's thread.
    bool answered = false;
    bool queued = false;
    int status = 0;
    std::string body;
    const char* type = kPlainText;
};

struct ExporterServer::Callbacks {
    static MHD_Result request(void* self, MHD_Connection* connection, const char* url,
                              const char* method, const char* /*version*/,
                              const char* /*upload_data*/, size_t* upload_data_size,
                              void** context) {
        auto* server = static_cast<ExporterServer*>(self);
        auto* request = static_cast<Request*>(*context);
        if (request == nullptr) {
            request = new Request;
            *context = request;
        }
        if (!request->read) {
            request->read = true;
            request->connection = connection;
            request->path = url;
            request->get = std::strcmp(method, "GET") == 0 || std::strcmp(method, "HEAD") == 0;
            MHD_get_connection_values_n(connection, MHD_GET_ARGUMENT_KIND, &parameter, request);
            const char* timeout =
                MHD_lookup_connection_value(connection, MHD_HEADER_KIND, kTimeoutHeader);
            request->timeout_header = timeout != nullptr ? timeout : "";
            // Present but empty is not the same as absent.
            if (timeout != nullptr && request->timeout_header.empty()) {
                request->timeout_header = " ";
            }
            const char* authorization =
                MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Authorization");
            request->authorization = authorization != nullptr ? authorization : "";
            // A GET is answered once the whole request is in: an answer
            // queued earlier would cost the connection its keep-alive.
            // Anything else is refused at once, its body never read.
            if (request->get) {
                return MHD_YES;
            }
            request->started = true;
            server->finish(request, 405, "only GET\n", kPlainText);
        }
        if (*upload_data_size != 0) {
            // A body is not read: a GET has none worth keeping.
            *upload_data_size = 0;
            return MHD_YES;
        }
        if (!request->started) {
            request->started = true;
            server->start(request);
        }
        if (!request->answered || request->queued) {
            return MHD_YES;
        }
        request->queued = true;
        MHD_Response* response = MHD_create_response_from_buffer(
            request->body.size(), request->body.data(), MHD_RESPMEM_MUST_COPY);
        if (response == nullptr) {
            return MHD_NO;
        }
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, request->type);
        if (request->status == MHD_HTTP_UNAUTHORIZED) {
            MHD_add_response_header(response, MHD_HTTP_HEADER_WWW_AUTHENTICATE, "Basic");
        }
        const MHD_Result queued =
            MHD_queue_response(connection, static_cast<unsigned>(request->status), response);
        MHD_destroy_response(response);
        return queued;
    }

    static MHD_Result parameter(void* context, MHD_ValueKind, const char* key, size_t key_size,
                                const char* value, size_t value_size) {
        auto* request = static_cast<Request*>(context);
        // Sized, not C strings: a NUL inside a value stays in it, and the
        // target check refuses it.
        request->params.emplace(std::string(key, key_size),
                                value != nullptr ? std::string(value, value_size) : "");
        return MHD_YES;
    }

    static void completed(void*, MHD_Connection*, void** context, MHD_RequestTerminationCode) {
        delete static_cast<Request*>(*context);
        *context = nullptr;
    }

    // Called once the request line is read; what it returns is the
    // request's context from then on.
    static void* request_line(void*, const char*, MHD_Connection*) { return new Request; }
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
      loop_(settings_.max_concurrent, settings_.identification_interval, stats_),
      records_(settings_.max_targets, settings_.target_idle_timeout),
      metrics_(raw_metrics()) {}

ExporterServer::~ExporterServer() {
    stop();
    if (checker_.joinable()) {
        checker_.join();
    }
    if (resolver_.joinable()) {
        resolver_.join();
    }
    loop_.stop();
    if (daemon_ != nullptr) {
        MHD_stop_daemon(daemon_);
    }
}

void ExporterServer::finish(Request* request, int status, std::string body, const char* type) {
    request->status = status;
    request->body = std::move(body);
    request->type = type;
    request->answered = true;
    if (request->suspended) {
        // The server's thread queues it when it takes the connection back.
        request->suspended = false;
        MHD_resume_connection(request->connection);
    }
}

void ExporterServer::start(Request* request) {
    if (!auth_.enabled() || auth_.allows_from_memory(request->authorization)) {
        route(request);
        return;
    }
    // A bcrypt check takes tens of milliseconds: not on the server's thread.
    {
        const std::lock_guard<std::mutex> lock(checks_mutex_);
        if (checks_.size() < kMostWaitingChecks && !stopping_) {
            request->suspended = true;
            MHD_suspend_connection(request->connection);
            checks_.push_back(request);
            checks_ready_.notify_one();
            return;
        }
    }
    stats_.refused(Refusal::kUnauthorized);
    finish(request, 503, "too many credential checks at once\n", kPlainText);
}

void ExporterServer::check_credentials() {
    for (;;) {
        Request* request = nullptr;
        {
            std::unique_lock<std::mutex> lock(checks_mutex_);
            checks_ready_.wait(lock, [this] { return stopping_ || !checks_.empty(); });
            if (checks_.empty()) {
                return;
            }
            request = checks_.front();
            checks_.pop_front();
        }
        if (stopping_) {
            finish(request, 503, "the exporter is stopping\n", kPlainText);
        } else if (auth_.allows(request->authorization)) {
            route(request);
        } else {
            stats_.refused(Refusal::kUnauthorized);
            finish(request, 401, "Unauthorized\n", kPlainText);
        }
    }
}

void ExporterServer::look_up_names() {
    for (;;) {
        std::unique_ptr<ProbeJob> job;
        {
            std::unique_lock<std::mutex> lock(lookups_mutex_);
            lookups_ready_.wait(lock, [this] { return stopping_ || !lookups_.empty(); });
            if (lookups_.empty()) {
                return;
            }
            job = std::move(lookups_.front());
            lookups_.pop_front();
        }
        if (stopping_ || ProbeClock::now() >= job->deadline) {
            ProbeOutcome outcome;
            outcome.refused = stopping_ ? "the exporter is stopping"
                                        : "the time went by while its name was looked up";
            job->done(outcome);
            continue;
        }
        job->resolved = resolve_target(job->key);
        loop_.submit(std::move(job));
    }
}

void ExporterServer::route(Request* request) {
    if (request->path == "/probe") {
        probe(request);
    } else if (request->path == "/metrics") {
        stats_.set_targets(records_.size());
        finish(request, 200, stats_.exposition(settings_.version), kTextFormat);
    } else if (request->path == "/") {
        finish(request, 200, kIndex, "text/html; charset=utf-8");
    } else {
        finish(request, 404, "Not Found\n", kPlainText);
    }
}

void ExporterServer::probe(Request* request) {
    const auto refuse = [this, request](Refusal reason, int status, const std::string& why) {
        stats_.refused(reason);
        if (status == 503) {
            log_line(why);
        }
        finish(request, status, why + "\n", kPlainText);
    };
    for (const auto& [name, value] : request->params) {
        if (name == "module" && value == kExporterModule) {
            continue;
        }
        if (name != "target") {
            return refuse(Refusal::kBadRequest, 400,
                          name == "module" ? "unknown module '" + value + "' (the only one is '" +
                                                 kExporterModule + "')"
                          : name == "community"
                              ? "a community is never taken from the URL (see --community-file)"
                              : "unknown parameter '" + name + "'");
        }
    }
    const auto target_param = request->params.find("target");
    if (request->params.count("target") != 1 || target_param->second.empty()) {
        return refuse(Refusal::kBadRequest, 400, "give one target: /probe?target=HOST[:PORT]");
    }
    const std::string& query_target = target_param->second;
    std::chrono::duration<double> budget{};
    if (!scrape_budget(request->timeout_header, &budget)) {
        return refuse(Refusal::kBadRequest, 400,
                      std::string(kTimeoutHeader) +
                          " is not a number of seconds above 0 and at most " +
                          sample_value(kLongestScrapeTimeoutSeconds));
    }
    TargetName target;
    if (!parse_target(query_target, &target)) {
        return refuse(
            Refusal::kBadRequest, 400,
            "target '" + label_value(query_target) + "' is not HOST, HOST:PORT or [IPv6]:PORT");
    }
    const std::string key = target.endpoint();
    if (!policy_.allows(target)) {
        return refuse(
            Refusal::kForbidden, 403,
            "target " + key +
                " is not allowed: start the exporter with --allow or --targets-file naming it");
    }
    std::vector<std::string> dropped;
    std::shared_ptr<TargetRecord> record =
        records_.take(key, communities_.of(target), ProbeClock::now(), &dropped);
    for (const std::string& gone : dropped) {
        stats_.forget(gone);
    }
    stats_.set_targets(records_.size());
    if (record == nullptr) {
        return refuse(Refusal::kTooManyTargets, 503,
                      "no record for " + key + ": " + std::to_string(records_.most()) +
                          " targets scraped within --target-idle-timeout (--max-targets)");
    }
    const std::string within = " within the scrape's " + sample_value(budget.count()) + " s";
    auto job = std::make_unique<ProbeJob>();
    job->key = key;
    job->record = std::move(record);
    job->budget = budget;
    job->deadline = request->arrival + std::chrono::duration_cast<ProbeClock::duration>(budget);
    if (ProbeClock::now() >= job->deadline) {
        return refuse(Refusal::kBusy, 503,
                      "no turn for " + key + within + ": the time went by before it was read");
    }
    job->done = [this, request, key, within, record = job->record](const ProbeOutcome& outcome) {
        if (!outcome.turn) {
            stats_.refused(Refusal::kBusy);
            const std::string why = "no turn for " + key + within + ": " + outcome.refused;
            log_line(why);
            finish(request, 503, why + "\n", kPlainText);
            return;
        }
        const ProbeResult& result = outcome.result;
        // A record dropped meanwhile took its counters with it: they are
        // not made again for a target no longer kept.
        if (records_.holds(key, record)) {
            stats_.record(key, result);
        }
        if (result.busy) {
            stats_.refused(Refusal::kBusy);
            log_line(key + ": " + result.failure);
            finish(request, 503, result.failure + "\n", kPlainText);
            return;
        }
        // One line when a target starts or stops answering, not one a
        // scrape. The loop runs one scrape of a target at a time.
        if (record->scraped ? record->answered != result.success : !result.success) {
            log_line(key + (result.success ? ": answers again" : ": " + result.failure));
        }
        record->scraped = true;
        record->answered = result.success;
        finish(request, 200, probe_exposition(result, metrics_), kTextFormat);
    };
    if (!target.numeric) {
        const std::lock_guard<std::mutex> lock(lookups_mutex_);
        if (lookups_.size() >= kMostWaitingLookups) {
            return refuse(Refusal::kBusy, 503,
                          "no turn for " + key + ": " + std::to_string(kMostWaitingLookups) +
                              " scrapes wait for their names' lookup");
        }
    }
    // After a credentials' check the connection is suspended already.
    if (!request->suspended) {
        request->suspended = true;
        MHD_suspend_connection(request->connection);
    }
    if (target.numeric) {
        loop_.submit(std::move(job));
        return;
    }
    const std::lock_guard<std::mutex> lock(lookups_mutex_);
    lookups_.push_back(std::move(job));
    lookups_ready_.notify_one();
}

bool ExporterServer::bind(std::string* error) {
    std::string host;
    uint16_t port = 0;
    bool ipv6 = false;
    const std::string& address = settings_.listen_address;
    // ":PORT" listens on every IPv4 interface.
    const std::string spelled =
        !address.empty() && address[0] == ':' ? "0.0.0.0" + address : address;
    SocketAddress listen{};
    if (!split_agent_address(spelled, 0, &host, &port, &ipv6) || port == 0 || host.empty() ||
        !numeric_address(host == "localhost" ? "127.0.0.1" : host, &listen)) {
        *error = "--web.listen-address '" + address + "' is not HOST:PORT (HOST an address)";
        return false;
    }
    set_address_port(&listen, port);
    std::string key;
    std::string cert;
    if (web_.tls()) {
        std::string why;
        if (!read_small_file(web_.cert_file, 1 << 20, &cert, &why) ||
            !read_small_file(web_.key_file, 1 << 20, &key, &why)) {
            *error = "the TLS certificate " + web_.cert_file + " or key " + web_.key_file +
                     " cannot be loaded: " + why;
            return false;
        }
        if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
            *error = "this libmicrohttpd has no TLS";
            return false;
        }
    }
    std::string why;
    if (!loop_.start(&why)) {
        *error = why;
        return false;
    }
    // No MHD_USE_ERROR_LOG: what a hostile client does wrong is answered
    // and counted, not a line on the log each time.
    unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME;
    if (address_family(listen) == AF_INET6) {
        flags |= MHD_USE_IPv6;
    }
    if (web_.tls()) {
        flags |= MHD_USE_TLS;
    }
    std::vector<MHD_OptionItem> options = {
        {MHD_OPTION_CONNECTION_LIMIT, settings_.max_connections, nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, settings_.max_connections_per_address, nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, settings_.connection_timeout_seconds, nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(settings_.request_memory),
         nullptr},
        {MHD_OPTION_LISTEN_BACKLOG_SIZE, kListenBacklog, nullptr},
        {MHD_OPTION_SOCK_ADDR, 0, &listen.any},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&Callbacks::completed), this},
        {MHD_OPTION_URI_LOG_CALLBACK, reinterpret_cast<intptr_t>(&Callbacks::request_line), this},
    };
    if (web_.tls()) {
        options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, cert.data()});
        options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, key.data()});
    }
    options.push_back({MHD_OPTION_END, 0, nullptr});
    daemon_ = MHD_start_daemon(flags, 0, nullptr, nullptr, &Callbacks::request, this,
                               MHD_OPTION_ARRAY, options.data(), MHD_OPTION_END);
    if (daemon_ == nullptr) {
        *error = web_.tls() ? "cannot listen on " + address + " with the TLS certificate " +
                                  web_.cert_file + " and key " + web_.key_file
                            : "cannot listen on " + address;
        return false;
    }
    port_ = port;
    if (auth_.enabled()) {
        checker_ = std::thread([this] { check_credentials(); });
    }
    resolver_ = std::thread([this] { look_up_names(); });
    return true;
}

bool ExporterServer::serve() {
    if (daemon_ == nullptr) {
        return false;
    }
    std::unique_lock<std::mutex> lock(stop_mutex_);
    stopped_.wait(lock, [this] { return stopping_.load(); });
    return true;
}

void ExporterServer::stop() {
    {
        const std::lock_guard<std::mutex> lock(stop_mutex_);
        stopping_ = true;
    }
    stopped_.notify_all();
    // Each waiter sees the flag before it waits, or is woken after it.
    {
        const std::lock_guard<std::mutex> lock(checks_mutex_);
        checks_ready_.notify_all();
    }
    const std::lock_guard<std::mutex> lock(lookups_mutex_);
    lookups_ready_.notify_all();
}
