#include "app/command_line.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "logbook/journal.h"
#include "monitor/device_monitor.h"
#include "snmp/agent_link.h"

std::string usage_text() {
    const std::string port = std::to_string(kDefaultAgentPort);
    return "usage: tarvik                      the console window\n"
           "       tarvik --demo [--log FILE]  the window, plus a simulated transceiver on "
           "loopback\n"
           "       tarvik --headless --address HOST [--port N] [--community TEXT]\n"
           "              [--interval MS] [--log FILE] [--polls N] [--format panes|line|json]\n"
           "                                   no window: Start with these fields, print the\n"
           "                                   panes (or one line, or one JSON object) after\n"
           "                                   every poll, stop after N polls\n"
           "       tarvik --demo --headless [--format panes|line|json]\n"
           "                                   the demo in the terminal\n"
           "       tarvik --headless --address HOST --journal FILE\n"
           "                                   the journal of events appended to FILE (\"\":\n"
           "                                   none), with the window and --demo too; without\n"
           "                                   it the user's Tarvik/journal.jsonl (the demo's\n"
           "                                   device: none)\n"
           "       tarvik --demo [--headless] --replay LOG\n"
           "                                   the demo's device replays a log the console\n"
           "                                   wrote, row by row: its lamps, outages, status\n"
           "       tarvik --address HOST [--community TEXT] [--interval MS] [--log FILE]\n"
           "                                   the window with these fields filled (--log:\n"
           "                                   \"Log to file\" checked), not started\n"
           "       tarvik --port N             the agent's UDP port (default " +
           port +
           "), any mode\n"
           "       tarvik --plot FILE          the trends of a log the console wrote; no "
           "console\n"
           "       tarvik --plot FILE --save OUT.svg|OUT.png [--size WxH]\n"
           "              [--span DURATION | --from TIME --to TIME]\n"
           "                                   the trends written to a file, no window;\n"
           "                                   DURATION as 90s, 30m, 2h or 1d (the last of the\n"
           "                                   log), TIME as \"YYYY-MM-DD HH:MM[:SS]\" local\n"
           "       tarvik --plot FILE ... --journal FILE\n"
           "                                   the events of that journal marked on the time\n"
           "                                   axis (without it: of the user's own)\n"
           "       tarvik --export LOG [--csv|--json] [--out FILE]\n"
           "                                   a log the console wrote as a clean table (CSV,\n"
           "                                   or JSON Lines) on standard output or in FILE\n"
           "       tarvik --report LOG... [--bin 15m|1h|24h] [--from TIME] [--to TIME]\n"
           "              [--csv|--json] [--out FILE] [--save OUT.svg|OUT.png]\n"
           "                                   the link's errored, severely errored and\n"
           "                                   unavailable seconds and its availability, per\n"
           "                                   bin and device, from logs the console wrote\n"
           "       tarvik --journal-export [FILE...] [--journal FILE] [--from TIME] [--to TIME]\n"
           "              [--device ADDR|SERIAL] [--csv|--json] [--out FILE]\n"
           "                                   the journal's events as a table, CSV or JSON\n"
           "                                   Lines: of the FILEs, or of the journal and its\n"
           "                                   rotated files, oldest first\n"
           "       tarvik --version            print the version and end\n"
           "\n"
           "HOST may carry its own port as HOST:PORT. Without a display, --demo runs\n"
           "the terminal front end on the simulated transceiver.\n";
}

const char* program_version() {
    return TARVIK_VERSION;
}

std::string journal_path(const CommandLine& line) {
    if (line.journal_given) {
        return line.journal_file;
    }
    return line.demo ? std::string() : default_journal_path();
}

std::string version_text() {
    return std::string("tarvik ") + program_version() + "\n";
}

namespace {

bool parse_number(const std::string& text, long long low, long long high, long long* value) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) {
        return false;
    }
    *value = v;
    return true;
}

bool ends_with_any_case(const std::string& text, const char* suffix) {
    const std::string tail(suffix);
    if (text.size() < tail.size()) {
        return false;
    }
    for (std::size_t i = 0; i < tail.size(); ++i) {
        const char c = text[text.size() - tail.size() + i];
        if (std::tolower(static_cast<unsigned char>(c)) != tail[i]) {
            return false;
        }
    }
    return true;
}

