#include "device/panes.h"

#include "device/supply_rails.h"
#include "device/text_format.h"

std::string temperature_pane_text(const DeviceReadings& r) {
    return format_text("%s\t= %.1f deg\r\n%s\t= %.1f deg\r\n%s\t= %.1f deg", kTemperatureNames[0],
                       r.temperature[0] / kCentidegreesPerDegree, kTemperatureNames[1],
                       r.temperature[1] / kCentidegreesPerDegree, kTemperatureNames[2],
                       r.temperature[2] / kCentidegreesPerDegree);
}

std::string voltage_pane_text(const DeviceReadings& r) {
    std::string text = format_text(
        "Ureceiver\t\t\t= %.1f V\r\nUtransmitter\t\t= %.1f V\r\nVoltage AGC\t\t= %.2f V\r\n"
        "%s\t\t= %.1f dB\r\n\r\n",
        r.receiver_voltage / kMillivoltsPerVolt, r.transmitter_voltage / kMillivoltsPerVolt,
        r.agc_voltage / kMillivoltsPerVolt, kAttenuationName, r.attenuation / kTenthsPerDecibel);
    for (const RailSpec& rail : kSupplyRails) {
        text += format_text("%s\t\t\t= %.1f V\r\n", rail.label, shown_volts(rail, r.*rail.reading));
    }
    return text + format_text("Total Consumtion\t\t= %d mA", r.total_current);
}

std::string rx_pane_text(const DeviceReadings& r) {
    if (r.family_rate_mbps == kFamily350) {
        return format_text("%s \t= %.1f", kMseName, r.mse_tenths_db / kTenthsPerDecibel);
    }
    return format_text("%s \t= %s \r\n%s  \t= %s \r\nStatus \t= %d", kReceiverName,
                       receiver_lock_word(r.receiver_lock), kQualityName,
                       link_quality_word(r.link_quality), r.modem_status);
}

std::string statistic_pane_text(const DeviceReadings& r) {
    std::string text = format_text(
        "%s%s\t= %.f \r\n%s packets total \t= %s \r\n"
        "%s%s\t= %.f \r\n%s packets total \t= %s \r\n"
        "%s \t\t= %.f \r\n%s \t\t= %s",
        kPhyToRadioName, kPacketsPerSecond, r.phy_to_radio_rate, kPhyToRadioName,
        exponent_text(r.phy_to_radio_total, 6).c_str(), kRadioToPhyName, kPacketsPerSecond,
        r.radio_to_phy_rate, kRadioToPhyName, exponent_text(r.radio_to_phy_total, 6).c_str(),
        kFecFailsName, r.fec_fail_since_reset, kPerName,
        exponent_text(r.packet_error_ratio, 3).c_str());
    if (r.family_rate_mbps == kFamily350) {
        // The drop counters are unsigned: shown as such, never negative.
        text += format_text(
            " \r\n%s packets total\t= %u \r\n%s packets total\t= %u  \r\n"
            "Frequency Offset MHz\t= %.6f",
            kDropQ1Name, r.drop_q1_since_reset, kDropTxName, r.drop_tx_since_reset,
            r.frequency_offset_hz / kHertzPerMegahertz);
    }
    return text;
}

std::string link_pane_text(const DeviceReadings& r) {
    return format_text("%s\t=%dMbps\r\n%s=%dMbps\r\n ", kUpLinkName, r.up_link_mbps, kDownLinkName,
                       r.down_link_mbps);
}

std::string identification_pane_text(const DeviceReadings& r) {
    std::string text;
    for (const char* item : r.id_text) {
        text += item;
        text += "\r\n";
    }
    return text;
}
