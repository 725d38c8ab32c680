// The pane texts and the measurement log, byte for byte.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "device/panes.h"
#include "environment.h"
#include "logbook/measurement_log.h"

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) {
        parts.push_back(part);
    }
    if (!text.empty() && text.back() == separator) {
        parts.emplace_back();
    }
    return parts;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

std::string crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return out;
}

DeviceReadings sample(int32_t family) {
    DeviceReadings r;
    r.family_rate_mbps = family;
    const char* ids[8] = {"Tarvik", "RL-VXL-1000", "SN 42", "fw 1.2", "100% tested",
                          "",       "x",           "KEY"};
    for (int i = 0; i < 8; ++i) {
        std::snprintf(r.id_text[i], sizeof r.id_text[i], "%s", ids[i]);
    }
    r.temperature[0] = 2350;
    r.temperature[1] = 3100;
    r.temperature[2] = -50;
    r.receiver_voltage = 5120;
    r.transmitter_voltage = 12000;
    r.agc_voltage = 2500;
    r.attenuation = 155;
    r.humidity = 42;
    r.supply_24v = 24100;
    r.supply_12v = 12000;
    r.supply_9v = 9000;
    r.supply_minus_12v = 12000;
    r.supply_5v = 5000;
    r.supply_3v3 = 3300;
    r.supply_5v_standby = 5100;
    r.total_current = 1234;
    r.control_state[0] = 1;
    r.control_state[2] = 0;
    r.phy_to_radio_rate = 1000;
    r.phy_to_radio_total = 12345;
    r.radio_to_phy_rate = 500;
    r.radio_to_phy_total = 500;
    r.fec_error_count = 7;
    r.fec_fail_count = 3;
    r.fec_fail_since_reset = 2;
    r.packet_error_ratio = 0.006;
    r.modem_status = 3;
    r.mse_tenths_db = 123;
    r.receiver_lock = ReceiverLock::kLocked;
    r.link_quality = LinkQuality::kBad;
    r.up_link_mbps = 350;
    r.down_link_mbps = 1000;
    r.drop_q1_count = 4294967295u;
    r.drop_q1_since_reset = 3000000000u;
    r.drop_tx_count = 2;
    r.drop_tx_since_reset = 1;
    r.frequency_offset_hz = -2500;
    return r;
}

