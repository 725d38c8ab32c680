// The replay of a log: what the device serves at given replay times, on a
// clock the tests step.
#include "sim/log_replay.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "environment.h"
#include "logbook/measurement_log.h"

namespace {

constexpr std::time_t kStart = 1765360800;  // 10.12.25 10:00:00 UTC

// One logged row: seconds after kStart, answered or not, temperature 1 in
// centidegrees (the row's mark).
struct LoggedRow {
    int at;
    bool answered;
    int32_t mark;
};

DeviceReadings readings_of(int32_t family) {
    DeviceReadings r;
    r.family_rate_mbps = family;
    std::snprintf(r.id_text[1], kIdTextSize, "%s",
                  family == kFamily350 ? "RL-KTR-350" : "RL-VXL-1000");
    r.supply_minus_12v = 11800;
    r.total_current = 1850;
    r.control_state[0] = 1;
    r.radio_to_phy_rate = 19000;
    r.modem_status = 1;
    r.mse_tenths_db = 245;
    return r;
}

// Run 2 goes on for this long, one row a second, each marked ten times its
// second (the log keeps tenths of a degree): long enough for windows, bisection and the header
// search.
constexpr int kLongRunEnd = 5000;
// The line of the row at second `at` of that stretch.
constexpr int line_of_second(int at) {
    return 31 + (at - 2012);
}

// Two runs: family 350 (two rows in one second, NO CONNECTION, a gap of
// more than 15 minutes), then after a header block family 1000.
std::string test_log() {
    std::string text;
    const auto run = [&](int32_t family, const std::vector<LoggedRow>& rows) {
        DeviceReadings r = readings_of(family);
        text += log_header_text(r);
        for (const LoggedRow& row : rows) {
            r.temperature[0] = row.mark;
            text += log_line_text(r, row.answered, kStart + row.at);
        }
    };
    run(kFamily350, {{0, true, 2000},
                     {1, true, 2100},
                     {1, true, 2200},
                     {2, false, 0},
                     {3, true, 2300},
                     {2000, true, 2400}});
    std::vector<LoggedRow> second_run = {{2010, true, 2500}, {2011, true, 2600}};
    for (int at = 2012; at < kLongRunEnd; ++at) {
        second_run.push_back({at, true, 10 * at});
    }
    run(kFamily1000, second_run);
    return text;
}

class LogReplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        use_utc_time_zone();
        path_ =
            (std::filesystem::temp_directory_path() /
             ("tarvik-replay-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
              ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log"))
                .string();
        write(test_log());
    }
    // The replay holds the file open, which Windows does not delete.
    void TearDown() override {
        replay_.reset();
        std::filesystem::remove(path_);
    }

    void write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }

    LogReplay& open(ReplayOptions options = {}) {
        options.on_problem = [this](const std::string& p) { problems_.push_back(p); };
        replay_ = std::make_unique<LogReplay>([this] { return now_; }, std::move(options));
        std::string error;
        EXPECT_TRUE(replay_->open(path_, &error)) << error;
        return *replay_;
    }

    // The mark of the row served, or -1 when silent.
    int32_t mark() {
        if (replay_->state() != ReplayState::kAnswering) {
            return -1;
        }
        return replay_->values().numbers[static_cast<int>(DeviceObject::kTemperature1)];
    }

    std::string path_;
    double now_ = 0;
    std::unique_ptr<LogReplay> replay_;
    std::vector<std::string> problems_;
};

TEST_F(LogReplayTest, ServesTheRowOfEachReplayTime) {
    struct Case {
        double at;  // seconds after the log's first row
        ReplayState state;
        int32_t mark;
        DeviceFamily family;
    };
    const Case cases[] = {
        {0.5, ReplayState::kAnswering, 2000, DeviceFamily::k350},
        {1.2, ReplayState::kAnswering, 2100, DeviceFamily::k350},  // two rows share 1 s
        {1.7, ReplayState::kAnswering, 2200, DeviceFamily::k350},
        // Silent from the cadence after 2200 (0.5 s) for at least as long
        // again; then the row after the outage.
        {2.2, ReplayState::kNoConnection, -1, DeviceFamily::k350},
        {2.6, ReplayState::kAnswering, 2300, DeviceFamily::k350},
        {3.9, ReplayState::kAnswering, 2300, DeviceFamily::k350},  // held 1 s, as the row before
        {4.1, ReplayState::kGap, -1, DeviceFamily::k350},          // 1997 s to the next row
        {2000.5, ReplayState::kAnswering, 2400, DeviceFamily::k350},
        {2005, ReplayState::kGap, -1, DeviceFamily::k350},  // a header block comes next
        {2010.5, ReplayState::kAnswering, 2500, DeviceFamily::k1000},
        {2012.5, ReplayState::kAnswering, 20120, DeviceFamily::k1000},
        {kLongRunEnd - 0.5, ReplayState::kAnswering, 10 * (kLongRunEnd - 1), DeviceFamily::k1000},
        {kLongRunEnd + 0.5, ReplayState::kEnded, -1, DeviceFamily::k1000},
    };
    open();
    for (const Case& c : cases) {
        now_ = c.at;
        EXPECT_EQ(replay_->state(), c.state) << c.at;
        EXPECT_EQ(mark(), c.mark) << c.at;
        if (c.state == ReplayState::kAnswering) {
            EXPECT_EQ(replay_->values().family, c.family) << c.at;
            EXPECT_EQ(replay_->values().id[1],
                      c.family == DeviceFamily::k350 ? "RL-KTR-350" : "RL-VXL-1000");
        }
    }
    EXPECT_TRUE(problems_.empty());
}

