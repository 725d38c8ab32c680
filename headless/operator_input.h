// The operator's lines on standard input, read without blocking the event
// loop: the loop waits for a line and for its next deadline at once.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

class OperatorInput {
public:
    using Clock = std::chrono::steady_clock;

    // Reads the descriptor `fd` (on Windows through a thread of its own).
    explicit OperatorInput(int fd);
    ~OperatorInput();
    OperatorInput(const OperatorInput&) = delete;
    OperatorInput& operator=(const OperatorInput&) = delete;

    // Waits until a whole line is there (returned in `*line` without its
    // line break, "\r\n" or "\n"), `until` has come, or `stop` is set; true
    // only for a line. Looks at `stop` at least every kStopCheck. After the
    // end of input (a last line without a line break still counts) it only
    // waits out the time.
    bool next_line(Clock::time_point until, const std::atomic<bool>& stop, std::string* line);

    static constexpr std::chrono::milliseconds kStopCheck{20};

private:
    struct State;
    std::unique_ptr<State> state_;
};
