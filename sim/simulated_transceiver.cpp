// The simulated transceiver's agent loop: one thread that waits on the
// agent's socket, answers each datagram through the responder, and holds
// delayed answers until they are due.
#include "sim/simulated_transceiver.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "sim/log_replay.h"

namespace {

// Longest wait on the socket: how soon the agent notices `stop`.
constexpr std::chrono::milliseconds kPollInterval{20};

// What goes out instead of an answer when garbage is asked for. A first
// octet of 0xFF is a high-tag-number tag, which no SNMP message starts with,
// so no reader can take it for an answer, not even for its request id.
constexpr uint8_t kGarbage[] = {0xFF, 0x00, 'n', 'o', 't', ' ', 'S', 'N', 'M', 'P'};

// The longest community the simulator takes. It stays one octet short of
// what a received message may carry (kMaxReceivedCommunity), the limit the
// simulator has always had: a different limit from the decoder's, not a copy.
constexpr size_t kMaxCommunity = kMaxReceivedCommunity - 1;

std::string system_error(const char* what) {
    return std::string(what) + ": " + socket_error_text();
}

}  // namespace

SimulatedTransceiver::SimulatedTransceiver(SimulatorOptions options)
    : options_(std::move(options)), model_(options_.family), started_(Clock::now()) {}

SimulatedTransceiver::~SimulatedTransceiver() {
    stop();
}

bool SimulatedTransceiver::start(std::string* error) {
    const auto fail = [&](std::string text) {
        close_sockets();
        if (error != nullptr) {
            *error = std::move(text);
        }
        return false;
    };
    if (thread_.joinable()) {
        return fail("the simulated transceiver is already running");
    }
    if (options_.community.size() > kMaxCommunity) {
        return fail("the community is longer than " + std::to_string(kMaxCommunity) +
                    " characters");
    }
    start_socket_library();
    SocketAddress local{};
    if (!numeric_address(options_.bind_address, &local)) {
        return fail("not a numeric IPv4 or IPv6 address: " + options_.bind_address);
    }
    const int family = address_family(local);
    socket_ = socket(family, SOCK_DGRAM, 0);
    other_socket_ = socket(family, SOCK_DGRAM, 0);
    if (socket_ == kNoSocket || other_socket_ == kNoSocket) {
        return fail(system_error("socket"));
    }
    ignore_port_unreachable(socket_);
    // "::" then serves IPv4 clients too, where the system allows; a system
    // that refuses keeps to IPv6.
    if (family == AF_INET6) {
        allow_both_families(socket_);
        allow_both_families(other_socket_);
    }
    set_address_port(&local, options_.port);
    if (bind(socket_, &local.any, address_length(local)) != 0) {
        return fail(
            system_error(("bind " + endpoint_text(options_.bind_address, options_.port)).c_str()));
    }
    set_address_port(&local, 0);
    if (bind(other_socket_, &local.any, address_length(local)) != 0) {
        return fail(system_error("bind"));
    }
    SocketAddress bound{};
    socklen_arg bound_length = sizeof bound;
    if (getsockname(socket_, &bound.any, &bound_length) != 0) {
        return fail(system_error("getsockname"));
    }
    port_ = address_port(bound);
    stopping_ = false;
    running_ = true;
    thread_ = std::thread(&SimulatedTransceiver::run, this);
    return true;
}

void SimulatedTransceiver::stop() {
    if (!thread_.joinable()) {
        return;
    }
    stopping_ = true;
    thread_.join();
    close_sockets();
    running_ = false;
    port_ = 0;
}

void SimulatedTransceiver::close_sockets() {
    for (socket_t* s : {&socket_, &other_socket_}) {
        if (*s != kNoSocket) {
            close_socket(*s);
            *s = kNoSocket;
        }
    }
}

