#include "logbook/quality_report.h"

#include <algorithm>
#include <cmath>

#include "device/text_format.h"
#include "logbook/log_export.h"

namespace {

constexpr std::size_t kWorstBins = 5;
constexpr char kUnknownDevice[] = "unknown device";

// Availability as JSON and CSV write it: a ratio to six decimals, or
// nothing when no second of the span is known.
void append_ratio(std::string& out, double availability, const char* none) {
    if (availability < 0) {
        out += none;
        return;
    }
    append_export_number(out, std::round(availability * 1e6) / 1e6, false);
}

// "99.9988 %", or "-" when nothing is known.
std::string percent(double availability) {
    return availability < 0 ? std::string("-") : format_text("%.4f %%", availability * 100);
}

// "2026-12-08 14:15" from the bin's start.
std::string table_time(int64_t start) {
    std::string text = iso8601_local_time(static_cast<double>(start)).substr(0, 16);
    if (text.size() > 10) {
        text[10] = ' ';
    }
    return text;
}

std::string table_row(const std::string& label, const QualityCounts& c) {
    return format_text(
        "%-18s %8llu %8llu %10llu %8llu %8llu %14s\n", label.c_str(),
        static_cast<unsigned long long>(c.es), static_cast<unsigned long long>(c.ses),
        static_cast<unsigned long long>(c.bbe), static_cast<unsigned long long>(c.uas),
        static_cast<unsigned long long>(c.unknown), percent(c.availability()).c_str());
}

void append_counts(std::string& out, const QualityCounts& c, char separator) {
    for (uint64_t n : {c.es, c.ses, c.bbe, c.uas, c.unknown}) {
        out += std::to_string(n);
        out += separator;
    }
}

void write_table(std::ostream& out, const DeviceQuality& d, int bin_seconds) {
    std::string text = d.device;
    if (d.family != 0) {
        text += format_text(" (family %d)", static_cast<int>(d.family));
    }
    text += format_text(", %s bins\n", bin_name(bin_seconds));
    if (d.quality.coarse()) {
        text +=
            "Polled less often than once a second: each interval is classified whole, "
            "so the figures are coarser.\n";
    }
    text += format_text("%-18s %8s %8s %10s %8s %8s %14s\n", "start", "ES", "SES", "BBE", "UAS",
                        "unknown", "availability");
    for (const auto& bin : d.quality.bins()) {
        text += table_row(table_time(bin.first), bin.second);
    }
    text += table_row("total", d.quality.totals());
    std::vector<std::pair<int64_t, QualityCounts>> worst;
    for (const auto& bin : d.quality.bins()) {
        if (bin.second.es + bin.second.uas > 0) {
            worst.emplace_back(bin.first, bin.second);
        }
    }
    std::stable_sort(worst.begin(), worst.end(), [](const auto& a, const auto& b) {
        const double x = a.second.availability();
        const double y = b.second.availability();
        if (x != y) {
            return x < y;
        }
        if (a.second.ses != b.second.ses) {
            return a.second.ses > b.second.ses;
        }
        return a.second.es > b.second.es;
    });
    if (worst.empty()) {
        text += "Worst bins: none, no errored or unavailable second.\n";
    } else {
        text += "Worst bins:\n";
        for (std::size_t i = 0; i < worst.size() && i < kWorstBins; ++i) {
            const QualityCounts& c = worst[i].second;
            text += format_text(
                "  %s  %llu ES, %llu SES, %llu UAS, %s\n", table_time(worst[i].first).c_str(),
                static_cast<unsigned long long>(c.es), static_cast<unsigned long long>(c.ses),
                static_cast<unsigned long long>(c.uas), percent(c.availability()).c_str());
        }
    }
    out << text << '\n';
}

void write_json(std::ostream& out, const DeviceQuality& d, int bin_seconds) {
    std::string device;
    append_json_text(device, d.device);
    const auto line = [&](const char* kind, int64_t start, uint64_t seconds,
                          const QualityCounts& c) {
        std::string text = std::string("{\"kind\":\"") + kind + "\",\"device\":" + device +
                           ",\"start\":\"" + iso8601_local_time(static_cast<double>(start)) +
                           "\",\"seconds\":" + std::to_string(seconds);
        const std::pair<const char*, uint64_t> fields[] = {
            {"es", c.es}, {"ses", c.ses}, {"bbe", c.bbe}, {"uas", c.uas}, {"unknown", c.unknown}};
        for (const auto& field : fields) {
            text += std::string(",\"") + field.first + "\":" + std::to_string(field.second);
        }
        text += ",\"availability\":";
        append_ratio(text, c.availability(), "null");
        text += "}\n";
        out << text;
    };
    for (const auto& bin : d.quality.bins()) {
        line("bin", bin.first, static_cast<uint64_t>(bin_seconds), bin.second);
    }
    const QualityCounts total = d.quality.totals();
    line("total", d.quality.bins().empty() ? 0 : d.quality.bins().begin()->first, total.seconds(),
         total);
}

void write_csv(std::ostream& out, const DeviceQuality& d, int bin_seconds) {
    const auto row = [&](const char* kind, int64_t start, uint64_t seconds,
                         const QualityCounts& c) {
        std::string text = std::string(kind) + ',';
        append_csv_field(text, d.device);
        text += ',' + iso8601_local_time(static_cast<double>(start)) + ',' +
                std::to_string(seconds) + ',';
        append_counts(text, c, ',');
        append_ratio(text, c.availability(), "");
        text += "\r\n";
        out << text;
    };
    for (const auto& bin : d.quality.bins()) {
        row("bin", bin.first, static_cast<uint64_t>(bin_seconds), bin.second);
    }
    const QualityCounts total = d.quality.totals();
    row("total", d.quality.bins().empty() ? 0 : d.quality.bins().begin()->first, total.seconds(),
        total);
}

}  // namespace

