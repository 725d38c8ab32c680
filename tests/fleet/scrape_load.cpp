// A device farm and a scrape client in one thread, for measuring an
// exporter's capacity without the load side being the bound: N simulated
// transceivers, each a UDP socket of its own on loopback answering after a
// fixed delay, and one HTTP connection a device that scrapes it through the
// exporter again as soon as its last scrape answered (never two scrapes of
// one device at once). One epoll loop serves them all.
//
//   scrape_load EXPORTER_HOST:PORT PATH --devices N --delay MS --seconds S
//               [--pid PID]
//
// PATH is what precedes "target=" ("/probe?", "/snmp?module=tarvik&"). It
// prints one line: good scrapes a second (HTTP 200 without
// "tarvik_probe_success 0"), other answers, the median and 99th percentile
// scrape time in ms, and with --pid the share of one core that process used.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <queue>
#include <sstream>
#include <string>
#include <vector>

#include "sim/agent_responder.h"
#include "sim/device_model.h"
#include "snmp/agent_link.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Device {
    int socket = -1;
    uint16_t port = 0;
    DeviceModel model;
};

struct Connection {
    int socket = -1;
    int device = 0;
    std::string in;
    Clock::time_point sent;
};

struct DueAnswer {
    Clock::time_point due;
    int device;
    sockaddr_in to;
    std::vector<uint8_t> octets;
    bool operator>(const DueAnswer& other) const { return due > other.due; }
};

double cpu_seconds(long pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 0; i < 13 && fields >> field; ++i) {
        if (i == 11 || i == 12) {
            ticks += std::atof(field.c_str());
        }
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

[[noreturn]] void fail(const char* what) {
    std::perror(what);
    std::exit(1);
}

int open_connection(const sockaddr_in& exporter) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0 || connect(s, reinterpret_cast<const sockaddr*>(&exporter), sizeof exporter) != 0) {
        fail("connect to the exporter");
    }
    const int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fcntl(s, F_SETFL, O_NONBLOCK);
    return s;
}

