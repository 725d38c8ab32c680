// One whole poll against the simulated transceiver, against the bare UDP
// round trips it rides on, in the same run.
//
// BM_PollTick: `poll_tick` of a polling monitor (a window without a screen)
// against the in-process simulated transceiver: five GET runs, decoding,
// totals, five pane texts, check boxes and lamps.
//
// BM_FiveBareRoundTrips: five sendto/recvfrom round trips with datagrams of
// exactly the sizes of the poll's five requests and answers, against a
// responder thread that only sends back octets of the answer's size.
//
// The product's goal: BM_PollTick at most 1.5 times BM_FiveBareRoundTrips.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <thread>
#include <utility>
#include <vector>

#include "device/parameter_catalog.h"
#include "headless/terminal_window.h"
#include "monitor/device_monitor.h"
#include "sim/simulated_transceiver.h"
#include "snmp/agent_link.h"
#include "snmp/message.h"

namespace {

// Every request id takes four octets, so sizes stay fixed for the run.
constexpr int32_t kFirstRequestId = 0x40000000;
constexpr CatalogRun kRuns[] = {kTemperatureRun, kReceiverRun, kSupplyRun, kControlRun,
                                kTrafficRun};

double fastest(const std::vector<double>& times) {
    return times.empty() ? 0.0 : *std::min_element(times.begin(), times.end());
}

SnmpMessage* run_request(const CatalogRun& run) {
    SnmpMessage* request = msg_create(kPduGetRequest);
    for (int i = 0; i < run.count; ++i) {
        const CatalogRow& row = kParameterCatalog.rows[run.first_index + i];
        msg_append_null_binding(request, row.ids, row.length);
    }
    return request;
}

std::vector<uint8_t> encoded(const SnmpMessage* message) {
    std::vector<uint8_t> out(kMaxDatagram);
    int32_t length = kMaxDatagram;
    if (msg_encode(AgentLink(), message, out.data(), &length) != 0) {
        return {};
    }
    out.resize(static_cast<size_t>(length));
    return out;
}

// The five requests as sent and the simulator's five answers, as sized on
// the wire.
struct PollSizes {
    std::vector<std::vector<uint8_t>> requests;
    std::vector<size_t> answer_sizes;
};

PollSizes measure_poll(uint16_t sim_port) {
    PollSizes sizes;
    AgentLink link;
    std::strcpy(link.host, "127.0.0.1");
    link.agent_port = sim_port;
    open_link(link);
    request_counter = kFirstRequestId - 1;
    for (const CatalogRun& run : kRuns) {
        SnmpMessage* request = run_request(run);
        SnmpMessage* answer = exchange_request(link, request);
        if (answer != nullptr) {
            sizes.requests.push_back(encoded(request));
            sizes.answer_sizes.push_back(encoded(answer).size());
        }
        msg_free(answer);
        msg_free(request);
    }
    close_link(link);
    return sizes;
}

void BM_PollTick(benchmark::State& state) {
    SimulatedTransceiver sim;
    if (!sim.start()) {
        state.SkipWithError("the simulated transceiver did not start");
        return;
    }
    TerminalWindow window;
    DeviceReadings readings;
    DeviceMonitor monitor(window, readings);
    window.attach(monitor);
    monitor.set_default_port(sim.port());
    monitor.initialise(nullptr);
    window.set_text(ControlId::kAddressBox, "127.0.0.1");
    request_counter = kFirstRequestId - 1;
    window.press(&DeviceMonitor::on_start);
    for (auto _ : state) {
        // One poll: the request goes out, and the host's poll() hands the
        // monitor each answer.
        monitor.poll_tick();
        window.settle();
    }
    window.press(&DeviceMonitor::on_stop);
    if (window.get_text(ControlId::kTemperaturePane) == "NO CONNECTION") {
        state.SkipWithError("the simulated transceiver did not answer");
    }
}
BENCHMARK(BM_PollTick)->UseRealTime()->ComputeStatistics("min", fastest);

// A responder thread on a loopback port that answers a request of each
// known size with octets of the matching answer size, and does nothing else.
class SizedResponder {
public:
    explicit SizedResponder(std::map<size_t, size_t> answer_for)
        : answer_for_(std::move(answer_for)) {
        address_.sin_family = AF_INET;
        address_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_arg length = sizeof address_;
        bind(socket_, reinterpret_cast<const sockaddr*>(&address_), sizeof address_);
        getsockname(socket_, reinterpret_cast<sockaddr*>(&address_), &length);
        thread_ = std::thread([this] { run(); });
    }
    ~SizedResponder() {
        stop_ = true;
        thread_.join();
        close_socket(socket_);
    }
    SizedResponder(const SizedResponder&) = delete;
    SizedResponder& operator=(const SizedResponder&) = delete;

