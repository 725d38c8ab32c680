// The link quality report of one or more logs: each device's errored,
// severely errored and unavailable seconds, its unknown time and its
// availability, per bin and in total, as a table for a person, as CSV or as
// JSON Lines. The logs are streamed through the log reader; each header
// block names its device, and every device gets a section of its own.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "charts/quality_chart.h"
#include "logbook/error_performance.h"
#include "logbook/log_reader.h"

enum class ReportFormat {
    kTable,  // columns for a person, the totals and the five worst bins
    kCsv,    // RFC 4180, CR LF: kind,device,start,seconds,es,ses,bbe,uas,unknown,availability
    kJson,   // JSON Lines: a "bin" object per bin, then a "total" object, per device
};

struct ReportOptions {
    int bin_seconds = 900;  // 900, 3600 or 86400
    double from = 0;        // seconds since the epoch; 0: from the log's start
    double to = 0;          // 0: to the log's end
    ReportFormat format = ReportFormat::kTable;
};

// The device a header block names: its model and serial number
// (identification items 2 and 3), "unknown device" when both are empty.
std::string device_name(const LogHeader& header);

struct DeviceQuality {
    std::string device;
    int32_t family = 0;  // of the device's last header block
    ErrorPerformance quality;
};

class QualityReport {
public:
    explicit QualityReport(const ReportOptions& options);

    // Reads one log to its end; lines that cannot be read go to
    // `on_problem`. The polls before the log's first header block count
    // for an unknown device.
    LogReadTotals read(std::istream& in, const LogProblemHandler& on_problem);
    // Decides what the data left pending, once all logs are read.
    void finish();

    const std::vector<DeviceQuality>& devices() const { return devices_; }
    // The report in the options' format.
    void write(std::ostream& out) const;

private:
    DeviceQuality& device(const std::string& name);

    ReportOptions options_;
    std::vector<DeviceQuality> devices_;
    std::size_t current_ = 0;
    bool have_current_ = false;
};

// The page of every device's error performance chart as SVG, `width` pixels
// wide.
std::string quality_report_svg(const QualityReport& report, int bin_seconds, int width);

// "15-minute", "1-hour" or "24-hour".
const char* bin_name(int bin_seconds);
