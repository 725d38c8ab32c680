// Fuzzes the replay of a measurement log with arbitrary files: the first
// octets choose the replay's moves (seeks, speeds, steps of its clock), the
// rest is the log. What must hold, besides no crash, leak or undefined
// behaviour:
// - every report names a line that exists, as "line N: reason", and no
//   line is reported twice;
// - a row served answering belongs to a family the device has.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

#include "sim/log_replay.h"

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_log_replay: %s\n", what);
        std::abort();
    }
}

constexpr std::size_t kMoves = 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kMoves) {
        return 0;
    }
    const std::string text(reinterpret_cast<const char*>(data) + kMoves, size - kMoves);
    uint64_t lines = 0;
    for (char c : text) {
        lines += c == '\n';
    }
    lines += !text.empty() && text.back() != '\n' ? 1 : 0;
    const std::string path = "/tmp/fuzz_log_replay." + std::to_string(getpid()) + ".log";
    std::ofstream(path, std::ios::binary) << text;

    double now = 0;
    std::set<uint64_t> reported;
    ReplayOptions options;
    options.loop = (data[0] & 1) != 0;
    options.on_problem = [&](const std::string& problem) {
        unsigned long long line = 0;
        require(std::sscanf(problem.c_str(), "line %llu:", &line) == 1, "a report names its line");
        require(line >= 1 && line <= lines, "a report names a line that exists");
        require(reported.insert(line).second, "a line is reported once");
    };
    LogReplay replay([&] { return now; }, options);
    std::string error;
    if (replay.open(path, &error)) {
        const double start = replay.replay_time();
        for (std::size_t i = 1; i < kMoves; ++i) {
            const uint8_t move = data[i];
            switch (move & 3) {
                case 0:
                    now += (move >> 2) * 0.25;
                    break;
                case 1:
                    replay.seek(start + ((move >> 2) - 16) * 37.0);
                    break;
                case 2:
                    replay.set_speed(1 + (move >> 2));
                    break;
                default:
                    (move & 4) != 0 ? replay.pause() : replay.resume();
                    break;
            }
            if (replay.state() == ReplayState::kAnswering) {
                const DeviceFamily family = replay.values().family;
                require(family == DeviceFamily::k350 || family == DeviceFamily::k1000,
                        "a family the device has");
            }
            replay.status_text();
        }
    }
    std::remove(path.c_str());
    return 0;
}