// Whether `in` holds one whole answer; its length then goes to `*length`.
bool whole_answer(const std::string& in, size_t* length) {
    const size_t head_end = in.find("\r\n\r\n");
    if (head_end == std::string::npos) {
        return false;
    }
    const size_t body_start = head_end + 4;
    if (in.find("chunked") < head_end) {
        // Go's server sends a long answer in chunks; the last is empty.
        const size_t last = in.find("\r\n0\r\n\r\n", head_end);
        if (last != std::string::npos) {
            *length = last + 7;
        } else if (in.compare(body_start, 5, "0\r\n\r\n") == 0) {
            *length = body_start + 5;
        } else {
            return false;
        }
        return true;
    }
    size_t body = 0;
    const size_t field = in.find("Content-Length:");
    const size_t lower = in.find("content-length:");
    const size_t at = field < head_end ? field : lower;
    if (at < head_end) {
        body = std::strtoul(in.c_str() + at + 15, nullptr, 10);
    }
    *length = body_start + body;
    return in.size() >= *length;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: scrape_load HOST:PORT PATH --devices N --delay MS --seconds S "
                     "[--pid PID]\n");
        return 2;
    }
    const std::string exporter_text = argv[1];
    const std::string path = argv[2];
    int devices_wanted = 200;
    int delay_ms = 20;
    double seconds = 30;
    long pid = 0;
    for (int i = 3; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--devices") {
            devices_wanted = std::atoi(argv[i + 1]);
        } else if (option == "--delay") {
            delay_ms = std::atoi(argv[i + 1]);
        } else if (option == "--seconds") {
            seconds = std::atof(argv[i + 1]);
        } else if (option == "--pid") {
            pid = std::atol(argv[i + 1]);
        }
    }
    sockaddr_in exporter{};
    exporter.sin_family = AF_INET;
    const size_t colon = exporter_text.rfind(':');
    exporter.sin_port = htons(static_cast<uint16_t>(std::atoi(exporter_text.c_str() + colon + 1)));
    inet_pton(AF_INET, exporter_text.substr(0, colon).c_str(), &exporter.sin_addr);

    const int epoll = epoll_create1(0);
    std::vector<std::unique_ptr<Device>> devices;
    for (int i = 0; i < devices_wanted; ++i) {
        auto d = std::make_unique<Device>();
        d->model.set_family(i % 2 == 0 ? DeviceFamily::k350 : DeviceFamily::k1000);
        d->socket = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof local;
        if (d->socket < 0 || bind(d->socket, reinterpret_cast<sockaddr*>(&local), length) != 0 ||
            getsockname(d->socket, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
            fail("a device's socket");
        }
        d->port = ntohs(local.sin_port);
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = static_cast<uint64_t>(i);  // devices: 0 .. N-1
        epoll_ctl(epoll, EPOLL_CTL_ADD, d->socket, &event);
        devices.push_back(std::move(d));
    }
    std::vector<Connection> connections(devices.size());
    const auto send_scrape = [&](Connection& c) {
        const std::string request = "GET " + path +
                                    "target=127.0.0.1:" + std::to_string(devices[c.device]->port) +
                                    " HTTP/1.1\r\nHost: x\r\n"
                                    "X-Prometheus-Scrape-Timeout-Seconds: 60\r\n\r\n";
        c.sent = Clock::now();
        if (send(c.socket, request.data(), request.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(request.size())) {
            fail("send a scrape");
        }
    };
    for (size_t i = 0; i < connections.size(); ++i) {
        connections[i].device = static_cast<int>(i);
        connections[i].socket = open_connection(exporter);
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = devices.size() + i;  // connections follow the devices
        epoll_ctl(epoll, EPOLL_CTL_ADD, connections[i].socket, &event);
    }

    std::priority_queue<DueAnswer, std::vector<DueAnswer>, std::greater<DueAnswer>> due;
    std::vector<double> times;
    uint64_t good = 0;
    uint64_t other = 0;
    bool measuring = false;  // the first scrape of each device is a warm-up
    size_t warm = 0;
    const auto started = Clock::now();
    Clock::time_point until = started + std::chrono::hours(1);
    double cpu_before = 0;
    for (Connection& c : connections) {
        send_scrape(c);
    }
    const auto delay = std::chrono::milliseconds(delay_ms);
    std::vector<uint8_t> datagram(65536);
    epoll_event ready[256];
    while (Clock::now() < until) {
        int wait_ms = 100;
        if (!due.empty()) {
            wait_ms = static_cast<int>(std::clamp<long long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(due.top().due - Clock::now())
                    .count(),
                0, 100));
        }
        const int count = epoll_wait(epoll, ready, 256, wait_ms);
        const auto now = Clock::now();
        for (int e = 0; e < count; ++e) {
            const uint64_t id = ready[e].data.u64;
            if (id < devices.size()) {
                Device& d = *devices[id];
                sockaddr_in from{};
                socklen_t from_length = sizeof from;
                const ssize_t got = recvfrom(d.socket, datagram.data(), datagram.size(), 0,
                                             reinterpret_cast<sockaddr*>(&from), &from_length);
                if (got <= 0) {
                    continue;
                }
                d.model.advance_to(std::chrono::duration<double>(now - started).count());
                DueAnswer answer{now + delay, static_cast<int>(id), from, {}};
                if (answer_datagram(d.model, kDefaultCommunity, datagram.data(),
                                    static_cast<int32_t>(got), AnswerFaults{}, &answer.octets)) {
                    due.push(std::move(answer));
                }
                continue;
            }
            Connection& c = connections[id - devices.size()];
            char buffer[65536];
            const ssize_t got = recv(c.socket, buffer, sizeof buffer, 0);
            if (got <= 0) {
                fail("the exporter closed a connection");
            }
            c.in.append(buffer, static_cast<size_t>(got));
            size_t length = 0;
            if (!whole_answer(c.in, &length)) {
                continue;
            }
            const bool ok = c.in.compare(0, 12, "HTTP/1.1 200") == 0 &&
                            c.in.find("tarvik_probe_success 0") == std::string::npos;
            c.in.erase(0, length);
            if (measuring) {
                times.push_back(std::chrono::duration<double>(now - c.sent).count());
                (ok ? good : other) += 1;
            } else if (++warm == connections.size()) {
                // Every device scraped once (identification read): measure.
                measuring = true;
                until = now + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(seconds));
                cpu_before = pid != 0 ? cpu_seconds(pid) : 0;
            }
            send_scrape(c);
        }
        while (!due.empty() && due.top().due <= Clock::now()) {
            const DueAnswer& a = due.top();
            sendto(devices[a.device]->socket, a.octets.data(), a.octets.size(), 0,
                   reinterpret_cast<const sockaddr*>(&a.to), sizeof a.to);
            due.pop();
        }
    }
    const double cpu = pid != 0 ? (cpu_seconds(pid) - cpu_before) / seconds : 0;
    std::sort(times.begin(), times.end());
    const auto at = [&](double share) {
        return times.empty()
                   ? 0.0
                   : times[std::min(times.size() - 1, static_cast<size_t>(times.size() * share))] *
                         1000;
    };
    std::printf("%.0f scrapes/s, %llu other answers, median %.0f ms, p99 %.0f ms, CPU %.0f %%\n",
                static_cast<double>(good) / seconds, static_cast<unsigned long long>(other),
                at(0.5), at(0.99), cpu * 100);
    return 0;
}
