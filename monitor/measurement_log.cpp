#include "monitor/measurement_log.h"

#include <cstdio>

#include "monitor/text_format.h"

namespace {

// Every line feed is stored as CR LF, on every platform, identification
// items included.
bool append_to_file(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) {
        return false;
    }
    std::string out;
    out.reserve(text.size() + 64);
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    std::fwrite(out.data(), 1, out.size(), file);
    std::fclose(file);
    return true;
}

std::string timestamp(std::time_t now) {
    std::tm local{};
#ifdef _WIN32
    const bool ok = localtime_s(&local, &now) == 0;
#else
    const bool ok = localtime_r(&now, &local) != nullptr;
#endif
    char text[128];
    if (!ok || std::strftime(text, sizeof text, "%d.%m.%y %H:%M:%S\t", &local) == 0) {
        return std::string();
    }
    return text;
}

}  // namespace

std::string log_header_text(const DeviceReadings& r) {
    std::string text =
        format_text("ID1=%s\nID2=%s\nID3=%s\nID4=%s\nID5=%s\nID6=%s\nID7=%s\nID8=%s\n\n\n",
                    r.id_text[0], r.id_text[1], r.id_text[2], r.id_text[3], r.id_text[4],
                    r.id_text[5], r.id_text[6], r.id_text[7]);
    text +=
        "Time             \tTS1\tTS2\tTS3\tURE\tUTR\tUAG\tATT\tHUM\tU24V\tU+12V\tU+9V\tU-12V\t"
        "U+5V\tU+3.3V\tU+5VSB\tCurr\tONP\tON1\tPHY->R[pps]\tPHY->R\tR->PHY[pps]\tR->PHY\t";
    text += r.family_rate_mbps == kFamily350
                ? "FECfail\t PER\t      DropQ1\tDropTX\tUpLink_Mbps\tDownLink_Mbps\tMSE_RX\t"
                  "Frequency_Offset_Hz\n"
                : "FECerr\tFECfail\tPER\tModSt\n";
    return text;
}

std::string log_line_text(const DeviceReadings& r, bool poll_succeeded, std::time_t now) {
    std::string line = timestamp(now);
    if (!poll_succeeded) {
        return line + "NO CONNECTION\n";
    }
    line += format_text("%.1f\t%.1f\t%.1f\t", r.temperature[0] / 100.0, r.temperature[1] / 100.0,
                        r.temperature[2] / 100.0);
    line += format_text(
        "%.1f\t%.1f\t%.2f\t%.1f\t%d\t%.1f\t%.1f\t%.1f\t%.1f\t%.1f\t%.1f\t%.1f\t%ld\t",
        r.receiver_voltage / 1000.0, r.transmitter_voltage / 1000.0, r.agc_voltage / 1000.0,
        r.attenuation / 10.0, r.humidity, r.supply_24v / 1000.0, r.supply_12v / 1000.0,
        r.supply_9v / 1000.0, r.supply_minus_12v / 1000.0, r.supply_5v / 1000.0,
        r.supply_3v3 / 1000.0, r.supply_5v_standby / 1000.0, static_cast<long>(r.total_current));
    line += format_text("%d\t%d\t", r.control_state[0], r.control_state[2]);
    line += format_text("%.f\t%.6e\t%.f\t%.6e\t", r.phy_to_radio_rate, r.phy_to_radio_total,
                        r.radio_to_phy_rate, r.radio_to_phy_total);
    if (r.family_rate_mbps == kFamily350) {
        // The drop counters are unsigned and logged as such.
        line += format_text("%.f\t%.3e\t%u\t%u\t%d\t%d\t%.1f\t%.f\n", r.fec_fail_count,
                            r.packet_error_ratio, r.drop_q1_count, r.drop_tx_count, r.up_link_mbps,
                            r.down_link_mbps, r.mse_tenths_db / 10.0, r.frequency_offset_hz);
    } else {
        line += format_text("%d\t%.f\t%.3e\t%d\n", r.fec_error_count, r.fec_fail_count,
                            r.packet_error_ratio, r.modem_status);
    }
    return line;
}

bool write_log_header(const std::string& path, const DeviceReadings& r) {
    return !path.empty() && append_to_file(path, log_header_text(r));
}

bool write_log_line(const std::string& path, const DeviceReadings& r, bool poll_succeeded,
                    std::time_t now) {
    return !path.empty() && append_to_file(path, log_line_text(r, poll_succeeded, now));
}