// Orders the heap of pending answers so that its front is the one due
// first, and of those due together the one that came first.
bool SimulatedTransceiver::due_later(const PendingAnswer& a, const PendingAnswer& b) {
    return a.due != b.due ? a.due > b.due : a.arrival > b.arrival;
}

void SimulatedTransceiver::run() {
    // One octet more than the largest datagram, to tell a longer one.
    std::vector<uint8_t> buffer(kMaxDatagram + 1);
    while (!stopping_) {
        auto wait = kPollInterval;
        {
            std::lock_guard<std::mutex> lock(pending_mutex_);
            if (!pending_.empty()) {
                const auto until = std::chrono::ceil<std::chrono::milliseconds>(
                    std::max(pending_.front().due - Clock::now(), Clock::duration{}));
                wait = std::min(wait, until);
            }
        }
        if (wait_readable(socket_, static_cast<int>(wait.count())) == 1) {
            SocketAddress source{};
            socklen_arg source_length = sizeof source;
            auto received =
                recvfrom(socket_, reinterpret_cast<char*>(buffer.data()),
                         static_cast<int>(buffer.size()), 0, &source.any, &source_length);
            if (received < 0 && datagram_was_cut()) {
                received = static_cast<int>(buffer.size());
            }
            if (received >= 0) {
                handle_datagram(buffer.data(), static_cast<int32_t>(received), source);
            }
        }
        send_due_answers();
    }
    // Answers still waiting are never sent.
    std::lock_guard<std::mutex> pending_lock(pending_mutex_);
    pending_.clear();
    pending_.shrink_to_fit();
    std::lock_guard<std::mutex> lock(count_mutex_);
    pending_count_ = 0;
}

void SimulatedTransceiver::handle_datagram(const uint8_t* data, int32_t size,
                                           const SocketAddress& source) {
    enum class Fate { kNone, kSendNow, kQueue, kDrop };
    Fate fate = Fate::kNone;
    FaultSettings faults;
    const auto received = Clock::now();
    // Held from the decision to queue until the answer is queued, so that
    // a clear or a shorter delay meanwhile finds it there.
    std::unique_lock<std::mutex> pending_lock(pending_mutex_);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        faults = faults_;
        bool answered = false;
        bool serving = !faults.silent && size <= kMaxDatagram;
        if (serving && replay_) {
            // The console's poll starts with the first temperature.
            DeviceObject first{};
            const bool poll_starts =
                first_requested_object(options_.community, data, size, &first) &&
                first == DeviceObject::kTemperature1;
            serving = replay_->state(poll_starts) == ReplayState::kAnswering;
            if (serving) {
                model_.show_replayed(replay_->values());
            }
        }
        if (serving) {
            model_.advance_to(model_time_locked());
            AnswerFaults answer_faults;
            answer_faults.error_status = faults.error_status;
            answer_faults.wrong_request_id = faults.wrong_request_id;
            answered = answer_datagram(model_, options_.community, data, size, answer_faults,
                                       &answer_buffer_);
        }
        if (answered) {
            fate = faults.delay.count() == 0              ? Fate::kSendNow
                   : pending_.size() < kMaxPendingAnswers ? Fate::kQueue
                                                          : Fate::kDrop;
        }
        // Counted once handled and still under the lock: whoever sees the
        // count sees what the request changed and what became of its
        // answer, and a fault changed from then on does not touch this
        // request.
        std::lock_guard<std::mutex> count_lock(count_mutex_);
        ++requests_received_;
        if (fate == Fate::kQueue) {
            ++pending_count_;
        } else if (fate == Fate::kDrop) {
            ++answers_dropped_;
        }
    }
    count_changed_.notify_all();
    if (fate != Fate::kQueue) {
        pending_lock.unlock();
    }
    if (fate == Fate::kNone || fate == Fate::kDrop) {
        return;
    }
    if (faults.garbage) {
        answer_buffer_.assign(std::begin(kGarbage), std::end(kGarbage));
    }
    if (fate == Fate::kSendNow) {
        send_datagram(answer_buffer_, source, faults.other_port);
        return;
    }
    // A copy of just the answer's octets: the buffer's capacity is a whole
    // datagram's.
    pending_.push_back(
        PendingAnswer{received + faults.delay, received, arrivals_++,
                      std::vector<uint8_t>(answer_buffer_.begin(), answer_buffer_.end()), source,
                      faults.other_port});
    std::push_heap(pending_.begin(), pending_.end(), due_later);
}

