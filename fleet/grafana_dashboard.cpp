// The Grafana dashboard of the Prometheus files: the fleet overview, then a
// row of graphs for each selected link.
#include <string>
#include <vector>

#include "fleet/prometheus_export.h"
#include "fleet/prometheus_parts.h"

namespace prometheus_parts {

namespace {

struct Target {
    std::string expr;
    std::string legend;
};

struct Panel {
    std::string title;
    std::string unit;  // the one unit of the panel's axis
    std::vector<Target> targets;
    const Rail* rail = nullptr;  // a rail with a lamp: its limits as bands
    std::string type = "timeseries";
    std::string overrides = {};  // empty: none
    std::string more = {};       // further members: options, transformations
    int width = 12;
    int height = 8;
    bool repeat = false;  // a row repeated for each selected link
};

std::string selected(const std::string& metric, const std::string& matchers = "") {
    return metric + "{instance=~\"$instance\"" + (matchers.empty() ? "" : ", " + matchers) + "}";
}

std::string rate_of(const std::string& series) {
    return "rate(" + series + "[$__rate_interval])";
}

std::string datasource_json() {
    return "{\"type\": \"prometheus\", \"uid\": \"${datasource}\"}";
}

// A value mapping of whole numbers to words and colours.
struct Shown {
    int value;
    const char* text;
    const char* color;
};
std::string mappings_json(const std::vector<Shown>& shown) {
    std::string out = "[{\"type\": \"value\", \"options\": {";
    for (size_t i = 0; i < shown.size(); ++i) {
        out += (i == 0 ? "" : ", ") + quoted(std::to_string(shown[i].value)) +
               ": {\"text\": " + json_text(shown[i].text) +
               ", \"color\": " + json_text(shown[i].color) + ", \"index\": " + std::to_string(i) +
               "}";
    }
    return out + "}}]";
}
const std::vector<Shown> kLinkStates = {
    {0, "ok", "green"}, {kStateLampLit, "lamp lit", "orange"}, {kStateLost, "lost", "red"}};
const std::vector<Shown> kQuality = {{0, "Bad", "red"}, {1, "Good", "green"}};

std::string panel_json(const Panel& panel, int id, int x, int y) {
    std::string out = "    {\n";
    out += "      \"id\": " + std::to_string(id) + ",\n";
    out += "      \"title\": " + json_text(panel.title) + ",\n";
    out += "      \"type\": " + json_text(panel.type) + ",\n";
    out += "      \"gridPos\": {\"x\": " + std::to_string(x) + ", \"y\": " + std::to_string(y) +
           ", \"w\": " + std::to_string(panel.width) + ", \"h\": " + std::to_string(panel.height) +
           "}";
    if (panel.type == "row") {
        // The panels below a row, up to the next, are its own; a repeated
        // row comes once per selected link.
        return out + ",\n      " + (panel.repeat ? "\"repeat\": \"instance\", " : "") +
               "\"collapsed\": false, \"panels\": []\n    }";
    }
    out += ",\n      \"datasource\": " + datasource_json() + ",\n";
    std::string defaults = "\"unit\": " + json_text(panel.unit);
    if (panel.rail != nullptr) {
        const auto [bottom, top] = lamp_bounds_volts(*panel.rail->supply);
        // Red outside the lamp's limits, green between; drawn as bands.
        defaults += ", \"custom\": {\"thresholdsStyle\": {\"mode\": \"line+area\"}}";
        defaults +=
            ", \"thresholds\": {\"mode\": \"absolute\", \"steps\": [{\"color\": \"red\", "
            "\"value\": null}, {\"color\": \"green\", \"value\": " +
            number(bottom) + "}, {\"color\": \"red\", \"value\": " + number(top) + "}]}";
    }
    if (panel.type == "state-timeline") {
        defaults += ", \"mappings\": " + mappings_json(kLinkStates);
    }
    out += "      \"fieldConfig\": {\"defaults\": {" + defaults +
           "}, \"overrides\": " + (panel.overrides.empty() ? "[]" : panel.overrides) + "},\n";
    if (!panel.more.empty()) {
        out += "      " + panel.more + ",\n";
    }
    const bool table = panel.type == "table";
    out += "      \"targets\": [\n";
    for (size_t i = 0; i < panel.targets.size(); ++i) {
        const Target& t = panel.targets[i];
        out += "        {\"refId\": " + json_text(std::string(1, static_cast<char>('A' + i))) +
               ", \"datasource\": " + datasource_json() + ", \"expr\": " + json_text(t.expr) +
               ", \"legendFormat\": " + json_text(t.legend) +
               (table ? ", \"instant\": true, \"format\": \"table\"" : "") + "}" +
               (i + 1 < panel.targets.size() ? "," : "") + "\n";
    }
    out += "      ]\n    }";
    return out;
}

// A table column's settings, by the name the table gives it.
std::string column_json(const std::string& name, const std::string& properties) {
    return "{\"matcher\": {\"id\": \"byName\", \"options\": " + json_text(name) +
           "}, \"properties\": [" + properties + "]}";
}
std::string unit_json(const std::string& unit) {
    return "{\"id\": \"unit\", \"value\": " + json_text(unit) + "}";
}
std::string shown_json(const std::vector<Shown>& shown) {
    return "{\"id\": \"mappings\", \"value\": " + mappings_json(shown) +
           "}, {\"id\": \"custom.displayMode\", \"value\": \"color-background\"}";
}

// Every link in one table, worst first, and the links' states over time.
std::vector<Panel> fleet_overview() {
    const std::string up = "up{job=" + quoted(kScrapeJob) + "}";
    Panel table{"Links, worst first",
                "none",
                {{kLinkState, ""},
                 {kFamilyInfo, ""},
                 {kLitLamps, ""},
                 {"tarvik_rx_mse_decibels", ""},
                 {"tarvik_rx_quality_good", ""},
                 {"time() - timestamp(" + up + ")", ""}},
                nullptr,
                "table"};
    table.overrides = "[" + column_json("State", shown_json(kLinkStates)) + ", " +
                      column_json("Quality", shown_json(kQuality)) + ", " +
                      column_json("MSE", unit_json("dB")) + ", " +
                      column_json("Last scrape", unit_json("s")) + "]";
    table.more =
        "\"options\": {\"sortBy\": [{\"displayName\": \"State\", \"desc\": true}]},\n"
        "      \"transformations\": [{\"id\": \"merge\", \"options\": {}}, {\"id\": "
        "\"organize\", \"options\": {\"excludeByName\": {\"Time\": true, \"job\": true, "
        "\"Value #B\": true}, \"indexByName\": {\"instance\": 0, \"Value #A\": 1, \"family\": 2, "
        "\"Value #C\": 3, \"Value #D\": 4, \"Value #E\": 5, \"Value #F\": 6}, \"renameByName\": "
        "{\"instance\": \"Link\", \"Value #A\": \"State\", \"family\": \"Family\", \"Value #C\": "
        "\"Lit lamps\", \"Value #D\": \"MSE\", \"Value #E\": \"Quality\", \"Value #F\": \"Last "
        "scrape\"}}}]";
    table.height = 10;
    Panel timeline{"Link state (up, lamps)",
                   "none",
                   {{kLinkState, "{{instance}}"}},
                   nullptr,
                   "state-timeline"};
    timeline.height = 10;
    return {{"Fleet", "", {}, nullptr, "row", {}, {}, 24, 1}, table, timeline};
}

// One row per link: each panel one quantity, so each axis one unit.
std::vector<Panel> link_panels(const std::vector<Rail>& rails) {
    std::vector<Panel> panels;
    panels.push_back({"Link $instance", "", {}, nullptr, "row", {}, {}, 24, 1, true});
    Panel identification{"Identification", "none", {{selected(kDeviceInfo), ""}}, nullptr, "table"};
    identification.more =
        "\"transformations\": [{\"id\": \"organize\", \"options\": {\"excludeByName\": "
        "{\"Time\": true, \"job\": true, \"Value\": true}}}]";
    identification.width = 24;
    identification.height = 4;
    panels.push_back(identification);
    panels.push_back(
        {"Scrape duration", "s", {{selected("snmp_scrape_duration_seconds"), "{{instance}}"}}});
    // Requests, not values: snmp_exporter sends one object a request.
    panels.push_back(
        {"Requests per scrape", "none", {{selected("snmp_scrape_packets_sent"), "{{instance}}"}}});
    panels.push_back({"Temperatures",
                      "celsius",
                      {{selected("tarvik_temperature_celsius"), "{{instance}} T{{sensor}}"}}});
    panels.push_back({"Receiver, transmitter and AGC voltages",
                      "volt",
                      {{selected("tarvik_receiver_voltage_volts"), "{{instance}} Ureceiver"},
                       {selected("tarvik_transmitter_voltage_volts"), "{{instance}} Utransmitter"},
                       {selected("tarvik_agc_voltage_volts"), "{{instance}} Voltage AGC"}}});
    panels.push_back(
        {"Attenuation", "dB", {{selected("tarvik_attenuation_decibels"), "{{instance}}"}}});
    for (const Rail& rail : rails) {
        Panel panel{rail.supply->label,
                    "volt",
                    {{selected("tarvik_supply_voltage_volts", "rail=\"" + rail.label + "\""),
                      "{{instance}}"}}};
        panel.rail = rail.supply->has_lamp ? &rail : nullptr;
        panels.push_back(panel);
    }
    panels.push_back(
        {"Total current", "amp", {{selected("tarvik_supply_current_amperes"), "{{instance}}"}}});
    panels.push_back({"MSE (350)", "dB", {{selected("tarvik_rx_mse_decibels"), "{{instance}}"}}});
    panels.push_back({"Receiver lock and quality (1000)",
                      "bool_yes_no",
                      {{selected("tarvik_rx_locked"), "{{instance}} Lock"},
                       {selected("tarvik_rx_quality_good"), "{{instance}} Good"}}});
    panels.push_back(
        {"Link rates",
         "bps",
         {{selected("tarvik_link_rate_bits_per_second"), "{{instance}} {{direction}}"}}});
    panels.push_back({"Packet rates",
                      "pps",
                      {{selected("tarvik_packets_per_second"), "{{instance}} {{direction}}"}}});
    panels.push_back({"FEC failures and drops per second",
                      "cps",
                      {{rate_of(selected("tarvik_fec_failures_total")), "{{instance}} FEC fails"},
                       {rate_of(selected("tarvik_dropped_packets_total")),
                        "{{instance}} drops {{direction}}"}}});
    panels.push_back({"Packet error ratio",
                      "percentunit",
                      {{selected("tarvik_packet_error_ratio"), "{{instance}} PER"}}});
    panels.push_back({"Frequency offset (350)",
                      "hertz",
                      {{selected("tarvik_frequency_offset_hertz"), "{{instance}}"}}});
    return panels;
}

}  // namespace

std::string dashboard_json() {
    const std::vector<Rail> rails = supply_rails();
    std::vector<Panel> panels = fleet_overview();
    for (Panel& panel : link_panels(rails)) {
        panels.push_back(panel);
    }

    const std::string job_up = "label_values(up{job=" + quoted(kScrapeJob) + "}, instance)";
    std::string out = "{\n";
    out += "  \"__comment\": " + json_text(kGeneratedBy) + ",\n";
    out += "  \"uid\": \"tarvik-links\",\n  \"title\": \"Tarvik links\",\n";
    out += "  \"tags\": [\"tarvik\"],\n  \"timezone\": \"browser\",\n";
    out += "  \"schemaVersion\": 36,\n  \"version\": 1,\n  \"editable\": true,\n";
    out += "  \"refresh\": \"30s\",\n  \"time\": {\"from\": \"now-6h\", \"to\": \"now\"},\n";
    out += "  \"templating\": {\"list\": [\n";
    out +=
        "    {\"name\": \"datasource\", \"label\": \"Data source\", \"type\": \"datasource\", "
        "\"query\": \"prometheus\", \"current\": {}, \"hide\": 0},\n";
    out +=
        "    {\"name\": \"instance\", \"label\": \"Link\", \"type\": \"query\", \"datasource\": " +
        datasource_json() + ", \"definition\": " + json_text(job_up) +
        ", \"query\": {\"query\": " + json_text(job_up) +
        ", \"refId\": \"instance\"}, \"refresh\": 2, \"multi\": true, "
        "\"includeAll\": true, \"allValue\": \".*\", \"current\": {\"text\": \"All\", "
        "\"value\": \"$__all\"}, \"sort\": 1, \"hide\": 0}\n";
    out += "  ]},\n";
    out += "  \"panels\": [\n";
    // Left to right, a new line when the next panel does not fit.
    constexpr int kGridWidth = 24;
    int x = 0;
    int y = 0;
    int line_height = 0;
    for (size_t i = 0; i < panels.size(); ++i) {
        if (x + panels[i].width > kGridWidth) {
            x = 0;
            y += line_height;
            line_height = 0;
        }
        out += panel_json(panels[i], static_cast<int>(i + 1), x, y);
        out += i + 1 < panels.size() ? ",\n" : "\n";
        x += panels[i].width;
        line_height = std::max(line_height, panels[i].height);
    }
    out += "  ]\n}\n";
    return out;
}

}  // namespace prometheus_parts
