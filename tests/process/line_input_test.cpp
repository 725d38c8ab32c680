// Lines read from a pipe as the programs read standard input.
#include "process/line_input.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = LineInput::Clock;

class LineInputTest : public ::testing::Test {
protected:
#ifdef _WIN32
    void SetUp() override {
        ASSERT_EQ(_pipe(fds_, 4096, _O_BINARY), 0);
    }
#else
    void SetUp() override {
        ASSERT_EQ(pipe(fds_), 0);
    }
#endif
    void TearDown() override {
        close(fds_[0]);
        close_writer();
    }
    // A fresh pipe in place of the fixture's.
    int pipe_again() {
        TearDown();
#ifdef _WIN32
        return _pipe(fds_, 4096, _O_BINARY);
#else
        return pipe(fds_);
#endif
    }
    void write_text(const std::string& text) {
        ASSERT_EQ(write(fds_[1], text.data(), static_cast<unsigned>(text.size())),
                  static_cast<int>(text.size()));
    }
    void close_writer() {
        if (fds_[1] >= 0) {
            close(fds_[1]);
            fds_[1] = -1;
        }
    }
    // The next line within a second, or "(none)".
    std::string next(LineInput& input, std::chrono::milliseconds wait = std::chrono::seconds(1)) {
        std::string line;
        return input.next_line(Clock::now() + wait, stop_, &line) ? line : "(none)";
    }

    int fds_[2] = {-1, -1};
    std::atomic<bool> stop_{false};
};

TEST_F(LineInputTest, LinesInPiecesAndALastLineWithoutBreak) {
    LineInput input(fds_[0]);
    write_text("get\r\nradio o");
    EXPECT_EQ(next(input), "get");
    EXPECT_TRUE(input.line_was_terminated());
    EXPECT_EQ(next(input, std::chrono::milliseconds(30)), "(none)") << "half a line";
    write_text("n\n\nkey x");
    EXPECT_EQ(next(input), "radio on");
    EXPECT_EQ(next(input), "");
    EXPECT_FALSE(input.ended());
    close_writer();
    EXPECT_EQ(next(input), "key x");
    EXPECT_FALSE(input.line_was_terminated()) << "the input ended inside it";
    EXPECT_EQ(next(input, std::chrono::milliseconds(30)), "(none)") << "after the end";
    EXPECT_TRUE(input.ended());
}

TEST_F(LineInputTest, ALineTooLongIsDroppedWholeAndReportedOnce) {
    const std::string longest(LineInput::kLongestLine, 'x');
    const struct {
        std::string description;
        std::string input;
        std::vector<std::string> lines;
        int reports;
    } cases[] = {
        {"a Set hidden after the limit", longest + "set\nget\n", {"get"}, 1},
        {"the longest line, CR LF", longest + "\r\nget", {longest, "get"}, 0},
        {"one octet over", longest + "y\n\nget\n", {"", "get"}, 1},
        {"two in a row", longest + "set\n" + longest + longest + "set\nget\n", {"get"}, 2},
        {"a last line over the limit", "get\n" + longest + "set", {"get"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        ASSERT_EQ(pipe_again(), 0);
        int reports = 0;
        std::vector<std::string> lines;
        LineInput input(fds_[0], [&](const std::string& message) {
            EXPECT_EQ(message, "line too long (over 4096 bytes), ignored");
            ++reports;
        });
        // Written by a thread of its own: more than a pipe may hold.
        std::thread writer([&] {
            write_text(c.input);
            close_writer();
        });
        for (;;) {
            const std::string line = next(input, std::chrono::milliseconds(50));
            if (line != "(none)") {
                lines.push_back(line);
            } else if (input.ended()) {
                break;
            }
        }
        writer.join();
        EXPECT_TRUE(input.ended());
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(reports, c.reports);
    }
}

}  // namespace