TEST_F(LogReplayTest, ServesTheReadingsInTheDevicesUnits) {
    open();
    const auto& n = replay_->values().numbers;
    ASSERT_EQ(replay_->state(), ReplayState::kAnswering);
    EXPECT_EQ(n[static_cast<int>(DeviceObject::kSupplyMinus12V)], 11800);  // its magnitude
    EXPECT_EQ(n[static_cast<int>(DeviceObject::kTotalCurrent)], 18500);    // tenths of a mA
    EXPECT_EQ(n[static_cast<int>(DeviceObject::kModemStatusOrMse)], 245);  // family 350: MSE
    EXPECT_EQ(n[static_cast<int>(DeviceObject::kRadioToPhyRate)], 19000);
}

TEST_F(LogReplayTest, PauseSpeedSeekAndLoopMoveTheReplayTime) {
    ReplayOptions options;
    options.loop = true;
    LogReplay& replay = open(options);
    now_ = 1.2;
    replay.pause();
    now_ = 100;
    EXPECT_EQ(mark(), 2100);
    replay.resume();
    replay.set_speed(10);
    now_ = 100.05;  // half a second of the log
    EXPECT_EQ(mark(), 2200);
    replay.seek(kStart + 2010.5);
    EXPECT_EQ(mark(), 2500);
    replay.seek(kStart + 0.5);  // back, across the header block
    EXPECT_EQ(mark(), 2000);
    EXPECT_EQ(replay.values().family, DeviceFamily::k350);
    replay.seek(kStart + kLongRunEnd + 0.5);  // past the end: starts again
    EXPECT_EQ(mark(), 2000);
}

TEST_F(LogReplayTest, StartsFromAGivenTimeWithThatRunsIdentification) {
    ReplayOptions options;
    options.from = kStart + 4500.5;
    open(options);
    EXPECT_EQ(mark(), 45000);
    EXPECT_EQ(replay_->values().id[1], "RL-VXL-1000");
}

TEST_F(LogReplayTest, ReportsUnreadableLinesByTheirNumberOnce) {
    std::string text = test_log();
    // Cut the row of second 4600 after its fourth column.
    std::size_t at = 0;
    for (int line = 1; line < line_of_second(4600); ++line) {
        at = text.find('\n', at) + 1;
    }
    std::size_t cut = at;
    for (int tab = 0; tab < 4; ++tab) {
        cut = text.find('\t', cut) + 1;
    }
    text.erase(cut - 1, text.find('\n', at) - (cut - 1));
    write(text);
    ReplayOptions options;
    options.from = kStart + 4500;  // far into the file: its line is counted when needed
    LogReplay& replay = open(options);
    for (int pass = 0; pass < 2; ++pass) {
        replay.seek(kStart + 4500);
        for (now_ = 0; now_ < 150; now_ += 0.5) {
            replay.state();
        }
    }
    ASSERT_EQ(problems_.size(), 1u);
    EXPECT_EQ(problems_[0].rfind("line " + std::to_string(line_of_second(4600)) + ": 4 columns", 0),
              0u)
        << problems_[0];
}

TEST_F(LogReplayTest, ALongOutageIsNotHeldRowByRow) {
    // Two days without an answer, a NO CONNECTION row every 2 s, between
    // two answered rows.
    constexpr int kOutageEnd = 2 * 86400;
    DeviceReadings r = readings_of(kFamily350);
    std::string text = log_header_text(r);
    r.temperature[0] = 2000;
    text += log_line_text(r, true, kStart);
    for (int at = 1; at < kOutageEnd; at += 2) {
        text += log_line_text(r, false, kStart + at);
    }
    r.temperature[0] = 2100;
    text += log_line_text(r, true, kStart + kOutageEnd);
    write(text);
    open();
    for (const double at : {1.5, 3600.0, kOutageEnd - 10.0}) {
        now_ = at;
        EXPECT_EQ(mark(), -1) << at;
        EXPECT_LT(replay_->rows_held(), 4 * kRowsKeptBehind) << at;
    }
    now_ = kOutageEnd + 0.5;
    EXPECT_EQ(mark(), 2100);
}