// "WxH", each from 200 to 20000 pixels.
bool parse_size(const std::string& text, int* width, int* height) {
    const std::size_t x = text.find('x');
    long long w = 0;
    long long h = 0;
    if (x == std::string::npos || !parse_number(text.substr(0, x), 200, 20000, &w) ||
        !parse_number(text.substr(x + 1), 200, 20000, &h)) {
        return false;
    }
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

}  // namespace

bool parse_duration(const std::string& text, double* seconds) {
    if (text.empty()) {
        return false;
    }
    const char unit = text.back();
    const double scale = unit == 's'   ? 1
                         : unit == 'm' ? 60
                         : unit == 'h' ? 3600
                         : unit == 'd' ? 86400
                                       : 0;
    long long count = 0;
    const std::string digits = scale > 0 ? text.substr(0, text.size() - 1) : text;
    // Up to about 100 years.
    if (!parse_number(digits, 1, 3153600000LL, &count)) {
        return false;
    }
    *seconds = static_cast<double>(count) * (scale > 0 ? scale : 1);
    return *seconds <= 3153600000.0;
}

namespace {

// The arguments after --report: the logs, then the report's own options.
bool parse_report(int argc, const char* const* argv, CommandLine* line, std::string* error) {
    bool format_given = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--report") {
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            line->mode = RunMode::kHelp;
            return true;
        }
        if (arg.rfind("--", 0) != 0) {
            if (arg.empty()) {
                *error = "--report needs log file names";
                return false;
            }
            line->report_files.push_back(arg);
            continue;
        }
        if (arg == "--csv" || arg == "--json") {
            if (format_given) {
                *error = "--csv and --json go one at a time";
                return false;
            }
            format_given = true;
            line->report.format = arg == "--csv" ? ReportFormat::kCsv : ReportFormat::kJson;
            continue;
        }
        if (arg != "--bin" && arg != "--from" && arg != "--to" && arg != "--out" &&
            arg != "--save") {
            *error = arg + " does not go with --report";
            return false;
        }
        if (i + 1 >= argc) {
            *error = arg + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        if (arg == "--save") {
            if (!ends_with_any_case(value, ".svg") && !ends_with_any_case(value, ".png")) {
                *error = "--save with --report takes a file name ending in .svg or .png";
                return false;
            }
            line->report_save = value;
        } else if (arg == "--bin") {
            const int seconds = value == "15m"   ? 900
                                : value == "1h"  ? 3600
                                : value == "24h" ? 86400
                                                 : 0;
            if (seconds == 0) {
                *error = "--bin takes 15m, 1h or 24h";
                return false;
            }
            line->report.bin_seconds = seconds;
        } else if (arg == "--out") {
            if (value.empty()) {
                *error = "--out needs a file name";
                return false;
            }
            line->export_out = value;
        } else if (!parse_local_time(value,
                                     arg == "--from" ? &line->report.from : &line->report.to)) {
            *error = arg + " takes a local time as \"YYYY-MM-DD HH:MM[:SS]\"";
            return false;
        }
    }
    if (line->report_files.empty()) {
        *error = "--report needs at least one log";
        return false;
    }
    if (line->report.to != 0 && !(line->report.to > line->report.from)) {
        *error = "--to must be later than --from";
        return false;
    }
    line->mode = RunMode::kReport;
    return true;
}

// The arguments after --journal-export: the journal's files, then the
// export's own options.
bool parse_journal_export(int argc, const char* const* argv, CommandLine* line,
                          std::string* error) {
    bool format_given = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--journal-export") {
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            line->mode = RunMode::kHelp;
            return true;
        }
        if (arg.rfind("--", 0) != 0) {
            if (arg.empty()) {
                *error = "--journal-export takes journal file names";
                return false;
            }
            line->journal_export_files.push_back(arg);
            continue;
        }
        if (arg == "--csv" || arg == "--json") {
            if (format_given) {
                *error = "--csv and --json go one at a time";
                return false;
            }
            format_given = true;
            line->journal_format =
                arg == "--csv" ? JournalExportFormat::kCsv : JournalExportFormat::kJson;
            continue;
        }
        if (arg != "--from" && arg != "--to" && arg != "--device" && arg != "--out" &&
            arg != "--journal") {
            *error = arg + " does not go with --journal-export";
            return false;
        }
        if (i + 1 >= argc) {
            *error = arg + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        if (arg == "--from" || arg == "--to") {
            JournalFilter& filter = line->journal_filter;
            if (!parse_local_time(value, arg == "--from" ? &filter.from : &filter.to)) {
                *error = arg + " takes a local time as \"YYYY-MM-DD HH:MM[:SS]\"";
                return false;
            }
            continue;
        }
        if (value.empty()) {
            *error = arg + (arg == "--device" ? " needs an address or a serial number"
                                              : " needs a file name");
            return false;
        }
        (arg == "--device" ? line->journal_filter.device
         : arg == "--out"  ? line->export_out
                           : line->journal_file) = value;
    }
    if (line->journal_filter.to != 0 && !(line->journal_filter.to > line->journal_filter.from)) {
        *error = "--to must be later than --from";
        return false;
    }
    if (!line->journal_export_files.empty() && !line->journal_file.empty()) {
        *error = "--journal-export reads the FILEs or the --journal, not both";
        return false;
    }
    line->mode = RunMode::kJournalExport;
    return true;
}

}  // namespace