TEST(Panes, TextsOfBothFamilies) {
    const DeviceReadings r350 = sample(350);
    const DeviceReadings r1000 = sample(1000);
    const struct {
        const char* what;
        std::string got;
        std::string expected;
    } cases[] = {
        {"temperature", temperature_pane_text(r350),
         "Temperature Sensor 1\t= 23.5 deg\r\nTemperature Sensor 2\t= 31.0 deg\r\n"
         "Temperature Sensor 3\t= -0.5 deg"},
        {"voltage", voltage_pane_text(r350),
         "Ureceiver\t\t\t= 5.1 V\r\nUtransmitter\t\t= 12.0 V\r\nVoltage AGC\t\t= 2.50 V\r\n"
         "Attenuation\t\t= 15.5 dB\r\n\r\nU +24V\t\t\t= 24.1 V\r\nU +12V\t\t\t= 12.0 V\r\n"
         "U +9V\t\t\t= 9.0 V\r\nU -12V\t\t\t= -12.0 V\r\nU +5V\t\t\t= 5.0 V\r\n"
         "U +3.3V\t\t\t= 3.3 V\r\nU +5VSB\t\t\t= 5.1 V\r\nTotal Consumtion\t\t= 1234 mA"},
        {"rx 350", rx_pane_text(r350), "MSE dB \t= 12.3"},
        {"rx 1000", rx_pane_text(r1000), "Receiver \t= Lock \r\nQuality  \t= Bad \r\nStatus \t= 3"},
        {"statistic 1000", statistic_pane_text(r1000),
         "PHY->Radio packets per sec.\t= 1000 \r\nPHY->Radio packets total \t= 1.234500e+004 \r\n"
         "Radio->PHY packets per sec.\t= 500 \r\nRadio->PHY packets total \t= 5.000000e+002 \r\n"
         "FEC fails total \t\t= 2 \r\nPER total \t\t= 6.000e-003"},
        {"statistic 350, drops above 2^31 unsigned", statistic_pane_text(r350),
         "PHY->Radio packets per sec.\t= 1000 \r\nPHY->Radio packets total \t= 1.234500e+004 \r\n"
         "Radio->PHY packets per sec.\t= 500 \r\nRadio->PHY packets total \t= 5.000000e+002 \r\n"
         "FEC fails total \t\t= 2 \r\nPER total \t\t= 6.000e-003 \r\n"
         "Drop PHY->R packets total\t= 3000000000 \r\nDrop R->PHY packets total\t= 1  \r\n"
         "Frequency Offset MHz\t= -0.002500"},
        {"link", link_pane_text(r350), "UpLink\t=350Mbps\r\nDownLink=1000Mbps\r\n "},
        {"identification", identification_pane_text(r350),
         "Tarvik\r\nRL-VXL-1000\r\nSN 42\r\nfw 1.2\r\n100% tested\r\n\r\nx\r\nKEY\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.got, c.expected) << c.what;
    }
}

TEST(Panes, ZeroMinusTwelveRailShowsNoNegativeZero) {
    DeviceReadings r;
    EXPECT_NE(voltage_pane_text(r).find("U -12V\t\t\t= 0.0 V"), std::string::npos);
}

class LogTest : public testing::Test {
protected:
    void SetUp() override {
        use_utc_time_zone();
        path_ = testing::TempDir() + "tarvik-log-" +
                testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
        std::remove(path_.c_str());
    }
    void TearDown() override { std::remove(path_.c_str()); }

    // 2026-12-08 14:05:09 UTC
    static constexpr std::time_t kNow = 1796738709;
    std::string path_;
};

TEST_F(LogTest, LinesOfBothFamilies) {
    const std::string common =
        "08.12.26 14:05:09\t23.5\t31.0\t-0.5\t5.1\t12.0\t2.50\t15.5\t42\t24.1\t12.0\t9.0\t12.0\t"
        "5.0\t3.3\t5.1\t1234\t1\t0\t1000\t1.234500e+004\t500\t5.000000e+002\t";
    EXPECT_EQ(log_line_text(sample(1000), true, kNow), common + "7\t3\t6.000e-003\t3\n");
    EXPECT_EQ(log_line_text(sample(350), true, kNow),
              common + "3\t6.000e-003\t4294967295\t2\t350\t1000\t12.3\t-2500\n");
    EXPECT_EQ(log_line_text(sample(350), false, kNow), "08.12.26 14:05:09\tNO CONNECTION\n");
}

TEST_F(LogTest, HeadingsAndLinesHaveTheFamilysColumnCount) {
    for (int32_t family : {350, 1000}) {
        const size_t columns = family == 350 ? 31 : 27;
        const auto header = split(log_header_text(sample(family)), '\n');
        ASSERT_EQ(header.size(), 12u)
            << "8 items, 2 empty lines, the headings, after the last line end";
        EXPECT_EQ(header[1], "ID2=RL-VXL-1000");
        EXPECT_EQ(header[4], "ID5=100% tested") << "a % in an item is written unchanged";
        EXPECT_EQ(header[8], "");
        EXPECT_EQ(header[9], "");
        EXPECT_EQ(split(header[10], '\t').size(), columns) << family;
        EXPECT_EQ(header[10].rfind("Time             \tTS1\t", 0), 0u);
        std::string line = log_line_text(sample(family), true, kNow);
        line.pop_back();
        EXPECT_EQ(split(line, '\t').size(), columns) << family;
    }
    const std::string tail350 = log_header_text(sample(350));
    EXPECT_NE(tail350.find("\tR->PHY\tFECfail\t PER\t      DropQ1\tDropTX\tUpLink_Mbps\t"
                           "DownLink_Mbps\tMSE_RX\tFrequency_Offset_Hz\n"),
              std::string::npos);
}

TEST_F(LogTest, ControlCharactersInAnItemAreEscapedOnItsLine) {
    const struct {
        const char* item;
        const char* line;
    } cases[] = {
        {"a\n08.12.26 14:05:09\tNO CONNECTION", "ID1=a\\x0A08.12.26 14:05:09\tNO CONNECTION"},
        {"cr\rlf", "ID1=cr\\x0Dlf"},
        {"\x1B[2J\x01\x1F", "ID1=\\x1B[2J\\x01\\x1F"},
        {"tab\tkept", "ID1=tab\tkept"},
        {"M\xFCller \x7F\xC2\x9B \xC3\xBC", "ID1=M\xFCller \x7F\xC2\x9B \xC3\xBC"},
    };
    for (const auto& c : cases) {
        DeviceReadings r = sample(1000);
        std::snprintf(r.id_text[0], sizeof r.id_text[0], "%s", c.item);
        const auto header = split(log_header_text(r), '\n');
        ASSERT_EQ(header.size(), 12u) << c.item;
        EXPECT_EQ(header[0], c.line);
        EXPECT_EQ(header[1], "ID2=RL-VXL-1000");
    }
}

TEST_F(LogTest, FileGetsCrLfLinesAppendedAcrossRuns) {
    const DeviceReadings r = sample(1000);
    ASSERT_EQ(write_log_header(path_, r), LogWrite::kWritten);
    ASSERT_EQ(write_log_line(path_, r, true, kNow), LogWrite::kWritten);
    ASSERT_EQ(write_log_line(path_, r, false, kNow), LogWrite::kWritten);
    ASSERT_EQ(write_log_header(path_, r), LogWrite::kWritten);
    const std::string bytes = read_file(path_);
    const std::string expected_lf = log_header_text(r) + log_line_text(r, true, kNow) +
                                    log_line_text(r, false, kNow) + log_header_text(r);
    EXPECT_EQ(bytes, crlf(expected_lf));
    EXPECT_EQ(bytes.find("\n", bytes.find("NO CONNECTION")) - 1,
              bytes.find("\r", bytes.find("NO CONNECTION")));
}

TEST_F(LogTest, UnopenableFilesWriteNothing) {
    const DeviceReadings r;
    EXPECT_EQ(write_log_header("", r), LogWrite::kCannotOpen);
    EXPECT_EQ(write_log_line("", r, true, kNow), LogWrite::kCannotOpen);
    EXPECT_EQ(write_log_header(testing::TempDir() + "no-such-folder/x.log", r),
              LogWrite::kCannotOpen);
    EXPECT_EQ(write_log_line(testing::TempDir() + "no-such-folder/x.log", r, false, kNow),
              LogWrite::kCannotOpen);
}

TEST_F(LogTest, AppendResultPerTarget) {
    const DeviceReadings r = sample(350);
    const struct {
        std::string path;
        LogWrite expected;
    } cases[] = {
        {path_, LogWrite::kWritten},
        {testing::TempDir(), LogWrite::kCannotOpen},
#ifndef _WIN32
        {"/dev/full", LogWrite::kCannotWrite},
        // Without a reader the open fails at once instead of waiting for one.
        {path_ + ".fifo", LogWrite::kCannotOpen},
#endif
    };
#ifndef _WIN32
    std::remove(cases[3].path.c_str());
    ASSERT_EQ(mkfifo(cases[3].path.c_str(), 0600), 0);
#endif
    for (const auto& c : cases) {
        EXPECT_EQ(write_log_header(c.path, r), c.expected) << c.path;
        EXPECT_EQ(write_log_line(c.path, r, true, kNow), c.expected) << c.path;
    }
#ifndef _WIN32
    std::remove(cases[3].path.c_str());
#endif
}

#ifndef _WIN32
// A file size limit (setrlimit) in a child process is POSIX's.
TEST_F(LogTest, WriteCutShortLeavesNoHalfLine) {
    const DeviceReadings r = sample(350);
    ASSERT_EQ(write_log_header(path_, r), LogWrite::kWritten);
    const std::string before = read_file(path_);
    const std::string line = crlf(log_line_text(r, true, kNow));

    // In a child whose file size limit falls in the middle of the line; the
    // result comes back as its exit status.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = before.size() + line.size() / 2;
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(static_cast<int>(write_log_line(path_, r, true, kNow)));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(LogWrite::kCannotWrite));
    EXPECT_EQ(read_file(path_), before);

    EXPECT_EQ(write_log_line(path_, r, true, kNow), LogWrite::kWritten);
    EXPECT_EQ(read_file(path_), before + line);
}
#endif

}  // namespace
