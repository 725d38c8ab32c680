// The texts of the main window's panes, formatted from the readings. Each
// pane is rewritten whole; "\r\n" breaks a line.
#pragma once

#include <string>

#include "monitor/device_readings.h"

constexpr char kNoConnection[] = "NO CONNECTION";

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
