// The journal: events as lines and back, lines that are no event, the
// reader of the files, rotation, two writers at once, and the export.
#include "logbook/journal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "environment.h"
#include "logbook/journal_export.h"
#include "test_names.h"

namespace {

// 2026-12-10 02:14:07.250 UTC
constexpr double kTime = 1796868847.25;

struct LineCase {
    const char* description;
    int offset;
    const char* address;
    const char* serial;
    JournalKind kind;
    const char* text;
    std::vector<JournalField> fields;
    const char* line;
    const char* text_read;  // the text read back, when it is not `text`
};

const LineCase kLineCases[] = {
    {"a lamp with numbers and texts",
     3600,
     "10.0.0.5",
     "A123",
     JournalKind::kLampLatched,
     "U +12V 14.5 V outside 10..14 V",
     {{"rail", "U +12V", false}, {"value", "14.5", true}, {"low", "-3e2", true}},
     R"({"time":"2026-12-10T03:14:07.250+01:00","address":"10.0.0.5","serial":"A123",)"
     R"("kind":"lamp_latched","text":"U +12V 14.5 V outside 10..14 V","rail":"U +12V",)"
     R"("value":14.5,"low":-3e2})",
     nullptr},
    {"quotes, backslashes and controls are escaped",
     0,
     "h\"o\\st",
     "",
     JournalKind::kNoAnswer,
     "line\nbreak\ttab\x01\x7f",
     {{"cause", "\r", false}},
     R"({"time":"2026-12-10T02:14:07.250+00:00","address":"h\"o\\st","serial":"",)"
     R"("kind":"no_answer","text":"line\u000abreak\u0009tab\u0001\u007f","cause":"\u000d"})",
     nullptr},
    {"UTF-8 passes and octets that are no UTF-8 are taken as Latin-1",
     -12600,
     "Müller",
     "\xff",
     JournalKind::kStop,
     "\xc3\x28",
     {},
     R"({"time":"2026-12-09T22:44:07.250-03:30","address":"Müller","serial":"\u00ff",)"
     R"("kind":"stop","text":"\u00c3("})",
     "Ã("},
    {"an offset of no whole minutes keeps its seconds",
     1172,
     "a",
     "s",
     JournalKind::kAnswered,
     "",
     {{"outage_s", "12", true}},
     R"({"time":"2026-12-10T02:33:39.250+00:19:32","address":"a","serial":"s",)"
     R"("kind":"answered","text":"","outage_s":12})",
     nullptr},
    {"flags and null are bare, a bad number is quoted, a fixed name is left out",
     0,
     "a",
     "s",
     JournalKind::kStart,
     "t",
     {{"logging", "true", true},
      {"log_file", "null", true},
      {"interval_ms", "1.", false},
      {"time", "x", false}},
     R"({"time":"2026-12-10T02:14:07.250+00:00","address":"a","serial":"s",)"
     R"("kind":"start","text":"t","logging":true,"log_file":null,"interval_ms":"1."})",
     nullptr},
};

class JournalLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(JournalLineTest, WritesTheLineAndReadsTheEventBack) {
    const LineCase& c = GetParam();
    JournalEvent event;
    event.time = kTime;
    event.utc_offset_s = c.offset;
    event.address = c.address;
    event.serial = c.serial;
    event.kind = c.kind;
    event.text = c.text;
    event.fields = c.fields;
    EXPECT_EQ(journal_line(event), c.line);

