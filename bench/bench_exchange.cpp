// One poll exchange over loopback against the bare UDP round trip it rides
// on, in the same run.
//
// BM_Exchange: `exchange_request` with the nine-binding GetRequest, answered
// by a responder thread with a nine-binding GetResponse carrying the
// request's id; the answer is freed. This is codec and transport: encode,
// drain, send, wait, receive, judge, decode.
//
// BM_BareRoundTrip: the same kind of client and responder sockets trading
// datagrams of exactly the same sizes with one sendto and one blocking
// recvfrom on each side, and nothing else.
//
// The product's goal: BM_Exchange at most 1.3 times BM_BareRoundTrip (real
// time). scripts/bench prints the ratio.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "bench/poll_messages.h"
#include "snmp/agent_link.h"
#include "snmp/ber.h"
#include "snmp/message.h"
#include "snmp/net.h"

namespace {

// Numbering starts here so that every request id takes four content octets
// and the datagrams keep one size for the whole run, as the bare round trip
// needs; a console that has run for a while sends ids of that size too.
constexpr int32_t kFirstRequestId = 0x40000000;
// How long a blocked receive waits before it looks at the stop flag again.
constexpr int kResponderWakeMs = 100;
// A responder never outlives this, whatever happens to the benchmark.
constexpr auto kResponderLifetime = std::chrono::minutes(10);
// The bare client's receive gives up after this, like an exchange.
constexpr int kBareWaitMs = kAnswerWaitSeconds * 1000;

bool fits_four_octets(int32_t id) {
    return id >= 0x800000 || id < -0x800000;
}

void set_receive_timeout(socket_t s, int milliseconds) {
    timeval timeout{};
    timeout.tv_sec = milliseconds / 1000;
    timeout.tv_usec = (milliseconds % 1000) * 1000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
}

sockaddr_in loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// A UDP responder on its own thread, bound to a loopback port: for every
// datagram it receives, one datagram back to the sender. With an answer
// template it sends the template's encoding with the request's id written
// into it (the template must be encoded with a four-octet request id, or
// the responder does not start); without one it sends the fixed octets as
// they are.
class Responder {
public:
    Responder(std::vector<uint8_t> answer, const SnmpMessage* answer_template)
        : answer_(std::move(answer)), template_(answer_template) {
        socket_ = socket(AF_INET, SOCK_DGRAM, 0);
        if (socket_ == kNoSocket) {
            return;
        }
        address_ = loopback(0);
        socklen_arg length = sizeof address_;
        if (bind(socket_, reinterpret_cast<const sockaddr*>(&address_), sizeof address_) != 0 ||
            getsockname(socket_, reinterpret_cast<sockaddr*>(&address_), &length) != 0 ||
            (template_ != nullptr && !find_request_id())) {
            close_socket(socket_);
            socket_ = kNoSocket;
            return;
        }
        set_receive_timeout(socket_, kResponderWakeMs);
        thread_ = std::thread(&Responder::run, this);
    }

    Responder(const Responder&) = delete;
    Responder& operator=(const Responder&) = delete;

    // Stops the thread: the flag, then an empty datagram to wake it at once
    // (the receive time-out wakes it anyway).
    ~Responder() {
        if (socket_ == kNoSocket) {
            return;
        }
        stop_.store(true);
        sendto(socket_, "", 0, 0, reinterpret_cast<const sockaddr*>(&address_), sizeof address_);
        thread_.join();
        close_socket(socket_);
    }

    bool running() const { return socket_ != kNoSocket; }
    uint16_t port() const { return ntohs(address_.sin_port); }

private:
    // Finds the request id's four content octets in the encoded template.
    bool find_request_id() {
        int32_t space = static_cast<int32_t>(answer_.size());
        uint8_t community[kLinkTextSize];
        int32_t community_length = kLinkTextSize;
        int32_t version = 0;
        uint8_t tag = 0;
        const uint8_t* pos =
            msg_decode_header(answer_.data(), &space, community, &community_length, &version);
        if (pos != nullptr) {
            pos = tlv_read_header(pos, &space, &tag);
        }
        if (pos == nullptr || space < 6 || pos[0] != kTagInteger || pos[1] != 4) {
            return false;
        }
        id_offset_ = static_cast<size_t>(pos + 2 - answer_.data());
        return true;
    }