bool parse_command_line(int argc, const char* const* argv, CommandLine* line, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h" || arg == "--version") {
            break;
        }
        if (arg == "--report") {
            return parse_report(argc, argv, line, error);
        }
        if (arg == "--journal-export") {
            return parse_journal_export(argc, argv, line, error);
        }
    }
    bool headless = false;
    bool headless_option = false;  // --polls, --format: the terminal's alone
    bool log_given = false;        // --log: the terminal's, the window's and the demo's
    bool field_option = false;     // --address, --community, --interval: the window's too
    bool address_given = false;
    bool plot = false;
    bool plot_option = false;
    bool from_given = false;
    bool to_given = false;
    bool span_given = false;
    bool exporting = false;
    bool export_option = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            line->mode = RunMode::kHelp;
            return true;
        }
        if (arg == "--version") {
            line->mode = RunMode::kVersion;
            return true;
        }
        if (arg == "--demo") {
            line->demo = true;
            continue;
        }
        if (arg == "--replay") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                *error = "--replay needs a log file";
                return false;
            }
            line->replay_file = argv[++i];
            continue;
        }
        if (arg == "--headless") {
            headless = true;
            continue;
        }
        if (arg == "--plot") {
            if (i + 1 >= argc) {
                *error = arg + " needs a value";
                return false;
            }
            line->plot_file = argv[++i];
            plot = true;
            continue;
        }
        if (arg == "--save" || arg == "--size" || arg == "--span" || arg == "--from" ||
            arg == "--to") {
            if (i + 1 >= argc) {
                *error = arg + " needs a value";
                return false;
            }
            const std::string value = argv[++i];
            plot_option = arg != "--save" || plot_option;
            if (arg == "--save") {
                if (!ends_with_any_case(value, ".svg") && !ends_with_any_case(value, ".png")) {
                    *error = "--save takes a file name ending in .svg or .png";
                    return false;
                }
                line->plot_save = value;
            } else if (arg == "--size") {
                if (!parse_size(value, &line->plot_width, &line->plot_height)) {
                    *error = "--size takes WIDTHxHEIGHT, each from 200 to 20000 pixels";
                    return false;
                }
            } else if (arg == "--span") {
                if (!parse_duration(value, &line->plot_span)) {
                    *error = "--span takes a duration such as 90s, 30m, 2h or 1d";
                    return false;
                }
                span_given = true;
            } else {
                double& at = arg == "--from" ? line->plot_from : line->plot_to;
                if (!parse_local_time(value, &at)) {
                    *error = arg + " takes a local time as \"YYYY-MM-DD HH:MM[:SS]\"";
                    return false;
                }
                (arg == "--from" ? from_given : to_given) = true;
            }
            continue;
        }
        if (arg == "--export" || arg == "--out") {
            if (i + 1 >= argc) {
                *error = arg + " needs a value";
                return false;
            }
            const std::string value = argv[++i];
            if (value.empty()) {
                *error = arg + " needs a file name";
                return false;
            }
            if (arg == "--export") {
                line->export_file = value;
                exporting = true;
            } else {
                line->export_out = value;
                export_option = true;
            }
            continue;
        }
        if (arg == "--csv" || arg == "--json") {
            line->export_json = arg == "--json";
            export_option = true;
            continue;
        }
        if (arg == "--journal") {
            // An empty name is taken: it turns the journal off.
            if (i + 1 >= argc) {
                *error = arg + " needs a value";
                return false;
            }
            line->journal_file = argv[++i];
            line->journal_given = true;
            continue;
        }
        if (arg == "--format") {
            if (i + 1 >= argc) {
                *error = arg + " needs a value";
                return false;
            }
            const std::string value = argv[++i];
            if (!parse_terminal_format(value, &line->headless.format)) {
                *error = "--format takes panes, line or json";
                return false;
            }
            headless_option = true;
            continue;
        }
        const bool takes_value = arg == "--port" || arg == "--address" || arg == "--community" ||
                                 arg == "--interval" || arg == "--log" || arg == "--polls";
        if (!takes_value) {
            *error = "unknown argument: " + arg;
            return false;
        }
        if (i + 1 >= argc) {
            *error = arg + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        long long number = 0;
        if (arg == "--port") {
            if (!parse_number(value, 1, 65535, &number)) {
                *error = "--port takes a port from 1 to 65535";
                return false;
            }
            line->headless.port = static_cast<uint16_t>(number);
            continue;
        }
        const bool field = arg == "--address" || arg == "--community" || arg == "--interval";
        (field ? field_option : arg == "--log" ? log_given : headless_option) = true;
        if (arg == "--address") {
            // The empty address box means the local computer; on the
            // command line an empty value is a mistake (an unset variable).
            if (value.empty()) {
                *error = "--address needs a host name or address";
                return false;
            }
            line->headless.address = value;
            address_given = true;
        } else if (arg == "--community") {
            line->headless.community = value;
        } else if (arg == "--interval") {
            // Read as the field reads it, but a period the field would make
            // 0 or negative (no digits, "0", "-5") polls flat out or never:
            // on the command line it is a mistake, not a choice.
            if (parse_interval(value) < 1) {
                *error = "--interval takes a period of 1 ms or more";
                return false;
            }
            line->headless.interval = value;
        } else if (arg == "--log") {
            if (value.empty()) {
                *error = "--log needs a file name";
                return false;
            }
            line->headless.log_file = value;
        } else if (!parse_number(value, 1, 1000000000000LL, &number)) {
            *error = "--polls takes a count of 1 or more";
            return false;
        } else {
            line->headless.polls = number;
        }
    }
    if (headless_option && !headless) {
        *error = "--polls and --format go with --headless";
        return false;
    }
    // Without --headless it checks the window's "Log to file" and names the file.
    if (log_given && !headless && (plot || exporting)) {
        *error = "--log goes with --headless, --demo, or alone for the window";
        return false;
    }
    // Without --headless they fill the window's fields: a runbook or an
    // alert's link opens the console on its device, not started.
    if (field_option && !headless && (line->demo || plot || exporting)) {
        *error =
            "--address, --community and --interval go with --headless, or alone for the window";
        return false;
    }
    if (!line->replay_file.empty() && !line->demo) {
        *error = "--replay goes with --demo";
        return false;
    }
    if (headless && !address_given && !line->demo) {
        *error = "--headless needs --address";
        return false;
    }
    if ((plot_option || !line->plot_save.empty()) && (!plot || line->plot_save.empty())) {
        *error = "--save, --size, --span, --from and --to go with --plot and --save";
        return false;
    }
    if (from_given != to_given || (from_given && span_given)) {
        *error = "--from and --to go together, and without --span";
        return false;
    }
    if (from_given && !(line->plot_to > line->plot_from)) {
        *error = "--to must be later than --from";
        return false;
    }
    if (line->journal_given && exporting) {
        *error = "--journal goes with the window, --demo, --headless and --plot";
        return false;
    }
    if (export_option && !exporting) {
        *error = "--csv, --json and --out go with --export";
        return false;
    }
    if (exporting) {
        if (headless || line->demo || plot) {
            *error = "--export goes without --headless, --demo and --plot";
            return false;
        }
        line->mode = RunMode::kExport;
        return true;
    }
    if (plot) {
        if (headless || line->demo) {
            *error = "--plot goes without --headless and --demo";
            return false;
        }
        line->mode = RunMode::kPlot;
        return true;
    }
    line->mode = headless ? RunMode::kHeadless : line->demo ? RunMode::kDemo : RunMode::kWindow;
    return true;
}