    std::string error;
    const std::optional<JournalEvent> read = parse_journal_line(c.line, &error);
    ASSERT_TRUE(read) << error;
    EXPECT_DOUBLE_EQ(read->time, kTime);
    EXPECT_EQ(read->utc_offset_s, c.offset);
    EXPECT_EQ(read->kind, c.kind);
    if (c.text_read != nullptr) {
        EXPECT_EQ(read->text, c.text_read);
        return;
    }
    EXPECT_EQ(read->text, c.text);
    EXPECT_EQ(journal_line(*read), c.line) << "read back, the event writes the same line";
}

INSTANTIATE_TEST_SUITE_P(Events, JournalLineTest, testing::ValuesIn(kLineCases),
                         [](const auto& info) { return case_name(info.param.description); });

struct ReadCase {
    const char* description;
    std::string line;
    double time;  // 0: no event, `error` says why
    int offset;
    const char* error;
};

const std::string kKind = R"(,"kind":"stop")";
const std::string kAt = R"({"time":"2026-12-10T02:14:07Z")";

const ReadCase kReadCases[] = {
    {"UTC as Z, a space for T, any fraction, spaces around",
     R"( { "time" : "2026-12-10 02:14:07.2500000Z" , "kind" : "stop" } )", kTime, 0, ""},
    {"an unknown member is kept, nested values whole",
     kAt + kKind + R"(,"x":{"a":[1,{"b":null}],"c":"\u00e9\ud83d\ude00"}})", kTime - 0.25, 0, ""},
    {"a CR at the end is space", kAt + kKind + "}\r", kTime - 0.25, 0, ""},
    {"an empty line", "", 0, 0, "an empty line"},
    {"an array", "[1]", 0, 0, "not JSON: '{' expected at column 1"},
    {"an object cut short", kAt + kKind, 0, 0, "not JSON: ',' or '}' expected at column 45"},
    {"a string cut short", kAt + R"(,"kind":"st)", 0, 0,
     "not JSON: the string does not end at column 42"},
    {"text after the object", kAt + kKind + "}}", 0, 0,
     "not JSON: text after the object at column 46"},
    {"a raw control character", kAt + kKind + ",\"x\":\"\t\"}", 0, 0,
     "not JSON: a control character in a string at column 51"},
    {"a raw octet that is no UTF-8", kAt + kKind + ",\"x\":\"\xe9\"}", 0, 0,
     "not JSON: an octet that is no UTF-8 at column 51"},
    {"a lone surrogate", kAt + kKind + R"(,"x":"\ud83d"})", 0, 0,
     "not JSON: a lone high surrogate at column 57"},
    {"an unknown escape", kAt + kKind + R"(,"x":"\x"})", 0, 0,
     "not JSON: an unknown escape at column 53"},
    {"a number with a leading zero", kAt + kKind + R"(,"x":01})", 0, 0,
     "not JSON: ',' or '}' expected at column 51"},
    {"nesting past 64 levels",
     kAt + kKind + ",\"x\":" + std::string(65, '[') + std::string(65, ']') + "}", 0, 0,
     "not JSON: nesting too deep at column 114"},
    {"no time", R"({"kind":"stop"})", 0, 0, "no \"time\""},
    {"no kind", kAt + "}", 0, 0, "no \"kind\""},
    {"an unknown kind", kAt + R"(,"kind":"reboot"})", 0, 0, "an unknown kind \"reboot\""},
    {"a time given twice", kAt + kKind + R"(,"time":"x"})", 0, 0, "\"time\" given twice"},
    {"an address that is a number", kAt + kKind + R"(,"address":5})", 0, 0,
     "\"address\" is not a string"},
    {"the 30th of February", R"({"time":"2026-02-30T02:14:07Z")" + kKind + "}", 0, 0,
     "a bad time \"2026-02-30T02:14:07Z\""},
    {"a time without its offset", R"({"time":"2026-12-10T02:14:07")" + kKind + "}", 0, 0,
     "a bad time \"2026-12-10T02:14:07\""},
};

class JournalReadTest : public testing::TestWithParam<ReadCase> {};

TEST_P(JournalReadTest, ReadsTheLineOrSaysWhyNot) {
    const ReadCase& c = GetParam();
    std::string error;
    const std::optional<JournalEvent> read = parse_journal_line(c.line, &error);
    if (c.time == 0) {
        EXPECT_FALSE(read);
        EXPECT_EQ(error, c.error);
        return;
    }
    ASSERT_TRUE(read) << error;
    EXPECT_DOUBLE_EQ(read->time, c.time);
    EXPECT_EQ(read->utc_offset_s, c.offset);
    // Read again from its own line, the event is the same.
    const std::optional<JournalEvent> again = parse_journal_line(journal_line(*read));
    ASSERT_TRUE(again);
    EXPECT_EQ(journal_line(*again), journal_line(*read));
}

INSTANTIATE_TEST_SUITE_P(Lines, JournalReadTest, testing::ValuesIn(kReadCases),
                         [](const auto& info) { return case_name(info.param.description); });