void SimulatedTransceiver::send_due_answers() {
    std::lock_guard<std::mutex> pending_lock(pending_mutex_);
    const auto now = Clock::now();
    while (!pending_.empty() && pending_.front().due <= now) {
        std::pop_heap(pending_.begin(), pending_.end(), due_later);
        {
            std::lock_guard<std::mutex> lock(count_mutex_);
            --pending_count_;
        }
        const PendingAnswer& answer = pending_.back();
        send_datagram(answer.datagram, answer.destination, answer.from_other_port);
        pending_.pop_back();
    }
}

void SimulatedTransceiver::send_datagram(const std::vector<uint8_t>& datagram,
                                         const SocketAddress& destination, bool from_other_port) {
    // Counted before it leaves, so that whoever receives it already sees it
    // counted; taken back if the send fails.
    {
        std::lock_guard<std::mutex> lock(count_mutex_);
        ++answers_sent_;
    }
    const socket_t s = from_other_port ? other_socket_ : socket_;
    const auto sent =
        sendto(s, reinterpret_cast<const char*>(datagram.data()), static_cast<int>(datagram.size()),
               0, &destination.any, address_length(destination));
    if (sent < 0) {
        std::lock_guard<std::mutex> lock(count_mutex_);
        --answers_sent_;
    }
}

void SimulatedTransceiver::set_silent(bool on) {
    set_fault(&FaultSettings::silent, on);
}

void SimulatedTransceiver::set_delay(std::chrono::milliseconds delay) {
    delay = std::max(delay, std::chrono::milliseconds{0});
    set_fault(&FaultSettings::delay, delay);
    // Answers held back by a longer delay than now asked for leave when the
    // new one says; with 0, at the agent's next turn.
    std::lock_guard<std::mutex> lock(pending_mutex_);
    for (PendingAnswer& answer : pending_) {
        answer.due = std::min(answer.due, answer.received + delay);
    }
    std::make_heap(pending_.begin(), pending_.end(), due_later);
}

void SimulatedTransceiver::set_error_status(int32_t status) {
    set_fault(&FaultSettings::error_status, status);
}

void SimulatedTransceiver::set_garbage(bool on) {
    set_fault(&FaultSettings::garbage, on);
}

void SimulatedTransceiver::set_wrong_request_id(bool on) {
    set_fault(&FaultSettings::wrong_request_id, on);
}

void SimulatedTransceiver::set_other_port(bool on) {
    set_fault(&FaultSettings::other_port, on);
}

void SimulatedTransceiver::clear_faults() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        faults_ = FaultSettings{};
        model_.clear_rail_overrides();
        model_.advance_to(model_time_locked());
        model_.clear_link_faults();
    }
    std::lock_guard<std::mutex> pending_lock(pending_mutex_);
    std::lock_guard<std::mutex> count_lock(count_mutex_);
    answers_dropped_ += pending_.size();
    pending_count_ -= pending_.size();
    pending_.clear();
}

FaultSettings SimulatedTransceiver::faults() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return faults_;
}

void SimulatedTransceiver::set_rail(SupplyRail rail, int32_t millivolts) {
    std::lock_guard<std::mutex> lock(mutex_);
    model_.override_rail(rail, millivolts);
}

void SimulatedTransceiver::clear_rails() {
    std::lock_guard<std::mutex> lock(mutex_);
    model_.clear_rail_overrides();
}

