// The measurement log read back: logs written by the console's own writer.
#include "logbook/log_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "environment.h"
#include "logbook/measurement_log.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#endif

namespace {

std::string crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return out;
}

DeviceReadings sample(int32_t family, const char* id4 = "fw 1.2") {
    DeviceReadings r;
    r.family_rate_mbps = family;
    std::snprintf(r.id_text[3], sizeof r.id_text[3], "%s", id4);
    r.temperature[0] = 2350;
    r.temperature[2] = -50;
    r.agc_voltage = 2500;
    r.supply_minus_12v = 12000;
    r.total_current = 1234;
    r.phy_to_radio_total = 12345;
    r.fec_error_count = 7;
    r.fec_fail_count = 3;
    r.packet_error_ratio = 0.006;
    r.modem_status = 3;
    r.mse_tenths_db = 123;
    r.up_link_mbps = 350;
    r.drop_q1_count = 4294967295u;
    r.frequency_offset_hz = -2500;
    return r;
}

struct Read {
    std::vector<double> seconds;
    std::vector<bool> succeeded;
    std::vector<DeviceReadings> readings;
    std::vector<std::string> problems;
    LogReadTotals totals;
};

Read read(const std::string& text) {
    Read out;
    std::istringstream in(text);
    out.totals = read_measurement_log(
        in,
        [&](const LogRecord& record) {
            out.seconds.push_back(record.seconds);
            out.succeeded.push_back(record.succeeded);
            out.readings.push_back(record.readings);
        },
        [&](const std::string& problem) { out.problems.push_back(problem); });
    return out;
}

class LogReaderTest : public testing::Test {
protected:
    void SetUp() override { use_utc_time_zone(); }
    // 2026-12-08 14:05:09 UTC
    static constexpr std::time_t kNow = 1796738709;
};

TEST_F(LogReaderTest, BothFamiliesReadBackWithEitherLineEnd) {
    // An identification item with a line break keeps to its line.
    const DeviceReadings r350 = sample(350, "fw\n1.2");
    const DeviceReadings r1000 = sample(1000);
    const std::string lf = log_header_text(r350) + log_line_text(r350, true, kNow) +
                           log_line_text(r350, false, kNow + 1) + log_header_text(r1000) +
                           log_line_text(r1000, true, kNow + 3600);
    for (const std::string& text : {lf, crlf(lf)}) {
        const Read got = read(text);
        EXPECT_TRUE(got.problems.empty()) << got.problems[0];
        ASSERT_EQ(got.seconds, (std::vector<double>{kNow, kNow + 1, kNow + 3600}));
        ASSERT_EQ(got.succeeded, (std::vector<bool>{true, false, true}));
        EXPECT_EQ(got.totals.lines, 25u);
        EXPECT_EQ(got.totals.records, 3u);

        // Every logged column comes back: the line written again is the same.
        EXPECT_EQ(log_line_text(got.readings[0], true, kNow), log_line_text(r350, true, kNow));
        EXPECT_EQ(log_line_text(got.readings[2], true, kNow), log_line_text(r1000, true, kNow));
        EXPECT_EQ(got.readings[0].fec_fail_since_reset, 3);
        EXPECT_STREQ(receiver_lock_word(got.readings[2].receiver_lock), "Lock");
        EXPECT_STREQ(link_quality_word(got.readings[2].link_quality), "Bad");
    }
}