    void run() {
        const auto deadline = std::chrono::steady_clock::now() + kResponderLifetime;
        uint8_t request[kMaxDatagram];
        std::vector<uint8_t> reencoded(kMaxDatagram);
        const AgentLink link;
        while (!stop_.load(std::memory_order_relaxed) &&
               std::chrono::steady_clock::now() < deadline) {
            sockaddr_in from{};
            socklen_arg from_length = sizeof from;
            const auto received =
                recvfrom(socket_, reinterpret_cast<char*>(request), sizeof request, 0,
                         reinterpret_cast<sockaddr*>(&from), &from_length);
            if (received <= 0) {
                continue;  // time-out, or the wake-up
            }
            const uint8_t* out = answer_.data();
            int32_t out_length = static_cast<int32_t>(answer_.size());
            if (template_ != nullptr) {
                int32_t id = 0;
                if (msg_peek_request_id(request, static_cast<int32_t>(received), &id) != 0) {
                    continue;  // not a request: no answer
                }
                if (fits_four_octets(id)) {
                    const auto u = static_cast<uint32_t>(id);
                    answer_[id_offset_] = static_cast<uint8_t>(u >> 24);
                    answer_[id_offset_ + 1] = static_cast<uint8_t>(u >> 16);
                    answer_[id_offset_ + 2] = static_cast<uint8_t>(u >> 8);
                    answer_[id_offset_ + 3] = static_cast<uint8_t>(u);
                } else {
                    // A shorter id changes the lengths: encode afresh.
                    SnmpMessage copy = *template_;
                    copy.request_id = id;
                    out_length = kMaxDatagram;
                    if (msg_encode(link, &copy, reencoded.data(), &out_length) != 0) {
                        continue;
                    }
                    out = reencoded.data();
                }
            }
            sendto(socket_, reinterpret_cast<const char*>(out), out_length, 0,
                   reinterpret_cast<const sockaddr*>(&from), from_length);
        }
    }

    std::vector<uint8_t> answer_;
    const SnmpMessage* template_;
    size_t id_offset_ = 0;
    socket_t socket_ = kNoSocket;
    sockaddr_in address_{};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The poll's request and answer, encoded as they travel.
struct PollDatagrams {
    SnmpMessage* request = nullptr;
    SnmpMessage* answer = nullptr;
    std::vector<uint8_t> request_octets;
    std::vector<uint8_t> answer_octets;

    PollDatagrams() : request(make_poll_request()), answer(make_poll_answer(kFirstRequestId)) {
        if (request == nullptr || answer == nullptr) {
            return;
        }
        // The request as `send_request` sends it: numbered, errors 0.
        request->request_id = kFirstRequestId;
        request->error_status = 0;
        request->error_index = 0;
        request_octets = encode_message(*request);
        answer_octets = encode_message(*answer);
    }
    ~PollDatagrams() {
        msg_free(request);
        msg_free(answer);
    }
    PollDatagrams(const PollDatagrams&) = delete;
    PollDatagrams& operator=(const PollDatagrams&) = delete;

    bool ready() const { return !request_octets.empty() && !answer_octets.empty(); }
};

// The fastest repetition: on a shared machine the one least disturbed by
// other work, reported beside the mean and median.
double fastest(const std::vector<double>& times) {
    return times.empty() ? 0.0 : *std::min_element(times.begin(), times.end());
}

void report_sizes(benchmark::State& state, const PollDatagrams& poll) {
    state.counters["request_octets"] = static_cast<double>(poll.request_octets.size());
    state.counters["answer_octets"] = static_cast<double>(poll.answer_octets.size());
}

void BM_Exchange(benchmark::State& state) {
    PollDatagrams poll;
    if (!poll.ready()) {
        state.SkipWithError("the poll's messages do not encode");
        return;
    }
    Responder responder(poll.answer_octets, poll.answer);
    AgentLink link;
    std::strcpy(link.host, "127.0.0.1");
    link.agent_port = responder.port();
    if (!responder.running() || open_link(link) != 1) {
        state.SkipWithError("the responder or the link did not start");
        return;
    }
    request_counter = kFirstRequestId - 1;
    for (auto _ : state) {
        // Numbered afresh by the transport, as a new request would be.
        poll.request->request_id = 0;
        SnmpMessage* answer = exchange_request(link, poll.request);
        if (answer == nullptr) {
            state.SkipWithError("no answer");
            break;
        }
        msg_free(answer);
    }
    close_link(link);
    report_sizes(state, poll);
}
BENCHMARK(BM_Exchange)->UseRealTime()->ComputeStatistics("min", fastest);

void BM_BareRoundTrip(benchmark::State& state) {
    PollDatagrams poll;
    if (!poll.ready()) {
        state.SkipWithError("the poll's messages do not encode");
        return;
    }
    Responder responder(poll.answer_octets, nullptr);
    // The client socket as `open_link` makes it.
    const socket_t client = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (!responder.running() || client == kNoSocket ||
        bind(client, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        if (client != kNoSocket) {
            close_socket(client);
        }
        state.SkipWithError("the responder or the client socket did not start");
        return;
    }
    set_receive_timeout(client, kBareWaitMs);
    const sockaddr_in agent = loopback(responder.port());
    const auto request_size = static_cast<int>(poll.request_octets.size());
    const auto answer_size = static_cast<long>(poll.answer_octets.size());
    uint8_t buffer[kMaxDatagram + 1];
    for (auto _ : state) {
        sendto(client, reinterpret_cast<const char*>(poll.request_octets.data()), request_size, 0,
               reinterpret_cast<const sockaddr*>(&agent), sizeof agent);
        sockaddr_in from{};
        socklen_arg from_length = sizeof from;
        const auto received = recvfrom(client, reinterpret_cast<char*>(buffer), sizeof buffer, 0,
                                       reinterpret_cast<sockaddr*>(&from), &from_length);
        if (static_cast<long>(received) != answer_size) {
            state.SkipWithError("no answer");
            break;
        }
    }
    close_socket(client);
    report_sizes(state, poll);
}
BENCHMARK(BM_BareRoundTrip)->UseRealTime()->ComputeStatistics("min", fastest);

}  // namespace

BENCHMARK_MAIN();
