// The console's knowledge of the device, written out for a Prometheus stack
// that watches many links: snmp_exporter's module (raw device units), the
// recording rules that turn those into the values the panes show, the alert
// rules of the lamps and the link, a Grafana dashboard and an example scrape
// job. Everything is made from the monitor's own tables (catalog rows and
// runs, decoding constants, family codes, lamp limits), so the stack and
// the console cannot disagree.
#pragma once

#include <string>
#include <vector>

#include "device/parameter_catalog.h"

// The snmp_exporter module's name, and the scrape job the rules and the
// dashboard expect the devices under.
constexpr char kExporterModule[] = "tarvik";
constexpr char kScrapeJob[] = "tarvik";
// Where tarvik-exporter listens by default, and the example job finds it.
constexpr char kTarvikExporterAddress[] = "127.0.0.1:9195";

// How long a condition must hold before an alert fires: two more scrapes at
// the usual 15 s interval after the one that saw it.
constexpr char kAlertHoldTime[] = "30s";

// The device's monotonic counters, which the exporter module types counter
// (the MIB's generator.yml overrides them to match). The FEC error row is
// not one of them: family 350 puts its frequency offset there.
inline constexpr Param kDeviceCounters[] = {Param::kFecFailCount, Param::kDropQ1Count,
                                            Param::kDropTxCount};

// Where each alert's runbook_url points by default: the installed fleet
// page's section of that alert (its heading is the alert's name, so the
// anchor is the name in lower case). A site that publishes the pages
// elsewhere gives its address with --runbook-base.
constexpr char kRunbookBase[] = "/usr/share/doc/tarvik/docs/fleet.md#";
// The family 350 receiver's MSE under which an alert fires, dB: a default
// that an operator tunes to the links' budget.
constexpr double kMseAlertThresholdDb = 20.0;

struct ExportFile {
    std::string name;  // relative to the output folder
    std::string text;
};

// One series of the snmp_exporter module: a catalog row the console polls,
// its metric name, help and type. Identification items are texts, exposed
// as snmp_exporter shows a DisplayString: a gauge of 1 whose label (named as
// the metric) holds the text.
enum class RawKind { kText, kGauge, kCounter };
struct RawMetric {
    Param row;
    std::string name;
    std::string help;
    RawKind kind;
};
// Every series of the module, in the order it requests them: the
// identification run (item 8, the key, left out), then the poll's runs.
// snmp.yml and tarvik-exporter both read this list.
std::vector<RawMetric> raw_metrics();

// snmp.yml, tarvik-rules.yml, tarvik-alerts.yml, tarvik-dashboard.json,
// prometheus.yml (the example job through snmp_exporter) and
// prometheus-tarvik-exporter.yml (the same through tarvik-exporter), in that
// order; each alert's runbook_url is `runbook_base` followed by the
// alert's name in lower case.
std::vector<ExportFile> prometheus_files(const std::string& runbook_base = kRunbookBase);

// Building blocks of the files, for their tests.
// The shortest plain decimal that reads back as the same double: "0.1", "1000".
std::string number(double value);
// The `name` label of a switch: "radio" and "heater" for the two the
// console shows, the switch's number for the others.
std::string switch_name(Param row);
// A JSON string literal of `text`, quotes included.
std::string json_text(const std::string& text);
// The exporter's metric of a catalog row; throws std::logic_error for a row
// that has none (the key, and the rows the console never requests).
std::string raw(Param row);
// The RE2 pattern that captures the family code in identification item 2
// where the console finds it, and the PromQL expression that labels each
// device with its family from it.
std::string family_code_regex();
std::string family_expr();
