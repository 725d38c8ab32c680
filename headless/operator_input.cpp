#include "headless/operator_input.h"

#include <algorithm>

#ifdef _WIN32
#include <condition_variable>
#include <deque>
#include <iostream>
#include <mutex>
#include <thread>
#else
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#endif

namespace {

using Clock = OperatorInput::Clock;

// A line this long without a line break is taken as it is, so that input
// without line breaks cannot grow the buffer without end.
constexpr size_t kLongestLine = 4096;

// How long to wait now: until `until`, at most one stop check.
int wait_ms(Clock::time_point until) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
    return static_cast<int>(
        std::clamp<long long>(left.count(), 0, OperatorInput::kStopCheck.count()));
}

void drop_carriage_return(std::string* line) {
    if (!line->empty() && line->back() == '\r') {
        line->pop_back();
    }
}

}  // namespace

#ifdef _WIN32

// A thread reads std::cin, which cannot be waited on with a time limit, and
// queues its lines. It is left behind at the end, blocked in its read.
struct OperatorInput::State {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<std::string> lines;
};

OperatorInput::OperatorInput(int /*fd*/) : state_(std::make_shared<State>()) {
    std::thread([state = state_] {
        std::string line;
        while (std::getline(std::cin, line)) {
            drop_carriage_return(&line);
            const std::lock_guard<std::mutex> lock(state->mutex);
            state->lines.push_back(line);
            state->arrived.notify_one();
        }
    }).detach();
}

OperatorInput::~OperatorInput() = default;

bool OperatorInput::next_line(Clock::time_point until, const std::atomic<bool>& stop,
                              std::string* line) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    for (;;) {
        if (!state_->lines.empty()) {
            *line = std::move(state_->lines.front());
            state_->lines.pop_front();
            return true;
        }
        if (stop || Clock::now() >= until) {
            return false;
        }
        state_->arrived.wait_for(lock, std::chrono::milliseconds(wait_ms(until)));
    }
}

#else

struct OperatorInput::State {
    int fd = -1;
    std::string buffered;
    bool ended = false;  // end of input, or a descriptor that cannot be read

    bool take_line(std::string* line) {
        const size_t end = buffered.find('\n');
        if (end != std::string::npos) {
            line->assign(buffered, 0, end);
            buffered.erase(0, end + 1);
            drop_carriage_return(line);
            return true;
        }
        if ((ended && !buffered.empty()) || buffered.size() >= kLongestLine) {
            line->swap(buffered);
            buffered.clear();
            drop_carriage_return(line);
            return true;
        }
        return false;
    }

    void read_some() {
        char chunk[1024];
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got > 0) {
            buffered.append(chunk, static_cast<size_t>(got));
        } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
            ended = true;
        }
    }
};

OperatorInput::OperatorInput(int fd) : state_(std::make_shared<State>()) {
    state_->fd = fd;
}

OperatorInput::~OperatorInput() = default;

bool OperatorInput::next_line(Clock::time_point until, const std::atomic<bool>& stop,
                              std::string* line) {
    State& s = *state_;
    while (!s.take_line(line)) {
        if (stop) {
            return false;
        }
        // Input already there is read even when `until` has passed, so that
        // a command typed during a long poll runs before the next tick.
        const int ms = wait_ms(until);
        bool read = false;
        if (s.ended) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        } else {
            // A signal ends the wait early (EINTR); the loop then sees `stop`.
            pollfd watch{s.fd, POLLIN, 0};
            const int ready = poll(&watch, 1, ms);
            if (ready < 0 && errno != EINTR) {
                s.ended = true;
            } else if (ready > 0 && (watch.revents & POLLNVAL) != 0) {
                s.ended = true;
            } else if (ready > 0) {
                s.read_some();  // data, hang-up or error: read() tells which
                read = true;
            }
        }
        if (!read && Clock::now() >= until) {
            return false;
        }
    }
    return true;
}

#endif
