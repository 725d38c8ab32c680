#include "process/line_input.h"

#include <algorithm>
#include <string>
#include <thread>
#include <utility>

#ifdef _WIN32
#include "process/input_thread.h"
#else
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

using Clock = LineInput::Clock;

// How long to wait now: until `until`, at most one stop check.
int wait_ms(Clock::time_point until) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, LineInput::kStopCheck.count()));
}

void drop_carriage_return(std::string* line) {
    if (!line->empty() && line->back() == '\r') {
        line->pop_back();
    }
}

}  // namespace

struct LineInput::State {
#ifdef _WIN32
    State(int fd, OverlongReport overlong) : reader(fd), overlong(std::move(overlong)) {}
    InputThread reader;
#else
    State(int fd, OverlongReport overlong) : fd(fd), overlong(std::move(overlong)) {}
    int fd;
#endif
    OverlongReport overlong;
    std::string buffered;
    bool ended = false;       // end of input, or a descriptor that cannot be read
    bool discarding = false;  // inside a line too long, dropped up to its line break
    bool terminated = true;   // the line taken last ended in a line break

    void report_overlong() {
        if (overlong) {
            overlong("line too long (over " + std::to_string(kLongestLine) + " bytes), ignored");
        }
    }

    // Takes the next whole line that is not too long; drops too long ones.
    bool take_line(std::string* line) {
        for (;;) {
            const size_t end = buffered.find('\n');
            if (discarding) {
                // The rest of the long line goes, its line break included.
                buffered.erase(0, end == std::string::npos ? std::string::npos : end + 1);
                if (end == std::string::npos) {
                    return false;
                }
                discarding = false;
                continue;
            }
            if (end == std::string::npos) {
                // A "\r" may still wait for its "\n", hence the one octet more.
                if (buffered.size() > kLongestLine + 1) {
                    report_overlong();
                    buffered.clear();
                    discarding = true;
                    return false;
                }
                if (!ended || buffered.empty()) {
                    return false;
                }
                // A last line without a line break.
                line->swap(buffered);
                buffered.clear();
                terminated = false;
            } else {
                line->assign(buffered, 0, end);
                buffered.erase(0, end + 1);
                terminated = true;
            }
            drop_carriage_return(line);
            if (line->size() <= kLongestLine) {
                return true;
            }
            report_overlong();
        }
    }

    // Waits at most `ms` for input and takes what came; true when anything
    // was read (data or the end).
    bool read_some(int ms) {
#ifdef _WIN32
        const size_t before = buffered.size();
        ended = reader.take(Clock::now() + std::chrono::milliseconds(ms), &buffered);
        return ended || buffered.size() != before;
#else
        // A signal ends the wait early (EINTR); the caller then sees `stop`.
        pollfd watch{fd, POLLIN, 0};
        const int ready = poll(&watch, 1, ms);
        if (ready < 0 && errno != EINTR) {
            ended = true;
            return false;
        }
        if (ready > 0 && (watch.revents & POLLNVAL) != 0) {
            ended = true;
            return false;
        }
        if (ready <= 0) {
            return false;
        }
        // Data, hang-up or error: read() tells which.
        char chunk[1024];
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got > 0) {
            buffered.append(chunk, static_cast<size_t>(got));
        } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
            ended = true;
        }
        return true;
#endif
    }
};

LineInput::LineInput(int fd, OverlongReport overlong)
    : state_(std::make_unique<State>(fd, std::move(overlong))) {}

LineInput::~LineInput() = default;

bool LineInput::ended() const {
    return state_->ended;
}

bool LineInput::line_was_terminated() const {
    return state_->terminated;
}

bool LineInput::next_line(Clock::time_point until, const std::atomic<bool>& stop,
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
            read = s.read_some(ms);
        }
        if (!read && Clock::now() >= until) {
            return false;
        }
    }
    return true;
}
