// The text format of probes and of the exporter's health.
#include "exporter/exposition.h"

#include <cmath>
#include <cstdio>

namespace {

// snmp_exporter's scrape series, with its help texts.
constexpr char kScrapeDuration[] = "snmp_scrape_duration_seconds";
constexpr char kScrapeDurationHelp[] = "Total SNMP time scrape took (walk and processing).";
constexpr char kPacketsRetried[] = "snmp_scrape_packets_retried";
constexpr char kPacketsRetriedHelp[] = "Packets retried for get, bulkget, and walk.";
constexpr char kPacketsSent[] = "snmp_scrape_packets_sent";
constexpr char kPacketsSentHelp[] = "Packets sent for get, bulkget, and walk; including retries.";
constexpr char kPdusReturned[] = "snmp_scrape_pdus_returned";
constexpr char kPdusReturnedHelp[] = "PDUs returned from get, bulkget, and walk.";
constexpr char kWalkDuration[] = "snmp_scrape_walk_duration_seconds";
constexpr char kWalkDurationHelp[] = "Time SNMP walk/bulkwalk took.";
constexpr char kProbeSuccess[] = "tarvik_probe_success";
constexpr char kProbeSuccessHelp[] =
    "1 when every request of the scrape got a usable answer, else 0.";

void family_header(std::string& out, const std::string& name, const std::string& help,
                   const char* type) {
    out += "# HELP " + name + " " + help + "\n";
    out += "# TYPE " + name + " " + type + "\n";
}

void single(std::string& out, const std::string& name, const std::string& help, const char* type,
            double value) {
    family_header(out, name, help, type);
    out += name + " " + sample_value(value) + "\n";
}

// The length of the valid UTF-8 sequence at `s[i]`, or 0.
size_t utf8_sequence(const std::string& s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t n = 0;
    uint32_t min = 0;
    uint32_t code = 0;
    if (c < 0x80) {
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        n = 2, min = 0x80, code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3, min = 0x800, code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4, min = 0x10000, code = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size()) {
        return 0;
    }
    for (size_t k = 1; k < n; ++k) {
        const auto d = static_cast<unsigned char>(s[i + k]);
        if ((d & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (d & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    if (code < min || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
        return 0;
    }
    return n;
}

const char* refusal_name(Refusal reason) {
    switch (reason) {
        case Refusal::kBadRequest:
            return "bad_request";
        case Refusal::kForbidden:
            return "forbidden";
        case Refusal::kUnauthorized:
            return "unauthorized";
        case Refusal::kBusy:
            return "busy";
        case Refusal::kTooManyTargets:
            return "too_many_targets";
    }
    return "unknown";
}

}  // namespace

std::string label_value(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const size_t n = utf8_sequence(text, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (n == 1) {
            switch (text[i]) {
                case '\\':
                    out += "\\\\";
                    break;
                case '"':
                    out += "\\\"";
                    break;
                case '\n':
                    out += "\\n";
                    break;
                default:
                    out += text[i];
            }
        } else {
            out.append(text, i, n);
        }
        i += n;
    }
    return out;
}

std::string sample_value(double value) {
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value > 0 ? "+Inf" : "-Inf";
    }
    return number(value);
}

std::string probe_exposition(const ProbeResult& result, const std::vector<RawMetric>& metrics) {
    std::string out;
    if (result.success) {
        for (const RawMetric& metric : metrics) {
            for (const RawValue& value : result.values) {
                if (value.row != metric.row) {
                    continue;
                }
                const char* type = metric.kind == RawKind::kCounter ? "counter" : "gauge";
                family_header(out, metric.name, metric.help, type);
                if (metric.kind == RawKind::kText) {
                    out += metric.name + "{" + metric.name + "=\"" + label_value(value.text) +
                           "\"} 1\n";
                } else {
                    out += metric.name + " " + sample_value(value.number) + "\n";
                }
                break;
            }
        }
    }
    const double seconds = result.duration.count();
    single(out, kScrapeDuration, kScrapeDurationHelp, "gauge", seconds);
    single(out, kPacketsRetried, kPacketsRetriedHelp, "gauge", 0);
    single(out, kPacketsSent, kPacketsSentHelp, "gauge", result.requests);
    single(out, kPdusReturned, kPdusReturnedHelp, "gauge",
           result.success ? result.values_returned : 0);
    single(out, kWalkDuration, kWalkDurationHelp, "gauge", seconds);
    single(out, kProbeSuccess, kProbeSuccessHelp, "gauge", result.success ? 1 : 0);
    return out;
}

const std::vector<double>& ExporterStats::duration_buckets() {
    static const std::vector<double> buckets = {0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5,
                                                1,     2.5,  5,     10,   15,  30};
    return buckets;
}

ExporterStats::ExporterStats() : bucket_counts_(duration_buckets().size(), 0) {}

void ExporterStats::record(const std::string& target, const ProbeResult& result) {
    const std::lock_guard<std::mutex> lock(mutex_);
    PerTarget& t = targets_[target];
    t.requests += static_cast<uint64_t>(result.requests);
    t.answers += static_cast<uint64_t>(result.answers);
    if (result.busy) {
        // Refused, not a scrape: what it sent is counted, nothing else.
        return;
    }
    ++t.scrapes;
    t.failed += result.success ? 0 : 1;
    t.timeouts += static_cast<uint64_t>(result.timeouts);
    t.errors += static_cast<uint64_t>(result.errors);
    t.identifications += result.identified && result.success ? 1 : 0;
    const double seconds = result.duration.count();
    const std::vector<double>& bounds = duration_buckets();
    for (size_t i = 0; i < bounds.size(); ++i) {
        bucket_counts_[i] += seconds <= bounds[i] ? 1 : 0;
    }
    ++duration_count_;
    duration_sum_ += seconds;
}

void ExporterStats::refused(Refusal reason) {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++refusals_[reason];
}

void ExporterStats::scrape_started() {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++in_flight_;
}
void ExporterStats::scrape_ended() {
    const std::lock_guard<std::mutex> lock(mutex_);
    --in_flight_;
}
void ExporterStats::waiting_started() {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++waiting_;
}
void ExporterStats::waiting_ended() {
    const std::lock_guard<std::mutex> lock(mutex_);
    --waiting_;
}
void ExporterStats::set_targets(size_t count) {
    const std::lock_guard<std::mutex> lock(mutex_);
    records_ = count;
}
void ExporterStats::forget(const std::string& target) {
    const std::lock_guard<std::mutex> lock(mutex_);
    targets_.erase(target);
}

std::string ExporterStats::exposition(const std::string& version) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::string out;
    family_header(out, "tarvik_exporter_build_info", "The exporter's version; always 1.", "gauge");
    out += "tarvik_exporter_build_info{version=\"" + label_value(version) + "\"} 1\n";

    const struct {
        const char* name;
        const char* help;
        uint64_t PerTarget::*field;
    } per_target[] = {
        {"tarvik_exporter_scrapes_total", "Scrapes of the target.", &PerTarget::scrapes},
        {"tarvik_exporter_scrape_failures_total",
         "Scrapes of the target that ended without every answer.", &PerTarget::failed},
        {"tarvik_exporter_identifications_total",
         "Scrapes of the target that read its identification.", &PerTarget::identifications},
        {"tarvik_exporter_snmp_requests_total", "SNMP GetRequests sent to the target.",
         &PerTarget::requests},
        {"tarvik_exporter_snmp_answers_total", "Usable SNMP answers from the target.",
         &PerTarget::answers},
        {"tarvik_exporter_snmp_timeouts_total",
         "SNMP requests to the target that got no answer in time.", &PerTarget::timeouts},
        {"tarvik_exporter_snmp_errors_total",
         "SNMP requests to the target that could not be sent, or whose answer carried an error "
         "status or was refused.",
         &PerTarget::errors},
    };
    for (const auto& family : per_target) {
        family_header(out, family.name, family.help, "counter");
        for (const auto& [target, counts] : targets_) {
            out += std::string(family.name) + "{target=\"" + label_value(target) + "\"} " +
                   sample_value(static_cast<double>(counts.*family.field)) + "\n";
        }
    }

    const std::string hist = "tarvik_exporter_scrape_duration_seconds";
    family_header(out, hist, "Time a scrape of a target took, its wait for a slot excluded.",
                  "histogram");
    const std::vector<double>& bounds = duration_buckets();
    for (size_t i = 0; i < bounds.size(); ++i) {
        out += hist + "_bucket{le=\"" + sample_value(bounds[i]) + "\"} " +
               sample_value(static_cast<double>(bucket_counts_[i])) + "\n";
    }
    out +=
        hist + "_bucket{le=\"+Inf\"} " + sample_value(static_cast<double>(duration_count_)) + "\n";
    out += hist + "_sum " + sample_value(duration_sum_) + "\n";
    out += hist + "_count " + sample_value(static_cast<double>(duration_count_)) + "\n";

    single(out, "tarvik_exporter_scrapes_in_flight",
           "Scrapes reading their target now (each holds one slot of --max-concurrent).", "gauge",
           static_cast<double>(in_flight_));
    single(out, "tarvik_exporter_scrapes_waiting",
           "Scrapes waiting for a slot or for their target.", "gauge",
           static_cast<double>(waiting_));

    single(out, "tarvik_exporter_targets",
           "Targets whose record is kept (see --max-targets and --target-idle-timeout).", "gauge",
           static_cast<double>(records_));

    family_header(out, "tarvik_exporter_refused_requests_total",
                  "HTTP requests refused, by reason (bad_request, forbidden, unauthorized, busy, "
                  "too_many_targets).",
                  "counter");
    for (Refusal reason : {Refusal::kBadRequest, Refusal::kForbidden, Refusal::kUnauthorized,
                           Refusal::kBusy, Refusal::kTooManyTargets}) {
        const auto found = refusals_.find(reason);
        out += std::string("tarvik_exporter_refused_requests_total{reason=\"") +
               refusal_name(reason) + "\"} " +
               sample_value(static_cast<double>(found == refusals_.end() ? 0 : found->second)) +
               "\n";
    }
    return out;
}