TEST(JournalReader, SkipsWhatItCannotReadAndGoesOn) {
    const std::string good = kAt + kKind + "}";
    std::istringstream in(good + "\n" + "{bad\n" + std::string(kMaxJournalLine + 1, ' ') + "\n" +
                          good + "\r\n" + good.substr(0, 20));
    std::vector<std::string> problems;
    const std::uint64_t events =
        read_journal(in, "j", {}, [&](const std::string& problem) { problems.push_back(problem); });
    EXPECT_EQ(events, 2u);
    EXPECT_EQ(problems,
              (std::vector<std::string>{
                  "j line 2: not JSON: a string expected at column 2",
                  "j line 3: longer than 65536 octets",
                  "j line 5: torn (the last line, without its end): not JSON: the string does not "
                  "end at column 21"}));
}

TEST(JournalPlace, FollowsTheDataFolderOfTheUser) {
#ifndef _WIN32
    set_environment("HOME", "/home/op");
    set_environment("XDG_DATA_HOME", "/data");
    EXPECT_EQ(default_journal_path(), "/data/Tarvik/journal.jsonl");
    set_environment("XDG_DATA_HOME", "relative");
    EXPECT_EQ(default_journal_path(), "/home/op/.local/share/Tarvik/journal.jsonl");
#else
    set_environment("LOCALAPPDATA", "C:\\Users\\op\\AppData\\Local");
    EXPECT_EQ(default_journal_path(), "C:\\Users\\op\\AppData\\Local\\Tarvik\\journal.jsonl");
#endif
    EXPECT_EQ(journal_rotated_path("a.b/journal.jsonl", 2), "a.b/journal.2.jsonl");
    EXPECT_EQ(journal_rotated_path("a.b/.journal", 1), "a.b/.journal.1");
}

// The events' writers and their sequence numbers, in file order.
std::map<std::string, std::vector<int>> read_all(const std::string& path, int kept,
                                                 std::vector<std::string>* problems) {
    std::map<std::string, std::vector<int>> seen;
    read_journal_files(
        journal_files(path, kept),
        [&](const JournalEvent& e) { seen[e.address].push_back(std::stoi(e.field("n"))); },
        [&](const std::string& problem) { problems->push_back(problem); });
    return seen;
}

class JournalWriterTest : public testing::Test {
protected:
    void SetUp() override {
        folder_ = testing::TempDir() + "tarvik-journal-" +
                  testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(folder_);
        path_ = folder_ + "/sub/journal.jsonl";
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    static void write(const std::string& path, const std::string& writer, int count,
                      std::uint64_t rotate, int kept) {
        JournalWriter journal(path, rotate, kept);
        JournalEvent event;
        event.time = kTime;
        event.address = writer;
        event.kind = JournalKind::kNoAnswer;
        event.text = "no answer since 03:14:07";
        for (int n = 0; n < count; ++n) {
            event.fields = {{"n", std::to_string(n), true}};
            ASSERT_TRUE(journal.append(event)) << journal.error();
        }
    }

    std::string folder_;
    std::string path_;
};

TEST_F(JournalWriterTest, RotationLosesNoLineAndKeepsTheOrder) {
    constexpr int kLines = 300;
    constexpr std::uint64_t kRotate = 4096;
    write(path_, "a", kLines, kRotate, 20);
    const std::vector<std::string> files = journal_files(path_, 20);
    EXPECT_GT(files.size(), 5u);
    for (const std::string& file : files) {
        EXPECT_LE(std::filesystem::file_size(file), kRotate) << file;
    }
    std::vector<std::string> problems;
    std::vector<int> expected(kLines);
    for (int n = 0; n < kLines; ++n) {
        expected[static_cast<std::size_t>(n)] = n;
    }
    EXPECT_EQ(read_all(path_, 20, &problems)["a"], expected);
    EXPECT_TRUE(problems.empty());

    // With 2 kept, the older files go and what is left is the latest lines,
    // whole and in order.
    const std::string two = folder_ + "/two/journal.jsonl";
    write(two, "a", kLines, kRotate, 2);
    EXPECT_EQ(journal_files(two, 20).size(), 3u);
    const std::vector<int> tail = read_all(two, 2, &problems)["a"];
    ASSERT_GT(tail.size(), 40u);
    EXPECT_EQ(tail,
              std::vector<int>(expected.end() - static_cast<long>(tail.size()), expected.end()));
}

TEST_F(JournalWriterTest, TwoWritersAtOnceLoseNoLineAndTearNone) {
    constexpr int kLines = 3000;
    constexpr std::uint64_t kRotate = 16 * 1024;
    constexpr int kKept = 100;
    std::thread first([&] { write(path_, "first", kLines, kRotate, kKept); });
    std::thread second([&] { write(path_, "second", kLines, kRotate, kKept); });
    first.join();
    second.join();
    std::vector<std::string> problems;
    const auto seen = read_all(path_, kKept, &problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
    std::vector<int> expected(kLines);
    for (int n = 0; n < kLines; ++n) {
        expected[static_cast<std::size_t>(n)] = n;
    }
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen.at("first"), expected);
    EXPECT_EQ(seen.at("second"), expected);
}

TEST_F(JournalWriterTest, ATornLineStaysALineOfItsOwn) {
    std::filesystem::create_directories(folder_ + "/sub");
    std::ofstream(path_, std::ios::binary) << R"({"time":"2026-12-10T02:)";
    write(path_, "a", 1, kJournalRotateBytes, 1);
    std::vector<std::string> problems;
    EXPECT_EQ(read_all(path_, 1, &problems)["a"], std::vector<int>{0});
    EXPECT_EQ(problems,
              std::vector<std::string>{path_ + " line 1: not JSON: the string does not end at "
                                               "column 24"});
}

