// A simulated transceiver: a real SNMPv1 agent on a UDP socket that answers
// the console's objects like a device of either family, so the console can
// be shown and tested end to end without hardware. It runs on a thread of
// its own, in the console's process (`tarvik --demo`, the tests) or alone
// (`tarvik-sim`).
//
// Besides behaving, it can misbehave on request, to show how the console
// copes: stay silent, answer late (at most kMaxPendingAnswers answers wait
// at a time; a request that would need one more gets none, as a busy agent
// drops it), answer with an error status, answer with garbage, answer with
// a wrong request id, answer from another port, or report a supply rail
// outside its limits. Every public operation but `start` and `stop` (which
// belong to the owner's thread) may be called from any thread while the
// agent runs.
//
// Typical use in a test:
//
//     SimulatedTransceiver sim;            // 127.0.0.1, a port the system picks
//     ASSERT_TRUE(sim.start());
//     link.agent_port = sim.port();
//     sim.set_silent(true);
//     ... exchange_request(link, request) gives no answer ...
//     EXPECT_EQ(sim.requests_received(), 1u);
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/agent_responder.h"
#include "sim/device_model.h"
#include "snmp/agent_link.h"
#include "snmp/net.h"

class LogReplay;  // sim/log_replay.h

// Most delayed answers held at once.
constexpr size_t kMaxPendingAnswers = 1024;

struct SimulatorOptions {
    // Numeric IPv4 or IPv6; "0.0.0.0" for every IPv4 interface, "::" for
    // every interface of both families where the system allows.
    std::string bind_address = "127.0.0.1";
    uint16_t port = 0;  // 0: the system picks a free port, see port()
    DeviceFamily family = DeviceFamily::k350;
    std::string community = kDefaultCommunity;  // at most 255 octets
};

// The misbehaviour in force, all off by default.
struct FaultSettings {
    bool silent = false;                 // requests are received, never answered nor acted on
    std::chrono::milliseconds delay{0};  // every answer leaves this much later
    int32_t error_status = kErrorNone;   // non-zero: every answer carries it, nothing applied
    bool garbage = false;                // undecodable octets go out instead of each answer
    bool wrong_request_id = false;       // answers carry an id that is not the request's
    bool other_port = false;             // answers leave from a second socket's port
};

class SimulatedTransceiver {
public:
    explicit SimulatedTransceiver(SimulatorOptions options = {});
    ~SimulatedTransceiver();  // stops the agent
    SimulatedTransceiver(const SimulatedTransceiver&) = delete;
    SimulatedTransceiver& operator=(const SimulatedTransceiver&) = delete;

    // Binds the agent's socket (and the second one for other-port answers)
    // and starts the agent's thread. Returns false, with the reason in
    // `*error` when given, if a socket cannot be made or bound, if the bind
    // address is not numeric IPv4, if the community is too long, or if the
    // agent already runs.
    bool start(std::string* error = nullptr);
    // Stops the agent within about 20 ms, its longest wait on the socket,
    // and closes its sockets; answers still waiting out a delay are never
    // sent. Harmless when not running. The agent can be started again
    // afterwards.
    void stop();
    bool running() const { return running_.load(); }

    // The bound port (the one the system picked for port 0); 0 before start.
    uint16_t port() const { return port_.load(); }
    const std::string& bind_address() const { return options_.bind_address; }
    const std::string& community() const { return options_.community; }

    // Faults. Each takes effect from the next request received; a shorter
    // delay also applies to the answers already waiting (each then leaves
    // that long after its request came, or at once if that time is past).
    void set_silent(bool on);
    void set_delay(std::chrono::milliseconds delay);  // 0: answer at once
    void set_error_status(int32_t status);            // 0: answer normally
    void set_garbage(bool on);
    void set_wrong_request_id(bool on);
    void set_other_port(bool on);
    // All of the above off, rail overrides cleared, and the answers waiting
    // out a delay dropped (counted as dropped).
    void clear_faults();
    FaultSettings faults() const;

