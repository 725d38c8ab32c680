// Writes the Prometheus files from the monitor's tables.
#include "fleet/prometheus_export.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "device/device_readings.h"
#include "device/parameter_catalog.h"
#include "device/row_schema.h"
#include "device/supply_rails.h"
#include "fleet/prometheus_parts.h"
#include "snmp/agent_link.h"

using namespace prometheus_parts;

namespace {

constexpr char kRawPrefix[] = "tarvik_snmp_";
// Where the example scrape job expects the exporter, and where the .deb
// puts the rule files.
constexpr char kExporterAddress[] = "127.0.0.1:9116";
// Where Debian's prometheus-alertmanager listens.
constexpr char kAlertmanagerAddress[] = "127.0.0.1:9093";
constexpr char kInstalledFolder[] = "/usr/share/tarvik/prometheus/";
// The window of the packet error ratio: Prometheus keeps no "since Start".
constexpr int kErrorRatioWindowSeconds = 300;
// Readings the device sends as INTEGER but the console reads as unsigned.
constexpr char kTwoTo32[] = "4294967296";

// The exporter's names of the rows come from kRowNames (row_schema.h). The
// values are in device units, which the help names: the names say what a
// row is and carry no unit, since a name like "millivolts" would pass for a
// base unit. Counters end in "_total". The key (identification item 8) is
// left out: it is a secret, and a label would keep it in the time-series
// database.

bool is_counter(Param row) {
    return std::find(std::begin(kDeviceCounters), std::end(kDeviceCounters), row) !=
           std::end(kDeviceCounters);
}

// The names of `row` when the exporter asks for it, else null.
const RowNames* raw_name_of(Param row) {
    const int index = catalog_index(row);
    if (index < kIdentificationRun.first_index ||
        index >= kTrafficRun.first_index + kTrafficRun.count) {
        return nullptr;
    }
    const RowNames& names = row_names(row);
    return names.metric != nullptr ? &names : nullptr;
}

Param param_at(int index) {
    return static_cast<Param>(index);
}

}  // namespace

std::string raw(Param row) {
    const RowNames* name = raw_name_of(row);
    if (name == nullptr) {
        throw std::logic_error("catalog row " + std::to_string(catalog_index(row)) +
                               " has no exporter name");
    }
    return std::string(kRawPrefix) + name->metric;
}

namespace {

bool is_text(Param row) {
    const int index = catalog_index(row);
    return index >= kIdentificationRun.first_index &&
           index < kIdentificationRun.first_index + kIdentificationRun.count;
}

// "1.3.6.1.4.1.47.2.2.2.0"; without the instance when `instance` is false.
std::string oid_text(Param row, bool instance) {
    const CatalogRow& r = kParameterCatalog.rows[catalog_index(row)];
    std::string text;
    for (int32_t i = 0; i < r.length - (instance ? 0 : 1); ++i) {
        text += (i == 0 ? "" : ".") + std::to_string(r.ids[i]);
    }
    return text;
}

}  // namespace

std::string number(double value) {
    char text[64];
    for (int precision = 0; precision <= 17; ++precision) {
        std::snprintf(text, sizeof text, "%.*f", precision, value);
        double back = 0;
        if (std::sscanf(text, "%lf", &back) == 1 && back == value) {
            break;
        }
    }
    return text;
}

std::string prometheus_parts::quoted(const std::string& text) {
    return "\"" + text + "\"";
}

namespace {

// YAML single quotes: only the quote itself is escaped, by doubling.
std::string yaml_text(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("''") : std::string(1, c);
    }
    return out + "'";
}

}  // namespace

std::string json_text(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out += c;
        }
    }
    return out + "\"";
}