TEST_F(LogReplayTest, ServesAHeaderBlockWholeWhereverTheReadingStartsAndStops) {
    // Run 2's header block starts 24 octets before the end of the first
    // window, so that the window ends after its ID2 line, and the middle of
    // the file falls in that line, where a seek's bisection stops.
    const std::size_t header_at = kReplayWindow - 24;
    constexpr int kRun2 = 10000;  // its first row, seconds after kStart
    DeviceReadings r = readings_of(kFamily350);
    std::string text = log_header_text(r);
    for (int at = 0; text.size() + 600 < header_at; ++at) {
        text += log_line_text(r, true, kStart + at);
    }
    text.append(header_at - text.size(), '\n');
    r = readings_of(kFamily1000);
    text += log_header_text(r);
    ASSERT_EQ(text.compare(header_at, 5, "ID1=\n"), 0);
    for (int at = kRun2; text.size() < 2 * header_at + 20 - 600; ++at) {
        text += log_line_text(r, true, kStart + at);
    }
    text.append(2 * header_at + 20 - text.size(), '\n');
    write(text);
    for (const bool seek : {false, true}) {
        now_ = 0;
        open();
        if (seek) {
            replay_->seek(kStart + kRun2 + 1.5);
        } else {
            for (; now_ < kRun2 + 1.5; now_ += 100) {
                replay_->state();
            }
            now_ = kRun2 + 1.5;
        }
        ASSERT_EQ(replay_->state(), ReplayState::kAnswering) << seek;
        EXPECT_EQ(replay_->values().family, DeviceFamily::k1000) << seek;
        EXPECT_EQ(replay_->values().id[1], "RL-VXL-1000") << seek;
    }
    EXPECT_TRUE(problems_.empty()) << problems_.front();
}

TEST_F(LogReplayTest, PlaysThroughTheHourThatComesTwiceWhenTheClocksGoBack) {
    set_environment("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    use_local_time_zone_setting();
    // 25.10.26 02:50 CEST; 3600 s after 02:00 CEST it is 02:00 CET.
    constexpr std::time_t kFirst = 1792886400 - 600;
    constexpr int kRows = 6000;  // more than a window of the log
    DeviceReadings r = readings_of(kFamily350);
    std::string text = log_header_text(r);
    for (int at = 0; at < kRows; ++at) {
        r.temperature[0] = 10 * at;
        text += log_line_text(r, true, kFirst + at);
    }
    ASSERT_GT(text.size(), 2 * kReplayWindow);
    write(text);
    open();
    for (now_ = 0.5; now_ < kRows; now_ += 100) {
        EXPECT_EQ(mark(), 10 * static_cast<int32_t>(now_)) << now_;
    }
    use_utc_time_zone();
}

TEST_F(LogReplayTest, ALineOfTheOtherLayoutIsReportedInEveryWindowAsTheReaderDoes) {
    // Under family 350's headings, past the first window, a line written
    // with family 1000's layout (the device changed while polling went on).
    constexpr int kOther = 3000;
    DeviceReadings r = readings_of(kFamily350);
    std::string text = log_header_text(r);
    int line = 11;
    for (int at = 0; at < kOther; ++at, ++line) {
        text += log_line_text(r, true, kStart + at);
    }
    DeviceReadings other = readings_of(kFamily1000);
    other.temperature[0] = 4000;
    text += log_line_text(other, true, kStart + kOther);
    text += log_line_text(r, true, kStart + kOther + 1);
    ASSERT_GT(text.size(), kReplayWindow);
    write(text);
    open();
    for (now_ = 0.5; now_ < kOther + 2; now_ += 100) {
        replay_->state();
    }
    now_ = kOther + 0.5;
    EXPECT_NE(mark(), 4000);
    ASSERT_EQ(problems_.size(), 1u);
    EXPECT_EQ(problems_[0], "line " + std::to_string(line + 1) + ": 27 columns, expected 31");
}

TEST(ReplayedDevice, ASetDuringTheReplayHoldsForItsRest) {
    DeviceModel model;
    model.start_replay();
    ReplayedValues row;
    row.numbers[static_cast<int>(DeviceObject::kRadioSwitch)] = 1;
    for (DeviceObject rate : {DeviceObject::kPhyToRadioRate, DeviceObject::kDownlinkMbps}) {
        row.numbers[static_cast<int>(rate)] = 350;
    }
    model.show_replayed(row);
    EXPECT_EQ(model.value(DeviceObject::kDownlinkMbps).number, 350);
    model.apply_set(DeviceObject::kRadioSwitch, DeviceValue::integer(0));
    model.apply_set(DeviceObject::kIdentification8, DeviceValue::octets("k"));
    model.show_replayed(row);  // the next row logged the radio on
    for (DeviceObject object :
         {DeviceObject::kRadioSwitch, DeviceObject::kPhyToRadioRate, DeviceObject::kDownlinkMbps}) {
        EXPECT_EQ(model.value(object).number, 0) << static_cast<int>(object);
    }
    EXPECT_EQ(model.value(DeviceObject::kIdentification8).text, "k");
}

}  // namespace