std::string quality_report_svg(const QualityReport& report, int bin_seconds, int width) {
    std::vector<std::string> titles;
    std::vector<charts::QualityChartPlan> plans;
    for (const DeviceQuality& d : report.devices()) {
        titles.push_back(d.device + ", " + bin_name(bin_seconds) + " bins");
        plans.push_back(charts::plan_quality_chart(quality_bars(d.quality),
                                                   width - charts::kPlotLeft - charts::kPlotRight));
    }
    return charts::quality_svg(titles, plans, width);
}

const char* bin_name(int bin_seconds) {
    return bin_seconds >= 86400 ? "24-hour" : bin_seconds >= 3600 ? "1-hour" : "15-minute";
}

std::string device_name(const LogHeader& header) {
    std::string name = header.id_text[1];
    if (!header.id_text[2].empty()) {
        name += name.empty() ? "" : " ";
        name += header.id_text[2];
    }
    return name.empty() ? std::string(kUnknownDevice) : name;
}

QualityReport::QualityReport(const ReportOptions& options) : options_(options) {}

DeviceQuality& QualityReport::device(const std::string& name) {
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        if (devices_[i].device == name) {
            current_ = i;
            return devices_[i];
        }
    }
    devices_.push_back(DeviceQuality{name, 0, ErrorPerformance(options_.bin_seconds)});
    current_ = devices_.size() - 1;
    return devices_.back();
}

LogReadTotals QualityReport::read(std::istream& in, const LogProblemHandler& on_problem) {
    // A new log is a new run, whoever its first lines are of.
    have_current_ = false;
    return read_measurement_log(
        in,
        [&](const LogRecord& record) {
            if (record.seconds < options_.from ||
                (options_.to > options_.from && record.seconds >= options_.to)) {
                return;
            }
            if (!have_current_) {
                device(kUnknownDevice).quality.start_run();
                have_current_ = true;
            }
            DeviceQuality& d = devices_[current_];
            if (record.succeeded) {
                d.family = record.readings.family_rate_mbps;
            }
            d.quality.add_poll(record.seconds, record.succeeded, record.readings);
        },
        on_problem, {},
        [&](const LogHeader& header) {
            DeviceQuality& d = device(device_name(header));
            d.quality.start_run();
            if (header.family != 0) {
                d.family = header.family;
            }
            have_current_ = true;
        });
}

void QualityReport::finish() {
    for (DeviceQuality& d : devices_) {
        d.quality.finish();
    }
}

void QualityReport::write(std::ostream& out) const {
    if (options_.format == ReportFormat::kCsv) {
        out << "kind,device,start,seconds,es,ses,bbe,uas,unknown,availability\r\n";
    }
    for (const DeviceQuality& d : devices_) {
        switch (options_.format) {
            case ReportFormat::kTable:
                write_table(out, d, options_.bin_seconds);
                break;
            case ReportFormat::kCsv:
                write_csv(out, d, options_.bin_seconds);
                break;
            case ReportFormat::kJson:
                write_json(out, d, options_.bin_seconds);
                break;
        }
    }
}