TEST_F(LogReaderTest, TheHourThatComesTwiceWhenTheClocksGoBackReadsOnInOrder) {
    set_environment("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    use_local_time_zone_setting();
    // 25.10.26 00:00 UTC, 02:00 CEST; at 01:00 UTC, 03:00 CEST, it is 02:00 CET.
    constexpr std::time_t kBack = 1792886400;
    const std::time_t at_first = kBack;
    const std::time_t at_again = kBack + 3600;
    const int first_hour = std::localtime(&at_first)->tm_hour;
    if (std::localtime(&at_again)->tm_hour != first_hour) {
        use_utc_time_zone();
        GTEST_SKIP() << "the C library does not take the time zone's rules";
    }
    const DeviceReadings r = sample(350);
    std::vector<double> stamps;
    std::string text = log_header_text(r);
    // At 1795 and at the last line the clock was set back a few seconds:
    // those stay in their own occurrence of the hour.
    for (const int at : {-1, 0, 1800, 1795, 3599, 3600, 3601, 5400, 7199, 7200, 7195}) {
        text += log_line_text(r, true, kBack + at);
        stamps.push_back(at);
    }
    const Read got = read(text);
    use_utc_time_zone();
    EXPECT_TRUE(got.problems.empty()) << got.problems[0];
    std::vector<double> read_at;
    for (const double seconds : got.seconds) {
        read_at.push_back(seconds - static_cast<double>(kBack));
    }
    EXPECT_EQ(read_at, stamps);
}

TEST_F(LogReaderTest, MalformedLinesAreReportedAndTheRestIsRead) {
    const DeviceReadings r = sample(350);
    const std::string good = log_line_text(r, true, kNow);
    std::string short_line = good.substr(0, good.rfind('\t')) + "\n";
    std::string bad_number = good;
    bad_number.replace(bad_number.find("\t-0.5\t"), 6, "\t-0,5\t");
    std::string hot = good;
    hot.replace(hot.find("\t23.5\t"), 6, "\t3e+300\t");
    DeviceReadings huge_total = r;
    huge_total.phy_to_radio_total = 1.79e308;
    const struct {
        const char* line;
        std::string text;
        std::string reason;
    } cases[] = {
        {"too few columns", short_line, "30 columns, expected 31"},
        {"bad number", bad_number, "bad number in column 4"},
        {"number too large for its field", hot, "number out of range in column 2"},
        {"number too large to draw", log_line_text(huge_total, true, kNow),
         "number out of range in column 21"},
        {"infinite number", "08.12.26 14:05:09\t-inf" + good.substr(good.find('\t', 18)),
         "bad number in column 2"},
        {"no such day", "31.11.26 14:05:09\tNO CONNECTION\n", "bad timestamp"},
        {"no timestamp", "hello\n", "bad timestamp"},
        {"overlong", std::string(5000, '7') + "\n", "longer than 4096 characters"},
        {"headings of neither family", "Time\tTS1\tTS2\n",
         "column headings of neither family (3 columns)"},
    };
    for (const auto& c : cases) {
        // Eleven header lines, a good line 12, the bad line 13, a good 14.
        const Read got = read(crlf(log_header_text(r) + good + c.text + good));
        EXPECT_EQ(got.problems, std::vector<std::string>{"line 13: " + c.reason}) << c.line;
        EXPECT_EQ(got.seconds.size(), 2u) << c.line;
        EXPECT_EQ(got.totals.lines, 14u) << c.line;
    }
}

TEST_F(LogReaderTest, AHeaderLineItCannotPlaceIsReportedAndNeverTakenForAPoll) {
    const DeviceReadings r = sample(1000);
    const std::string header = log_header_text(r);
    const std::string good = log_line_text(r, true, kNow);
    const std::string after_id1 = header.substr(header.find('\n') + 1);
    const struct {
        const char* what;
        std::string line;
    } cases[] = {
        {"a poll forged by item 1", "08.12.26 14:05:09\tNO CONNECTION\n"},
        {"a whole forged record", good},
        {"the rest of an item an older console broke", "1.2\n"},
    };
    for (const auto& c : cases) {
        const Read got = read(crlf("ID1=\n" + c.line + after_id1 + good));
        EXPECT_EQ(got.problems,
                  std::vector<std::string>{"line 2: in a header block, neither an identification "
                                           "item nor the column headings"})
            << c.what;
        EXPECT_EQ(got.seconds, std::vector<double>{kNow}) << c.what;
        EXPECT_EQ(got.totals.lines, 13u) << c.what;
    }
}

TEST_F(LogReaderTest, WithoutHeadingsTheColumnCountNamesTheFamily) {
    const std::string lines = log_line_text(sample(1000), true, kNow) +
                              log_line_text(sample(350), true, kNow + 1) + "01.01.26 00:00:00\t1";
    const Read got = read(lines);
    ASSERT_EQ(got.readings.size(), 2u);
    EXPECT_EQ(got.readings[0].family_rate_mbps, 1000);
    EXPECT_EQ(got.readings[1].family_rate_mbps, 350);
    EXPECT_EQ(got.problems, std::vector<std::string>{"line 3: 2 columns, the layout of neither "
                                                     "family"})
        << "a last line without its end is read too";
}

TEST_F(LogReaderTest, LongLogFeedsTheHistory) {
    // More than one read chunk, so lines run across chunk boundaries.
    constexpr int kLines = 2000;
    std::string text = crlf(log_header_text(sample(1000)));
    DeviceReadings r = sample(1000);
    for (int i = 0; i < kLines; ++i) {
        r.temperature[0] = 10 * i;
        text += crlf(log_line_text(r, i % 10 != 5, kNow + i));
    }
    ASSERT_GT(text.size(), 200000u);
    std::istringstream in(text);
    ReadingHistory history;
    std::vector<std::string> problems;
    const LogReadTotals totals = read_measurement_log(in, history, &problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(totals.records, static_cast<uint64_t>(kLines));
    EXPECT_EQ(history.polls(), static_cast<uint64_t>(kLines));
    const auto temperatures = history.extract(Series::kTemperature1, kNow - 0.5, kNow + 9.5, 10);
    ASSERT_EQ(temperatures.size(), 10u);
    EXPECT_EQ(temperatures[4].value, 0.4);
    EXPECT_TRUE(std::isnan(temperatures[5].value)) << "NO CONNECTION is a gap";
    const auto up = history.extract(Series::kUpLinkMbps, kNow - 0.5, kNow + 0.5, 1);
    ASSERT_EQ(up.size(), 1u);
    EXPECT_TRUE(std::isnan(up[0].value)) << "family 1000 logs no link rate";
}

class LogFileTest : public LogReaderTest {
protected:
    void SetUp() override {
        LogReaderTest::SetUp();
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        // A name of its own per run: an unseeded rand() gave every process
        // the same one, so runs at once, or one left over, shared files.
        dir_ =
            std::filesystem::temp_directory_path() / (std::string("tarvik-log-") + info->name() +
                                                      "-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string path(const char* name) const { return (dir_ / name).string(); }
    // A family 350 log of `polls` answered polls, `step` seconds apart.
    std::string write_log(const char* name, int polls, int step) const {
        std::string text = log_header_text(sample(350));
        for (int i = 0; i < polls; ++i) {
            text += log_line_text(sample(350), true, kNow + static_cast<std::time_t>(i) * step);
        }
        std::ofstream(path(name), std::ios::binary) << text;
        return path(name);
    }
    std::filesystem::path dir_;
};

TEST_F(LogFileTest, OnlyARegularFileIsOpened) {
    const std::string log = write_log("run.log", 3, 1);
    struct Case {
        const char* name;
        std::string path;
        LogLoad::Status status;
        std::string error;
    };
    std::vector<Case> cases = {
        {"a log", log, LogLoad::Status::kRead, ""},
        {"a directory", dir_.string(), LogLoad::Status::kNotAFile,
         "not a regular file (a directory)"},
    };
#ifndef _WIN32
    // A FIFO without a writer would block the reader for good.
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    cases.push_back(
        {"a FIFO", path("fifo"), LogLoad::Status::kNotAFile, "not a regular file (a FIFO)"});
    cases.push_back(
        {"a device", "/dev/zero", LogLoad::Status::kNotAFile, "not a regular file (a device)"});
    cases.push_back(
        {"missing", path("none.log"), LogLoad::Status::kCannotOpen, "No such file or directory"});
#endif
    for (const Case& c : cases) {
        ReadingHistory history;
        const LogLoad load = load_log_file(c.path, history);
        EXPECT_EQ(load.status, c.status) << c.name;
        EXPECT_EQ(load.error, c.error) << c.name;
        EXPECT_EQ(history.polls(), c.status == LogLoad::Status::kRead ? 3u : 0u) << c.name;
    }
}

#ifndef _WIN32
// The path turns into a FIFO and back while loads run: a load that checked
// a file but opened the FIFO would wait for a writer for ever.
TEST_F(LogFileTest, AFifoSwappedInAfterTheCheckIsNeverWaitedOn) {
    const std::string log = write_log("run.log", 3, 1);
    const std::string file = path("file"), fifo = path("fifo"), next = path("next");
    ASSERT_EQ(::link(log.c_str(), file.c_str()), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> stop{false}, done{false};
    std::atomic<int> loads{0}, fifos_read{0};
    std::thread loader([&] {
        for (; !stop; ++loads) {
            ReadingHistory history;
            const LogLoad load = load_log_file(log, history);
            fifos_read += load.status == LogLoad::Status::kRead && history.polls() == 0;
        }
        done = true;
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    for (bool to_fifo = true; std::chrono::steady_clock::now() < until; to_fifo = !to_fifo) {
        ::unlink(next.c_str());
        ASSERT_EQ(::link((to_fifo ? fifo : file).c_str(), next.c_str()), 0);
        ASSERT_EQ(std::rename(next.c_str(), log.c_str()), 0);
    }
    stop = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const bool stuck = !done;
    while (!done) {  // a load stuck in its open is let go by a writer
        ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    loader.join();
    EXPECT_FALSE(stuck) << "a load waited on the FIFO";
    EXPECT_EQ(fifos_read.load(), 0);
    EXPECT_GT(loads.load(), 10);
}
#endif

TEST_F(LogFileTest, ProgressCountsTheBytesAndCanStopTheLoad) {
    const std::string log = write_log("long.log", 2000, 1);  // several read chunks
    std::vector<uint64_t> seen;
    ReadingHistory whole;
    const LogLoad all = load_log_file(log, whole, [&](uint64_t bytes) {
        seen.push_back(bytes);
        return true;
    });
    EXPECT_EQ(all.status, LogLoad::Status::kRead);
    ASSERT_GT(seen.size(), 2u);
    EXPECT_EQ(seen.back(), all.bytes);
    EXPECT_EQ(all.bytes, std::filesystem::file_size(log));
    EXPECT_EQ(all.totals.records, 2000u);

    ReadingHistory part;
    const LogLoad stopped = load_log_file(log, part, [](uint64_t) { return false; });
    EXPECT_EQ(stopped.status, LogLoad::Status::kStopped);
    EXPECT_LT(part.polls(), 2000u);
}

TEST_F(LogFileTest, WhatTheHistoryCouldNotHoldIsSaid) {
    // A poll an hour; two buckets a level hold at most 2046 polls, 85 days.
    const struct {
        int polls;
        std::string notice;
    } cases[] = {
        {2000, ""},
        {3000, "1024 polls older than 82 days not held"},
    };
    for (const auto& c : cases) {
        ReadingHistory history(2);
        const LogLoad load = load_log_file(write_log("hourly.log", c.polls, 3600), history);
        EXPECT_EQ(load.totals.records, static_cast<uint64_t>(c.polls));
        EXPECT_EQ(log_load_notice(load), c.notice) << c.polls;
    }
}

}  // namespace