namespace {

// PromQL building blocks.
std::string with_label(const std::string& expr, const std::string& name, const std::string& value) {
    return "label_replace(" + expr + ", " + quoted(name) + ", " + quoted(value) + ", \"\", \"\")";
}
std::string only_family(const std::string& expr, int32_t family) {
    return "(" + expr + ") and on (job, instance) " + kFamilyInfo +
           "{family=" + quoted(std::to_string(family)) + "}";
}
// The 32 bits of an INTEGER read as unsigned, as the console reads them.
std::string unsigned32(const std::string& expr) {
    return "((" + expr + ") % " + kTwoTo32 + " + " + kTwoTo32 + ") % " + kTwoTo32;
}
std::string bit_set(const std::string& expr, uint32_t bit) {
    return "floor(" + unsigned32(expr) + " / " + std::to_string(bit) + ") % 2";
}

// ---- The supply rails ----------------------------------------------------

}  // namespace

std::vector<prometheus_parts::Rail> prometheus_parts::supply_rails() {
    std::vector<Rail> rails;
    for (int i = 0; i < kSupplyRun.count; ++i) {
        const int k = supply_rail_index(param_at(kSupplyRun.first_index + i));
        if (k >= 0) {
            const RailSpec& supply = kSupplyRails[k];
            rails.push_back({&supply, supply.short_label(), supply.has_lamp ? k : -1});
        }
    }
    return rails;
}

namespace {

// A PromQL expression of the rail's value in volts as the pane shows it,
// negative for the rail shown negative, from its raw row in millivolts.
std::string rail_volts_expr(const Rail& rail) {
    return (rail.supply->shown_negative ? "-" : "") + raw(rail.supply->row) + " / " +
           number(kMillivoltsPerVolt);
}

// ---- snmp.yml ------------------------------------------------------------

}  // namespace

std::vector<RawMetric> raw_metrics() {
    std::vector<RawMetric> metrics;
    // Start's identification read, then the runs of every poll.
    std::vector<CatalogRun> runs{kIdentificationRun};
    runs.insert(runs.end(), std::begin(kPollRuns), std::end(kPollRuns));
    for (const CatalogRun& run : runs) {
        for (int i = 0; i < run.count; ++i) {
            const Param row = param_at(run.first_index + i);
            const RowNames* name = raw_name_of(row);
            if (name == nullptr) {
                continue;
            }
            const RawKind kind = is_text(row)      ? RawKind::kText
                                 : is_counter(row) ? RawKind::kCounter
                                                   : RawKind::kGauge;
            metrics.push_back({row, raw(row), name->metric_help, kind});
        }
    }
    return metrics;
}

namespace {

std::string snmp_yml() {
    std::string out = std::string("# ") + kGeneratedBy +
                      ".\n"
                      "# snmp_exporter 0.21 module of the Tarvik transceiver (both families):\n"
                      "# the rows the console polls, in device units. SNMPv1 GETs carry one\n"
                      "# object each; the family decoding is in tarvik-rules.yml.\n";
    out += std::string(kExporterModule) + ":\n";
    out += "  version: 1\n";
    out += std::string("  auth:\n    community: ") + kDefaultCommunity + "\n";
    // The console's own wait for an answer; one retry hides a lost datagram.
    out += "  timeout: " + std::to_string(kAnswerWaitSeconds) + "s\n  retries: 1\n";
    out += "  get:\n";
    std::string metrics = "  metrics:\n";
    for (const RawMetric& metric : raw_metrics()) {
        out += "  - " + oid_text(metric.row, true) + "\n";
        metrics += "  - name: " + metric.name + "\n";
        metrics += "    oid: " + oid_text(metric.row, false) + "\n";
        const char* type = metric.kind == RawKind::kText      ? "DisplayString"
                           : metric.kind == RawKind::kCounter ? "counter"
                                                              : "gauge";
        metrics += std::string("    type: ") + type + "\n";
        metrics += "    help: " + yaml_text(metric.help) + "\n";
    }
    return out + metrics;
}

// ---- Recording rules -----------------------------------------------------

// A recorded series; a rule may add one label of its own.
struct Recorded {
    std::string name;
    std::string expr;
    std::vector<std::pair<std::string, std::string>> labels = {};
};

}  // namespace