    const sockaddr_in& address() const { return address_; }

private:
    void run() {
        uint8_t in[kMaxDatagram + 1];
        const std::vector<uint8_t> out(kMaxDatagram, 0x30);
        while (!stop_.load()) {
            if (wait_readable(socket_, 100) != 1) {
                continue;
            }
            sockaddr_in from{};
            socklen_arg from_length = sizeof from;
            const auto n = recvfrom(socket_, reinterpret_cast<char*>(in), sizeof in, 0,
                                    reinterpret_cast<sockaddr*>(&from), &from_length);
            const auto it = answer_for_.find(static_cast<size_t>(n));
            if (n > 0 && it != answer_for_.end()) {
                sendto(socket_, reinterpret_cast<const char*>(out.data()), it->second, 0,
                       reinterpret_cast<const sockaddr*>(&from), from_length);
            }
        }
    }

    const std::map<size_t, size_t> answer_for_;
    socket_t socket_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address_{};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// One request out and one datagram back, as raw octets; false on no answer.
bool round_trip(socket_t client, const sockaddr_in& to, const std::vector<uint8_t>& request) {
    uint8_t buffer[kMaxDatagram + 1];
    sendto(client, reinterpret_cast<const char*>(request.data()), request.size(), 0,
           reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return wait_readable(client, 2000) == 1 && recvfrom(client, reinterpret_cast<char*>(buffer),
                                                        sizeof buffer, 0, nullptr, nullptr) > 0;
}

PollSizes measured_sizes() {
    SimulatedTransceiver sim;
    return sim.start() ? measure_poll(sim.port()) : PollSizes{};
}

void BM_FiveBareRoundTrips(benchmark::State& state) {
    const PollSizes sizes = measured_sizes();
    if (sizes.requests.size() != std::size(kRuns)) {
        state.SkipWithError("the poll's sizes could not be measured");
        return;
    }
    std::map<size_t, size_t> answer_for;
    for (size_t i = 0; i < sizes.requests.size(); ++i) {
        answer_for[sizes.requests[i].size()] = sizes.answer_sizes[i];
    }
    SizedResponder responder(answer_for);
    const socket_t client = socket(AF_INET, SOCK_DGRAM, 0);
    for (auto _ : state) {
        for (const auto& request : sizes.requests) {
            if (!round_trip(client, responder.address(), request)) {
                state.SkipWithError("no answer");
                break;
            }
        }
    }
    close_socket(client);
}
BENCHMARK(BM_FiveBareRoundTrips)->UseRealTime()->ComputeStatistics("min", fastest);

// The simulated transceiver's own speed: the traffic run's GetRequest sent
// as raw octets and its answer received as raw octets, so the client does
// no SNMP work at all; against BM_BareRoundTrip9 with the same sizes.
void simulator_or_bare(benchmark::State& state, bool simulator) {
    SimulatedTransceiver sim;
    if (!sim.start()) {
        state.SkipWithError("the simulated transceiver did not start");
        return;
    }
    const PollSizes sizes = measure_poll(sim.port());
    if (sizes.requests.size() != std::size(kRuns)) {
        state.SkipWithError("the poll's sizes could not be measured");
        return;
    }
    const std::vector<uint8_t>& request = sizes.requests.back();
    SizedResponder bare(std::map<size_t, size_t>{{request.size(), sizes.answer_sizes.back()}});
    sockaddr_in to = bare.address();
    if (simulator) {
        to.sin_port = htons(sim.port());
    }
    const socket_t client = socket(AF_INET, SOCK_DGRAM, 0);
    for (auto _ : state) {
        if (!round_trip(client, to, request)) {
            state.SkipWithError("no answer");
            break;
        }
    }
    close_socket(client);
    state.counters["answers_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_SimulatorAnswer9(benchmark::State& state) {
    simulator_or_bare(state, true);
}
BENCHMARK(BM_SimulatorAnswer9)->UseRealTime()->ComputeStatistics("min", fastest);

void BM_BareRoundTrip9(benchmark::State& state) {
    simulator_or_bare(state, false);
}
BENCHMARK(BM_BareRoundTrip9)->UseRealTime()->ComputeStatistics("min", fastest);

}  // namespace

BENCHMARK_MAIN();
