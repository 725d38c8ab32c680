#include "monitor/panes.h"

#include "monitor/supply_rails.h"
#include "monitor/text_format.h"

std::string temperature_pane_text(const DeviceReadings& r) {
    return format_text(
        "Temperature Sensor 1\t= %.1f deg\r\nTemperature Sensor 2\t= %.1f deg\r\n"
        "Temperature Sensor 3\t= %.1f deg",
        r.temperature[0] / kCentidegreesPerDegree, r.temperature[1] / kCentidegreesPerDegree,
        r.temperature[2] / kCentidegreesPerDegree);
}

std::string voltage_pane_text(const DeviceReadings& r) {
    std::string text = format_text(
        "Ureceiver\t\t\t= %.1f V\r\nUtransmitter\t\t= %.1f V\r\nVoltage AGC\t\t= %.2f V\r\n"
        "Attenuation\t\t= %.1f dB\r\n\r\n",
        r.receiver_voltage / kMillivoltsPerVolt, r.transmitter_voltage / kMillivoltsPerVolt,
        r.agc_voltage / kMillivoltsPerVolt, r.attenuation / kTenthsPerDecibel);
    for (const RailSpec& rail : kSupplyRails) {
        text += format_text("%s\t\t\t= %.1f V\r\n", rail.label, shown_volts(rail, r.*rail.reading));
    }
    return text + format_text("Total Consumtion\t\t= %d mA", r.total_current);
}

std::string rx_pane_text(const DeviceReadings& r) {
    if (r.family_rate_mbps == kFamily350) {
        return format_text("MSE dB \t= %.1f", r.mse_tenths_db / kTenthsPerDecibel);
    }
    return format_text("Receiver \t= %s \r\nQuality  \t= %s \r\nStatus \t= %d",
                       receiver_lock_word(r.receiver_lock), link_quality_word(r.link_quality),
                       r.modem_status);
}

std::string statistic_pane_text(const DeviceReadings& r) {
    std::string text = format_text(
        "PHY->Radio packets per sec.\t= %.f \r\nPHY->Radio packets total \t= %.6e \r\n"
        "Radio->PHY packets per sec.\t= %.f \r\nRadio->PHY packets total \t= %.6e \r\n"
        "FEC fails total \t\t= %.f \r\nPER total \t\t= %.3e",
        r.phy_to_radio_rate, r.phy_to_radio_total, r.radio_to_phy_rate, r.radio_to_phy_total,
        r.fec_fail_since_reset, r.packet_error_ratio);
    if (r.family_rate_mbps == kFamily350) {
        // The drop counters are unsigned: shown as such, never negative.
        text += format_text(
            " \r\nDrop PHY->R packets total\t= %u \r\nDrop R->PHY packets total\t= %u  \r\n"
            "Frequency Offset MHz\t= %.6f",
            r.drop_q1_since_reset, r.drop_tx_since_reset,
            r.frequency_offset_hz / kHertzPerMegahertz);
    }
    return text;
}

std::string link_pane_text(const DeviceReadings& r) {
    return format_text("UpLink\t=%dMbps\r\nDownLink=%dMbps\r\n ", r.up_link_mbps, r.down_link_mbps);
}

std::string identification_pane_text(const DeviceReadings& r) {
    std::string text;
    for (const char* item : r.id_text) {
        text += item;
        text += "\r\n";
    }
    return text;
}
