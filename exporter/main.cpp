// tarvik-exporter: a Prometheus exporter of Tarvik transceivers on the
// console's own poll.
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "exporter/exporter_server.h"
#include "process/stop_signals.h"
#include "snmp/agent_link.h"
#include "snmp/diagnostic.h"

namespace {

constexpr char kUsage[] =
    "usage: tarvik-exporter [--web.listen-address HOST:PORT] [--allow CIDR|HOST]...\n"
    "                       [--targets-file FILE] [--community-file FILE]\n"
    "                       [--web.config.file FILE] [--max-concurrent N]\n"
    "                       [--identification-interval SECONDS]\n"
    "                       [--max-targets N] [--target-idle-timeout SECONDS]\n"
    "                       [--web.max-connections N] [--web.max-connections-per-ip N]\n"
    "                       [--web.connection-timeout SECONDS] [--web.max-request-bytes N]\n"
    "       tarvik-exporter --help | --version\n"
    "\n"
    "A Prometheus exporter of Tarvik transceivers: /probe?target=HOST[:PORT] reads\n"
    "one device with the console's five requests and shows the series of the\n"
    "snmp_exporter module in /usr/share/tarvik/prometheus/snmp.yml; /metrics shows\n"
    "the exporter's own health.\n"
    "\n"
    "  --web.listen-address HOST:PORT   where to listen (default %s)\n"
    "  --allow CIDR|HOST                a network or host that may be probed (repeatable)\n"
    "  --targets-file FILE              the targets that may be probed, one a line\n"
    "  --community-file FILE            COMMUNITY, or TARGET COMMUNITY lines (default \"%s\")\n"
    "  --web.config.file FILE           TLS certificate and key, basic-auth users (bcrypt)\n"
    "  --max-concurrent N               targets read at once (default %d)\n"
    "  --identification-interval SECONDS  how often the identification is read again\n"
    "                                   (default %lld)\n"
    "  --max-targets N                  targets whose record is kept (default %zu)\n"
    "  --target-idle-timeout SECONDS    a record unscraped this long is dropped\n"
    "                                   (default %lld)\n"
    "  --web.max-connections N          HTTP connections at once (default %u)\n"
    "  --web.max-connections-per-ip N   of them from one address (default %u)\n"
    "  --web.connection-timeout SECONDS an idle or slow connection is closed\n"
    "                                   (default %u)\n"
    "  --web.max-request-bytes N        memory of a connection, its request line and\n"
    "                                   headers included (default %zu)\n";

constexpr int kUsageStatus = 2;
constexpr long long kMostSeconds = 7 * 24 * 3600;
constexpr int kMostConcurrent = 4096;
constexpr long long kMostTargets = 1000000;
constexpr long long kMostConnections = 1000000;
constexpr long long kMostConnectionSeconds = 3600;
constexpr long long kLeastRequestMemory = 4096;
constexpr long long kMostRequestMemory = 1 << 20;

// Every connection and every scrape in flight holds a descriptor: the soft
// limit (often 1024) is raised to the hard one.
void raise_descriptor_limit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

void usage(FILE* to) {
    std::fprintf(to, kUsage, kDefaultListenAddress, kDefaultCommunity, kDefaultMaxConcurrent,
                 static_cast<long long>(kDefaultIdentificationInterval.count()), kDefaultMaxTargets,
                 static_cast<long long>(kDefaultTargetIdleTimeout.count()), kDefaultMaxConnections,
                 kDefaultMaxConnectionsPerAddress, kDefaultConnectionTimeoutSeconds,
                 kDefaultRequestMemory);
}

// Every line on the standard error stream names the program.
int refuse(const std::string& why) {
    std::fprintf(stderr, "tarvik-exporter: %s\ntarvik-exporter: see tarvik-exporter --help\n",
                 why.c_str());
    return kUsageStatus;
}

bool whole_number(const std::string& text, long long low, long long high, long long* value) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    *value = std::stoll(text);
    return *value >= low && *value <= high;
}

}  // namespace