    // Device state.
    void set_rail(SupplyRail rail, int32_t millivolts);  // pin a rail's reading
    void clear_rails();                                  // every rail back to normal
    std::optional<int32_t> rail_override(SupplyRail rail) const;
    void set_family(DeviceFamily family);
    DeviceFamily family() const;
    int32_t switch_state(int index) const;  // 0 .. kSwitchCount - 1
    void set_switch(int index, bool on);    // as a SET of the switch would
    // Faults of the radio link (device_model.h), each from now on; clear_faults
    // ends them too.
    void set_error_rate(double per_second);
    void start_error_burst(double seconds);
    void unlock_receiver(double seconds);
    void take_link_down(double seconds);
    // "errors 0/s, burst 0 s, unlock 0 s, link down 0 s": what is left of each.
    std::string link_faults_text() const;
    std::string key() const;  // identification item 8

    // Serves `replay`'s rows from now on (log_replay.h): silent where the
    // replay is, the logged values where it answers; Sets and keys take
    // effect for the rest of the replay. The faults above still apply.
    void start_replay(std::unique_ptr<LogReplay> replay);
    // Runs `action` on the replay with the agent held; false without one.
    bool with_replay(const std::function<void(LogReplay&)>& action);

    // Model time, in seconds since the simulator was made, normally runs
    // with the steady clock. `freeze_time` stops it at `seconds` (later calls move it on),
    // so values are fixed and counters grow by exactly the time moved;
    // `run_time` lets it run on from there. Model time never goes back: a
    // frozen time before the current one holds the current values.
    void freeze_time(double seconds);
    void run_time();
    double model_time() const;

    // Datagrams that reached the agent's socket, whether answered or not
    // (dropped, silent and wrong-community ones included). A datagram is
    // counted once the agent has handled it, before its answer leaves: what
    // it changed is then in place, and fault changes made from then on do
    // not affect it.
    uint64_t requests_received() const;
    // Datagrams the agent sent, garbage and misdirected answers included.
    // An answer is counted before it leaves, so once a client holds it, it
    // is counted.
    uint64_t answers_sent() const;
    // Delayed answers waiting for their time, and the answers dropped
    // because kMaxPendingAnswers were already waiting or by clear_faults.
    // Both are updated with the received count, so they include every
    // request counted.
    size_t pending_answers() const;
    uint64_t answers_dropped() const;
    // Waits until at least `count` datagrams have been received, at most
    // `timeout`; returns whether they were.
    bool wait_for_requests(uint64_t count, std::chrono::milliseconds timeout) const;

private:
    using Clock = std::chrono::steady_clock;
    struct PendingAnswer {
        Clock::time_point due;
        Clock::time_point received;
        uint64_t arrival;
        std::vector<uint8_t> datagram;  // sized to the answer
        SocketAddress destination;
        bool from_other_port;
    };
    static bool due_later(const PendingAnswer& a, const PendingAnswer& b);

    // Sets one fault for the requests that come from now on.
    template <typename T>
    void set_fault(T FaultSettings::*fault, T value) {
        std::lock_guard<std::mutex> lock(mutex_);
        faults_.*fault = value;
    }

    void run();
    void handle_datagram(const uint8_t* data, int32_t size, const SocketAddress& source);
    void send_due_answers();
    void send_datagram(const std::vector<uint8_t>& datagram, const SocketAddress& destination,
                       bool from_other_port);
    double model_time_locked() const;
    void close_sockets();

    const SimulatorOptions options_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<uint16_t> port_{0};
    socket_t socket_ = kNoSocket;        // the agent's port; used by the agent thread only
    socket_t other_socket_ = kNoSocket;  // for other-port answers
    // Used by the agent thread only: a sequence number to keep arrival
    // order among equal due times, and the buffer each answer is built in.
    uint64_t arrivals_ = 0;
    std::vector<uint8_t> answer_buffer_;
    // Delayed answers as a min-heap on (due, arrival); the agent thread
    // sends them, clear_faults and set_delay change them.
    std::mutex pending_mutex_;
    std::vector<PendingAnswer> pending_;

    mutable std::mutex mutex_;  // guards everything below
    DeviceModel model_;
    std::unique_ptr<LogReplay> replay_;
    FaultSettings faults_;
    Clock::time_point started_;
    double time_offset_ = 0.0;  // added to the steady clock's elapsed seconds
    bool time_frozen_ = false;
    double frozen_at_ = 0.0;

    mutable std::mutex count_mutex_;  // guards the counts
    mutable std::condition_variable count_changed_;
    uint64_t requests_received_ = 0;
    uint64_t answers_sent_ = 0;
    size_t pending_count_ = 0;  // pending_.size() as the other threads see it
    uint64_t answers_dropped_ = 0;
};
