// The replay of a measurement log: which of the log's rows the simulated
// device serves at a replay time, read through the console's own log reader
// (logbook/log_reader.h) as the replay goes.
//
// The rules:
// - A row is served from its time until the next row's, in steps. Rows
//   that share a stamp (the log stamps whole seconds; a poll faster than
//   1 s logs several a second) are spread evenly over their second.
// - The identification (and so the family) is the one of the header block
//   above the row; a log without one serves the family's own texts.
// - An outage (NO CONNECTION rows) is silent from the poll after the last
//   answered row, which then holds only its own cadence, to the poll that
//   went unanswered last: the console writes an unanswered poll at its
//   deadline, kAnswerWaitSeconds after it went out. From then on the row
//   that ends the outage is served.
// - A gap is silent too: when the next row belongs to another run (a
//   header block between) or comes more than kLongestPollInterval (15 min)
//   later, the row holds only as long as the time since the row before it
//   (1 s when there is none within 15 min in its run), and the device is
//   silent from then to the next row.
// - Sets of the switches and the key (DeviceModel::start_replay) hold for
//   the rest of the replay, over what the rows say.
// - The requests of one poll of the console are answered from one row at
//   any speed: the row is chosen at the poll's first request, or at a
//   request 100 ms after the one before, or 1 s after it was last chosen.
// - Before the first row and after the last one's hold it is silent; with
//   `loop` the replay then starts again where it started.
//
// Nothing is loaded up front: the file is read in windows of kReplayWindow
// octets as the replay reaches them, and a jump (--from, a seek, a long
// stretch without requests) finds its place by bisecting the file's byte
// offsets on the rows' stamps, which the log holds in order, then the header
// block above it. Memory stays at a few windows whatever the log's size.
#pragma once

#include <cstdint>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "logbook/log_reader.h"
#include "sim/device_model.h"

// Octets of the log read at a time.
constexpr std::size_t kReplayWindow = 256 * 1024;
// Rows kept behind the served one before they are dropped.
constexpr long kRowsKeptBehind = 2048;

// Seconds on a steady clock; tests hand in one they step.
using ReplayClock = std::function<double()>;

struct ReplayOptions {
    double speed = 1.0;  // log seconds per clock second, above 0
    double from = 0.0;   // seconds since the epoch; 0: the log's first row
    bool loop = false;
    // Receives "line N: reason" for each unreadable line the replay reaches,
    // each once (a line before one already reported, after a seek back, is
    // not reported again).
    LogProblemHandler on_problem;
};

// What the device does at a replay time.
enum class ReplayState {
    kAnswering,     // serves the row
    kNoConnection,  // the row is NO CONNECTION: silent
    kGap,           // between runs or rows further apart than the log's cadence: silent
    kEnded,         // past the last row's hold: silent (before the first: kGap)
};

class LogReplay {
public:
    LogReplay(ReplayClock clock, ReplayOptions options);
    // Opens the log at `path` and places the replay at its start (or
    // `from`); false, with the reason in `*error`, when the file cannot be
    // read.
    bool open(const std::string& path, std::string* error);

    // The state at the clock's present time, and the row then served
    // (valid while kAnswering, and the last one passed otherwise), for a
    // request; `poll_starts` when it is the first of a console's poll.
    ReplayState state(bool poll_starts = false);
    const ReplayedValues& values() const { return row_values_; }

    void pause();
    void resume();
    // Moves the replay to `seconds` (since the epoch).
    void seek(double seconds);
    void set_speed(double speed);
    double replay_time() const;
    bool paused() const { return paused_; }
    // The rows read and held, which is what the replay's memory grows with.
    std::size_t rows_held() const { return rows_.size(); }
    double speed() const { return speed_; }

    // "replay 10.12.26 14:03:07.500, speed 1, running; row 10.12.26 14:03:07
    // (6 of 10 in its second): answered, family 350".
    std::string status_text();

private:
    struct Row {
        double stamp;
        double at = 0;  // its place in replay time
        bool succeeded;
        uint64_t run;
        std::shared_ptr<const LogHeader> header;
        ReplayedValues values;
        int rank = 0;   // its place among the rows sharing its stamp, from 0
        int count = 0;  // those rows; 0 while more may follow
    };

    ReplayState state_at(double t);
    bool read_window();
    void place_group_end();
    void thin_outage();
    bool placed(std::size_t index);
    bool next_is_placed();
    static bool follows(const Row& row, const Row& next);
    double cadence(std::size_t index) const;
    // The index of the answered row that ends the NO CONNECTION rows from
    // `first` on, with the replay time from which it is served in `*from`;
    // -1 when a gap or the log's end comes first.
    long outage_end(std::size_t first, double* from);
    void advance(double t);
    void step_to(double t);
    void jump(double t);
    void restart_at(uint64_t offset, bool line_known);
    bool first_stamp_from(uint64_t offset, uint64_t* line_start, double* stamp);
    std::shared_ptr<const LogHeader> header_before(uint64_t offset);
    // `offset`, a line's start, or the start of the header block it is
    // inside of, so that the block is read whole.
    uint64_t outside_header_block(uint64_t offset);
    std::string read_at(uint64_t offset, std::size_t size);
    uint64_t line_of(uint64_t offset);
    void start_over();

    ReplayClock clock_;
    ReplayOptions options_;
    std::ifstream file_;
    uint64_t size_ = 0;
    double start_ = 0.0;  // where the replay starts, and starts again

    double speed_ = 1.0;
    bool paused_ = false;
    double anchor_replay_ = 0.0;  // the replay time at anchor_clock_
    double anchor_clock_ = 0.0;
    // The replay time of the burst of requests being answered.
    bool latched_ = false;
    double latched_clock_ = 0.0;
    double latched_time_ = 0.0;
    double last_request_ = 0.0;

    // The rows read and not yet dropped; cur_ is the one served (-1: none yet).
    std::deque<Row> rows_;
    long cur_ = -1;
    uint64_t next_offset_ = 0;  // where the next window starts
    uint64_t next_line_ = 1;    // its line number; 0 when not known yet
    bool at_end_ = false;
    uint64_t reported_line_ = 0;  // the last line reported
    uint64_t runs_ = 0;
    std::shared_ptr<const LogHeader> header_;

    ReplayedValues row_values_;
};

// The values a device sends for a logged row: each logged reading in the
// device's unit (the total current in tenths of a mA, the -12 V rail as its
// magnitude), the rows the family does not log at 0, the three sensors.
ReplayedValues served_values(const DeviceReadings& readings, const LogHeader* header);

// A replay of the log at `path` on the steady clock, placed at its start
// (or `options.from`); null, with the reason in `*error`, when the file
// cannot be read.
std::unique_ptr<LogReplay> open_log_replay(const std::string& path, ReplayOptions options,
                                           std::string* error);