int main(int argc, char** argv) {
    set_diagnostic_program("tarvik-exporter");
    ExporterSettings settings;
    settings.version = TARVIK_VERSION;
    TargetPolicy policy;
    Communities communities(kDefaultCommunity);
    WebConfig web;
    std::string error;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            usage(stdout);
            return 0;
        }
        if (option == "--version") {
            std::printf("tarvik-exporter %s\n", TARVIK_VERSION);
            return 0;
        }
        // Every other option takes a value, as the next word or after '='.
        std::string name = option;
        std::string value;
        const size_t equals = option.find('=');
        if (option.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            name = option.substr(0, equals);
            value = option.substr(equals + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            return refuse(option + " needs a value, or is not an option");
        }
        long long number = 0;
        if (name == "--web.listen-address") {
            settings.listen_address = value;
        } else if (name == "--allow") {
            AllowRule rule;
            if (!parse_allow_rule(value, &rule)) {
                return refuse("--allow " + value + ": not a CIDR, an address or a host name");
            }
            policy.allow(rule);
        } else if (name == "--targets-file") {
            if (!read_targets_file(value, &policy, &error)) {
                return refuse(error);
            }
        } else if (name == "--community-file") {
            if (!read_communities_file(value, &communities, &error)) {
                return refuse(error);
            }
        } else if (name == "--web.config.file") {
            if (!read_web_config(value, &web, &error)) {
                return refuse(error);
            }
        } else if (name == "--max-concurrent") {
            if (!whole_number(value, 1, kMostConcurrent, &number)) {
                return refuse("--max-concurrent " + value + ": not 1 to " +
                              std::to_string(kMostConcurrent));
            }
            settings.max_concurrent = static_cast<int>(number);
        } else if (name == "--identification-interval") {
            if (!whole_number(value, 0, kMostSeconds, &number)) {
                return refuse("--identification-interval " + value + ": not 0 to " +
                              std::to_string(kMostSeconds) + " seconds");
            }
            settings.identification_interval = std::chrono::seconds(number);
        } else if (name == "--max-targets") {
            if (!whole_number(value, 1, kMostTargets, &number)) {
                return refuse("--max-targets " + value + ": not 1 to " +
                              std::to_string(kMostTargets));
            }
            settings.max_targets = static_cast<size_t>(number);
        } else if (name == "--target-idle-timeout") {
            if (!whole_number(value, 1, kMostSeconds, &number)) {
                return refuse("--target-idle-timeout " + value + ": not 1 to " +
                              std::to_string(kMostSeconds) + " seconds");
            }
            settings.target_idle_timeout = std::chrono::seconds(number);
        } else if (name == "--web.max-connections" || name == "--web.max-connections-per-ip") {
            if (!whole_number(value, 1, kMostConnections, &number)) {
                return refuse(name + " " + value + ": not 1 to " +
                              std::to_string(kMostConnections));
            }
            (name == "--web.max-connections" ? settings.max_connections
                                             : settings.max_connections_per_address) =
                static_cast<unsigned>(number);
        } else if (name == "--web.connection-timeout") {
            if (!whole_number(value, 1, kMostConnectionSeconds, &number)) {
                return refuse("--web.connection-timeout " + value + ": not 1 to " +
                              std::to_string(kMostConnectionSeconds) + " seconds");
            }
            settings.connection_timeout_seconds = static_cast<unsigned>(number);
        } else if (name == "--web.max-request-bytes") {
            if (!whole_number(value, kLeastRequestMemory, kMostRequestMemory, &number)) {
                return refuse("--web.max-request-bytes " + value + ": not " +
                              std::to_string(kLeastRequestMemory) + " to " +
                              std::to_string(kMostRequestMemory));
            }
            settings.request_memory = static_cast<size_t>(number);
        } else {
            return refuse("unknown option " + name);
        }
    }
    if (policy.empty()) {
        std::fprintf(stderr,
                     "tarvik-exporter: no --allow or --targets-file: every probe is refused\n");
    }

    raise_descriptor_limit();
    const std::atomic<bool>& stop = catch_stop_signals();
    ExporterServer server(settings, std::move(policy), std::move(communities), web);
    if (!server.bind(&error)) {
        std::fprintf(stderr, "tarvik-exporter: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "tarvik-exporter: listening on %s (%s)\n", settings.listen_address.c_str(),
                 web.tls() ? "https" : "http");
    std::fflush(stderr);
    // The signal only sets the flag; this thread turns it into a stop.
    std::atomic<bool> served{false};
    std::thread watcher([&] {
        while (!stop && !served) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kCancelCheckMs * 5));
        }
        server.stop();
    });
    const bool ok = server.serve();
    served = true;
    watcher.join();
    return ok || stop ? 0 : 1;
}
