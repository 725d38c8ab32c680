// The texts of the main window's panes, formatted from the readings. Each
// pane is rewritten whole; "\r\n" breaks a line.
#pragma once

#include <string>

#include "device/control_ids.h"
#include "device/device_readings.h"

constexpr char kNoConnection[] = "NO CONNECTION";

// The names the panes give their values, which the trends' series take too.
// The rails are named in the rail table (supply_rails.h).
inline constexpr const char* kTemperatureNames[kTemperatureCount] = {
    "Temperature Sensor 1", "Temperature Sensor 2", "Temperature Sensor 3"};
inline constexpr char kAttenuationName[] = "Attenuation";
inline constexpr char kMseName[] = "MSE dB";
inline constexpr char kReceiverName[] = "Receiver";
inline constexpr char kQualityName[] = "Quality";
inline constexpr char kPhyToRadioName[] = "PHY->Radio";
inline constexpr char kRadioToPhyName[] = "Radio->PHY";
inline constexpr char kPacketsPerSecond[] = " packets per sec.";  // after a direction
inline constexpr char kFecFailsName[] = "FEC fails total";
inline constexpr char kPerName[] = "PER total";
inline constexpr char kDropQ1Name[] = "Drop PHY->R";
inline constexpr char kDropTxName[] = "Drop R->PHY";
inline constexpr char kUpLinkName[] = "UpLink";
inline constexpr char kDownLinkName[] = "DownLink";

std::string temperature_pane_text(const DeviceReadings& r);
std::string voltage_pane_text(const DeviceReadings& r);
// Family 350: the receive MSE; family 1000: lock and quality words, status.
std::string rx_pane_text(const DeviceReadings& r);
// Rates, totals, FEC failures and the error ratio; family 350 adds the drop
// counts since Reset and the frequency offset.
std::string statistic_pane_text(const DeviceReadings& r);
std::string link_pane_text(const DeviceReadings& r);
// The eight identification items, each followed by a line break.
std::string identification_pane_text(const DeviceReadings& r);

// The five panes an answered poll fills, in the order the window and the
// terminal console show them: the control, its heading in the terminal,
// and its text.
struct ReadingPane {
    ControlId id;
    const char* title;
    std::string (*text)(const DeviceReadings& r);
};
inline constexpr ReadingPane kReadingPanes[] = {
    {ControlId::kTemperaturePane, "Temperature", temperature_pane_text},
    {ControlId::kVoltagePane, "Voltage", voltage_pane_text},
    {ControlId::kRxPane, "RX inf.", rx_pane_text},
    {ControlId::kStatisticPane, "Statistic", statistic_pane_text},
    {ControlId::kLinkPane, "Link", link_pane_text},
};