TEST_F(JournalWriterTest, ExportsInEachFormAndFilters) {
    JournalEvent e;
    e.time = kTime;
    e.address = "10.0.0.5";
    e.serial = "=A1";
    e.kind = JournalKind::kSet;
    e.text = "Set, \"radio\"\noff";
    e.fields = {{"radio_before", "true", true}, {"outcome", "", false}};
    JournalWriter journal(path_);
    ASSERT_TRUE(journal.append(e));
    e.time += 60;
    e.address = "h";
    e.serial = "";
    e.kind = JournalKind::kStop;
    e.text = "Stop";
    e.fields.clear();
    ASSERT_TRUE(journal.append(e));
    const struct {
        JournalExportFormat format;
        JournalFilter filter;
        std::string out;
    } cases[] = {
        {JournalExportFormat::kTable,
         {},
         "TIME                           ADDRESS          SERIAL      KIND                    "
         "TEXT\n"
         "2026-12-10T02:14:07.250+00:00  10.0.0.5         =A1         set                     "
         "Set, \"radio\"\\x0Aoff\n"
         "2026-12-10T02:15:07.250+00:00  h                            stop                    "
         "Stop\n"},
        {JournalExportFormat::kCsv,
         {0, 0, "=A1"},
         "time,address,serial,kind,text,details\r\n"
         "2026-12-10T02:14:07.250+00:00,10.0.0.5,'=A1,set,\"Set, \"\"radio\"\"\noff\","
         "\"{\"\"radio_before\"\":true,\"\"outcome\"\":\"\"\"\"}\"\r\n"},
        {JournalExportFormat::kJson,
         {kTime + 1, kTime + 61, ""},
         R"({"time":"2026-12-10T02:15:07.250+00:00","address":"h","serial":"","kind":"stop",)"
         R"("text":"Stop"})"
         "\n"},
        {JournalExportFormat::kJson, {0, kTime + 60, "h"}, ""},
    };
    for (const auto& c : cases) {
        std::ostringstream out;
        const JournalExportTotals totals =
            export_journal(journal_files(path_), c.filter, c.format, out, {});
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(totals.events, 2u);
    }
}

TEST_F(JournalWriterTest, AFolderInTheWayIsTold) {
    std::filesystem::create_directories(path_);
    JournalWriter journal(path_);
    EXPECT_FALSE(journal.append(JournalEvent{}));
    EXPECT_EQ(journal.error().rfind("cannot open " + path_ + ": ", 0), 0u) << journal.error();
}

}  // namespace