std::string switch_name(Param row) {
    if (row == Param::kSwitch1) {
        return "radio";
    }
    if (row == Param::kSwitch3) {
        return "heater";
    }
    return std::to_string(catalog_index(row) - kControlRun.first_index + 1);
}

std::string family_code_regex() {
    // A code counts at offsets 1 and on, and only where it ends within the
    // stored text; `.{1,N}` is greedy, so the last such code is the one
    // captured, as the console's last match decides. (?s): any octet before
    // it, a line break too. Offsets count characters, the console's octets:
    // the two agree on ASCII texts.
    const int last_offset = kIdTextSize - 1 - kFamilyCodeLength;
    std::string codes;
    for (const FamilyCode& code : kFamilyCodes) {
        codes += (codes.empty() ? "" : "|") + std::string(code.code);
    }
    return "(?s).{1," + std::to_string(last_offset) + "}(" + codes + ").*";
}

std::string family_expr() {
    const std::string item2 = raw(Param::kIdItem2);
    // A text without a code leaves the family the console starts with.
    std::string expr =
        with_label(item2, "family", std::to_string(DeviceReadings{}.family_rate_mbps));
    expr = "label_replace(" + expr + ", \"code\", \"$1\", " + quoted(item2) + ", " +
           quoted(family_code_regex()) + ")";
    for (const FamilyCode& code : kFamilyCodes) {
        expr = "label_replace(" + expr + ", \"family\", " + quoted(std::to_string(code.family)) +
               ", \"code\", " + quoted(code.code) + ")";
    }
    return "group by (job, instance, family) (" + expr + ")";
}

