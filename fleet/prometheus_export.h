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

// The snmp_exporter module's name, and the scrape job the rules and the
// dashboard expect the devices under.
constexpr char kExporterModule[] = "tarvik";
constexpr char kScrapeJob[] = "tarvik";

// How long a condition must hold before an alert fires: two more scrapes at
// the usual 15 s interval after the one that saw it.
constexpr char kAlertHoldTime[] = "30s";
// The family 350 receiver's MSE under which an alert fires, dB: a default
// that an operator tunes to the links' budget.
constexpr double kMseAlertThresholdDb = 20.0;

struct ExportFile {
    std::string name;  // relative to the output folder
    std::string text;
};

// snmp.yml, tarvik-rules.yml, tarvik-alerts.yml, tarvik-dashboard.json and
// prometheus.yml, in that order.
std::vector<ExportFile> prometheus_files();
