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
    EXPECT_EQ(next(input, std::chrono::milliseconds(30)), "(none)") << "half a line";
    write_text("n\n\nkey x");
    EXPECT_EQ(next(input), "radio on");
    EXPECT_EQ(next(input), "");
    EXPECT_FALSE(input.ended());
    close_writer();
    EXPECT_EQ(next(input), "key x");
    EXPECT_EQ(next(input, std::chrono::milliseconds(30)), "(none)") << "after the end";
    EXPECT_TRUE(input.ended());
}

}  // namespace