namespace {

// One series per device: the identification items as labels id1 to id7 (the
// console knows them by those names only: the log's ID1 to ID7), and the
// family decoded from item 2.
std::string device_info_expr() {
    std::string expr = kFamilyInfo;
    std::string labels = "job, instance, family";
    for (int i = 0; i < kIdentificationRun.count; ++i) {
        const Param row = param_at(kIdentificationRun.first_index + i);
        if (raw_name_of(row) == nullptr) {
            continue;
        }
        const std::string label = "id" + std::to_string(i + 1);
        labels += ", " + label;
        expr += " * on (job, instance) group_left (" + label + ") label_replace(" + raw(row) +
                ", " + quoted(label) + ", \"$1\", " + quoted(raw(row)) + ", \"(?s)(.*)\")";
    }
    return "group by (" + labels + ") (" + expr + ")";
}

// 1 while the exporter reached the device and got its answers, else 0: a
// silent device fails the scrape (up 0) or returns no PDUs.
std::string link_up_expr() {
    return std::string(
               "min by (job, instance) ({__name__=~\"up|snmp_scrape_pdus_returned\", "
               "job=") +
           quoted(kScrapeJob) + "})";
}

std::string rail_series(const Rail& rail) {
    return "tarvik_supply_voltage_volts{rail=" + quoted(rail.label) + "}";
}

std::vector<Recorded> recorded_series() {
    std::vector<Recorded> rules;
    rules.push_back({kFamilyInfo, family_expr()});
    rules.push_back({kDeviceInfo, device_info_expr()});
    for (int i = 0; i < kTemperatureRun.count; ++i) {
        const Param row = param_at(kTemperatureRun.first_index + i);
        rules.push_back({"tarvik_temperature_celsius",
                         raw(row) + " / " + number(kCentidegreesPerDegree),
                         {{"sensor", std::to_string(i + 1)}}});
    }
    for (const Rail& rail : supply_rails()) {
        rules.push_back(
            {"tarvik_supply_voltage_volts", rail_volts_expr(rail), {{"rail", rail.label}}});
    }
    const std::string mv = " / " + number(kMillivoltsPerVolt);
    rules.push_back({"tarvik_receiver_voltage_volts", raw(Param::kReceiverVoltage) + mv});
    rules.push_back({"tarvik_transmitter_voltage_volts", raw(Param::kTransmitterVoltage) + mv});
    rules.push_back({"tarvik_agc_voltage_volts", raw(Param::kAgcVoltage) + mv});
    rules.push_back({"tarvik_attenuation_decibels",
                     raw(Param::kAttenuation) + " / " + number(kTenthsPerDecibel)});
    // Whole mA, truncated toward zero as the console keeps it, in amperes.
    const std::string current = raw(Param::kTotalCurrent);
    rules.push_back({"tarvik_supply_current_amperes",
                     "sgn(" + current + ") * floor(abs(" + current + ") / " +
                         std::to_string(kCurrentTenthsPerMilliampere) + ") / 1000"});
    for (int i = 0; i < kControlRun.count; ++i) {
        const Param row = param_at(kControlRun.first_index + i);
        rules.push_back({"tarvik_switch_state",
                         raw(row),
                         {{"switch", std::to_string(i + 1)}, {"name", switch_name(row)}}});
    }
    rules.push_back({"tarvik_packets_per_second",
                     raw(Param::kPhyToRadioRate),
                     {{"direction", "phy_to_radio"}}});
    rules.push_back({"tarvik_packets_per_second",
                     raw(Param::kRadioToPhyRate),
                     {{"direction", "radio_to_phy"}}});
    rules.push_back({"tarvik_link_rate_bits_per_second",
                     raw(Param::kUpLinkMbps) + " * 1000000",
                     {{"direction", "up"}}});
    rules.push_back({"tarvik_link_rate_bits_per_second",
                     raw(Param::kDownLinkMbps) + " * 1000000",
                     {{"direction", "down"}}});
    rules.push_back({"tarvik_fec_failures_total", raw(Param::kFecFailCount)});
    // The console's PER is FEC failures over received packets (plus one)
    // since Start; here the same over a window.
    rules.push_back({"tarvik_packet_error_ratio",
                     "increase(tarvik_fec_failures_total[" +
                         std::to_string(kErrorRatioWindowSeconds) +
                         "s]) / (sum without (direction) (avg_over_time(tarvik_packets_per_second{"
                         "direction=\"radio_to_phy\"}[" +
                         std::to_string(kErrorRatioWindowSeconds) + "s])) * " +
                         std::to_string(kErrorRatioWindowSeconds) + " + 1)"});

    // Family 350: MSE, frequency offset and the drop counters.
    const std::string status = raw(Param::kModemStatus);
    rules.push_back(
        {"tarvik_rx_mse_decibels",
         only_family(unsigned32(status) + " / " + number(kTenthsPerDecibel), kFamily350)});
    rules.push_back(
        {"tarvik_frequency_offset_hertz", only_family(raw(Param::kFecErrorCount), kFamily350)});
    rules.push_back({"tarvik_dropped_packets_total",
                     only_family(unsigned32(raw(Param::kDropQ1Count)), kFamily350),
                     {{"direction", "phy_to_radio"}}});
    rules.push_back({"tarvik_dropped_packets_total",
                     only_family(unsigned32(raw(Param::kDropTxCount)), kFamily350),
                     {{"direction", "radio_to_phy"}}});

    // Family 1000: the receiver's lock and quality, and the status word.
    rules.push_back(
        {"tarvik_rx_locked", only_family(bit_set(status, kModemLockedBit), kFamily1000)});
    rules.push_back({"tarvik_rx_quality_good",
                     only_family("1 - " + bit_set(status, kModemBadQualityBit), kFamily1000)});
    rules.push_back({"tarvik_rx_modem_status", only_family(status, kFamily1000)});

    // The fleet overview: the link, the lit lamps, and one state of both.
    rules.push_back({kLinkUp, link_up_expr()});
    for (const Rail& rail : supply_rails()) {
        if (!rail.supply->has_lamp) {
            continue;
        }
        const auto [bottom, top] = lamp_bounds_volts(*rail.supply);
        const std::string series = rail_series(rail);
        rules.push_back({kLampLit,
                         "(" + series + " < bool " + number(bottom) + ") + (" + series +
                             " > bool " + number(top) + ")",
                         {{"rail", rail.label}}});
    }
    rules.push_back({kLitLamps, std::string("sum by (job, instance) (") + kLampLit + ")"});
    rules.push_back({kLinkState, std::to_string(kStateLost) + " * (1 - " + kLinkUp + ") + (" +
                                     std::to_string(kStateLampLit) + " * clamp_max(" + kLitLamps +
                                     ", 1) or 0 * " + kLinkUp + ")"});
    return rules;
}

std::string rules_yml() {
    std::string out = std::string("# ") + kGeneratedBy +
                      ".\n"
                      "# Every value the console's panes show, from the exporter's raw rows.\n"
                      "# Rules of a group run in order: the family is recorded first.\n"
                      "groups:\n"
                      "- name: tarvik\n"
                      "  rules:\n";
    for (const Recorded& rule : recorded_series()) {
        out += "  - record: " + rule.name + "\n";
        out += "    expr: " + yaml_text(rule.expr) + "\n";
        if (!rule.labels.empty()) {
            out += "    labels:\n";
            for (const auto& [label, value] : rule.labels) {
                out += "      " + label + ": " + yaml_text(value) + "\n";
            }
        }
    }
    return out;
}

// ---- Alert rules ---------------------------------------------------------

// Link lost and an unlocked receiver stop the traffic: critical. A rail out
// of its limits and a low MSE warn of a fault to come: warning.
constexpr char kCritical[] = "critical";
constexpr char kWarning[] = "warning";

struct Alert {
    std::string name;
    std::string expr;
    const char* severity;
    std::string summary;
    std::string description;
    std::string rail = {};  // the rail's own rule of the one rail alert
};

// The rails share one alert name with a `rail` label, so that Alertmanager
// groups a device's rails into one notification and one silence or route
// covers them all; each rail keeps a rule of its own, whose description
// names that rail's limits.
constexpr char kRailAlert[] = "TarvikSupplyOutOfRange";

std::vector<Alert> alerts() {
    const std::string device = "{{ $labels.instance }}";
    const std::string value = "{{ printf \"%.2f\" $value }}";
    std::vector<Alert> list;
    for (const Rail& rail : supply_rails()) {
        if (!rail.supply->has_lamp) {
            continue;
        }
        const auto [bottom, top] = lamp_bounds_volts(*rail.supply);
        const std::string series = rail_series(rail);
        list.push_back(
            {kRailAlert, series + " < " + number(bottom) + " or " + series + " > " + number(top),
             kWarning, rail_alarm_text(rail.lamp, "{{ printf \"%.1f\" $value }}") + " on " + device,
             device + ": " + rail.supply->label + " is " + value +
                 " V, outside its lamp's limits " + number(bottom) + " V to " + number(top) + " V",
             rail.label});
    }
    list.push_back({"TarvikLinkLost", std::string(kLinkUp) + " == 0", kCritical,
                    "no answer from " + device,
                    device + ": the exporter's scrape got no answer (link up " +
                        "{{ $value }}, 1 when up and answering)"});
    list.push_back({"TarvikReceiverUnlocked", "tarvik_rx_locked == 0", kCritical,
                    "receiver lost lock on " + device,
                    device + ": receiver lock bit {{ $value }} (NoLock), 1 when locked"});
    list.push_back({"TarvikReceiverQualityBad", "tarvik_rx_quality_good == 0", kWarning,
                    "receiver quality bad on " + device,
                    device + ": receiver quality {{ $value }} (Bad), 1 when good"});
    const std::string mse = number(kMseAlertThresholdDb);
    list.push_back(
        {"TarvikMseLow", "tarvik_rx_mse_decibels < " + mse, kWarning,
         "MSE {{ printf \"%.1f\" $value }} dB below " + mse + " dB on " + device,
         device + ": receive MSE " + value + " dB, below the threshold of " + mse + " dB"});
    return list;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string alerts_yml(const std::string& runbook_base) {
    std::string out = std::string("# ") + kGeneratedBy +
                      ".\n"
                      "# The voltage lamps with the console's limits (a value equal to a limit\n"
                      "# is in range; one alert, a rule per rail), the link, the family 1000\n"
                      "# receiver and the family 350 MSE (its threshold is a default to tune).\n"
                      "groups:\n"
                      "- name: tarvik-alerts\n"
                      "  rules:\n";
    for (const Alert& alert : alerts()) {
        out += "  - alert: " + alert.name + "\n";
        out += "    expr: " + yaml_text(alert.expr) + "\n";
        out += std::string("    for: ") + kAlertHoldTime + "\n";
        out += std::string("    labels:\n      severity: ") + alert.severity + "\n";
        if (!alert.rail.empty()) {
            out += "      rail: " + yaml_text(alert.rail) + "\n";
        }
        out += "    annotations:\n";
        out += "      summary: " + yaml_text(alert.summary) + "\n";
        out += "      description: " + yaml_text(alert.description) + "\n";
        out += "      runbook_url: " + yaml_text(runbook_base + lower(alert.name)) + "\n";
    }
    return out;
}

// ---- The example scrape job ----------------------------------------------

// The scrape job of the devices, through snmp_exporter or tarvik-exporter.
struct ExampleJob {
    const char* file;
    const char* exporter_name;
    const char* metrics_path;
    bool module;  // snmp_exporter needs its module named
    const char* exporter_address;
};

std::string prometheus_yml(const ExampleJob& job) {
    std::string out = std::string("# ") + kGeneratedBy +
                      ".\n"
                      "# An example for " +
                      job.exporter_name +
                      ": the rule files as the .deb installs them, and one\n"
                      "# scrape job that asks the exporter for each device. Put the devices'\n"
                      "# addresses (HOST or HOST:PORT) under targets.\n"
                      "global:\n"
                      "  scrape_interval: 15s\n"
                      "  evaluation_interval: 15s\n"
                      "alerting:\n"
                      "  alertmanagers:\n"
                      "  - static_configs:\n"
                      "    - targets:\n";
    out += std::string("      - ") + kAlertmanagerAddress + "\n";
    out += "rule_files:\n";
    out += std::string("- ") + kInstalledFolder + "tarvik-rules.yml\n";
    out += std::string("- ") + kInstalledFolder + "tarvik-alerts.yml\n";
    out += "scrape_configs:\n";
    out += std::string("- job_name: ") + kScrapeJob + "\n";
    out += "  scrape_timeout: 10s\n";
    out += std::string("  metrics_path: ") + job.metrics_path + "\n";
    if (job.module) {
        out += std::string("  params:\n    module: [") + kExporterModule + "]\n";
    }
    out += "  static_configs:\n  - targets:\n    - 192.0.2.10\n    - 192.0.2.11:1161\n";
    out += "  relabel_configs:\n";
    out += "  - source_labels: [__address__]\n    target_label: __param_target\n";
    out += "  - source_labels: [__param_target]\n    target_label: instance\n";
    out += std::string("  - target_label: __address__\n    replacement: ") + job.exporter_address +
           "\n";
    if (!job.module) {
        // The exporter's own health.
        out += std::string("- job_name: ") + kScrapeJob + "-exporter\n";
        out += std::string("  static_configs:\n  - targets:\n    - ") + job.exporter_address + "\n";
    }
    return out;
}

constexpr ExampleJob kSnmpExporterJob = {"prometheus.yml", "Debian's snmp_exporter", "/snmp", true,
                                         kExporterAddress};
constexpr ExampleJob kTarvikExporterJob = {"prometheus-tarvik-exporter.yml", "tarvik-exporter",
                                           "/probe", false, kTarvikExporterAddress};

}  // namespace

std::vector<ExportFile> prometheus_files(const std::string& runbook_base) {
    return {
        {"snmp.yml", snmp_yml()},
        {"tarvik-rules.yml", rules_yml()},
        {"tarvik-alerts.yml", alerts_yml(runbook_base)},
        {"tarvik-dashboard.json", dashboard_json()},
        {kSnmpExporterJob.file, prometheus_yml(kSnmpExporterJob)},
        {kTarvikExporterJob.file, prometheus_yml(kTarvikExporterJob)},
    };
}