std::optional<int32_t> SimulatedTransceiver::rail_override(SupplyRail rail) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return model_.rail_override(rail);
}

void SimulatedTransceiver::set_family(DeviceFamily family) {
    std::lock_guard<std::mutex> lock(mutex_);
    model_.set_family(family);
}

DeviceFamily SimulatedTransceiver::family() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return model_.family();
}

int32_t SimulatedTransceiver::switch_state(int index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return model_.switch_state(index);
}

void SimulatedTransceiver::set_switch(int index, bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    // The counters and the heater run on with the old setting up to now.
    model_.advance_to(model_time_locked());
    model_.set_switch(index, on);
}

void SimulatedTransceiver::set_error_rate(double per_second) {
    std::lock_guard<std::mutex> lock(mutex_);
    model_.advance_to(model_time_locked());
    model_.set_error_rate(per_second);
}

void SimulatedTransceiver::start_error_burst(double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    model_.advance_to(model_time_locked());
    model_.start_error_burst(seconds);
}

void SimulatedTransceiver::unlock_receiver(double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    model_.advance_to(model_time_locked());
    model_.unlock_receiver(seconds);
}

void SimulatedTransceiver::take_link_down(double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    model_.advance_to(model_time_locked());
    model_.take_link_down(seconds);
}

std::string SimulatedTransceiver::link_faults_text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    // The model was last moved on at its own now(); the clock has run since.
    const double since = model_time_locked() - model_.now();
    const auto left = [since](double seconds) {
        return std::to_string(std::lround(std::max(seconds - since, 0.0)));
    };
    return "errors " + std::to_string(std::lround(model_.error_rate())) + "/s, burst " +
           left(model_.burst_left()) + " s, unlock " + left(model_.unlock_left()) +
           " s, link down " + left(model_.link_down_left()) + " s";
}

std::string SimulatedTransceiver::key() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return model_.key();
}

void SimulatedTransceiver::start_replay(std::unique_ptr<LogReplay> replay) {
    std::lock_guard<std::mutex> lock(mutex_);
    replay_ = std::move(replay);
    model_.start_replay();
    if (replay_->state() == ReplayState::kAnswering) {
        model_.show_replayed(replay_->values());
    }
}

bool SimulatedTransceiver::with_replay(const std::function<void(LogReplay&)>& action) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!replay_) {
        return false;
    }
    action(*replay_);
    return true;
}

void SimulatedTransceiver::freeze_time(double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    time_frozen_ = true;
    frozen_at_ = seconds;
}

void SimulatedTransceiver::run_time() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!time_frozen_) {
        return;
    }
    const std::chrono::duration<double> elapsed = Clock::now() - started_;
    time_offset_ = frozen_at_ - elapsed.count();
    time_frozen_ = false;
}

double SimulatedTransceiver::model_time() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::max(model_.now(), model_time_locked());
}

double SimulatedTransceiver::model_time_locked() const {
    if (time_frozen_) {
        return frozen_at_;
    }
    const std::chrono::duration<double> elapsed = Clock::now() - started_;
    return elapsed.count() + time_offset_;
}

uint64_t SimulatedTransceiver::requests_received() const {
    std::lock_guard<std::mutex> lock(count_mutex_);
    return requests_received_;
}

uint64_t SimulatedTransceiver::answers_sent() const {
    std::lock_guard<std::mutex> lock(count_mutex_);
    return answers_sent_;
}

size_t SimulatedTransceiver::pending_answers() const {
    std::lock_guard<std::mutex> lock(count_mutex_);
    return pending_count_;
}

uint64_t SimulatedTransceiver::answers_dropped() const {
    std::lock_guard<std::mutex> lock(count_mutex_);
    return answers_dropped_;
}

bool SimulatedTransceiver::wait_for_requests(uint64_t count,
                                             std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(count_mutex_);
    return count_changed_.wait_for(lock, timeout, [&] { return requests_received_ >= count; });
}
