// Fuzzes the journal's reader with arbitrary files: anyone may have edited
// one, and a crash may have torn its last line. What must hold, besides no
// crash, leak or undefined behaviour:
// - every line gives one event or one report, never both, never neither;
// - each report names a line that exists, as "NAME line N: reason";
// - every event read writes a line of one line that reads back as the same
//   event and the same line;
// - the whole input taken as one line is an event or a reason, never both.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "logbook/journal.h"

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_journal: %s\n", what);
        std::abort();
    }
}

uint64_t count_lines(const std::string& text) {
    uint64_t lines = 0;
    for (char c : text) {
        lines += c == '\n';
    }
    return lines + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

void check_written(const JournalEvent& event) {
    const std::string line = journal_line(event);
    require(line.find('\n') == std::string::npos, "a written line breaks");
    std::string error;
    const std::optional<JournalEvent> again = parse_journal_line(line, &error);
    require(again.has_value(), "a written line does not read back");
    require(journal_line(*again) == line, "a line read back writes another line");
    require(again->kind == event.kind && again->text == event.text &&
                again->fields.size() == event.fields.size(),
            "a line read back is another event");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const uint64_t lines = count_lines(text);

    std::string error;
    const std::optional<JournalEvent> whole = parse_journal_line(text, &error);
    require(whole.has_value() == error.empty(), "an event with a reason, or neither");
    if (whole) {
        check_written(*whole);
    }

    std::istringstream in(text);
    uint64_t seen = 0;
    uint64_t problems = 0;
    const uint64_t events = read_journal(
        in, "j",
        [&](const JournalEvent& event) {
            ++seen;
            check_written(event);
        },
        [&](const std::string& problem) {
            ++problems;
            unsigned long long number = 0;
            char colon = 0;
            require(std::sscanf(problem.c_str(), "j line %llu%c", &number, &colon) == 2 &&
                        colon == ':' && number >= 1 && number <= lines,
                    "a report that names no line of the input");
        });
    require(events == seen, "events miscounted");
    require(events + problems == lines, "a line with no result, or with two");
    return 0;
}
