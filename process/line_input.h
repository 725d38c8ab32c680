// Lines of standard input (or another descriptor), read without blocking a
// program's loop: it waits for a line, its next deadline and a stop request
// at once. The terminal console reads the operator's commands with it, the
// simulator and the window demo the simulator's commands.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

class LineInput {
public:
    using Clock = std::chrono::steady_clock;
    // Told of each line that was too long, with the text to show (without
    // the program's name).
    using OverlongReport = std::function<void(const std::string& message)>;

    // The longest line taken, in bytes, without its line break. A longer
    // line is dropped whole, up to its line break, and reported once: no
    // part of it is ever taken as a line, whatever pieces it arrives in.
    static constexpr size_t kLongestLine = 4096;

    // Reads the descriptor `fd` (on Windows through a thread of its own).
    explicit LineInput(int fd, OverlongReport overlong = nullptr);
    ~LineInput();
    LineInput(const LineInput&) = delete;
    LineInput& operator=(const LineInput&) = delete;

    // Waits until a whole line is there (returned in `*line` without its
    // line break, "\r\n" or "\n"), `until` has come, or `stop` is set; true
    // only for a line. Looks at `stop` at least every kStopCheck. After the
    // end of input (a last line without a line break still counts) it only
    // waits out the time.
    bool next_line(Clock::time_point until, const std::atomic<bool>& stop, std::string* line);

    // Whether the input has ended (or cannot be read); lines read before
    // may still be waiting to be taken.
    bool ended() const;

    // Whether the line next_line gave last ended in a line break: false for
    // a last line that the input ended inside, which may have been cut short.
    bool line_was_terminated() const;

    static constexpr std::chrono::milliseconds kStopCheck{20};

private:
    struct State;
    std::unique_ptr<State> state_;
};
