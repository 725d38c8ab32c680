// Decoding answers into the readings, the operations that reset parts of
// them, and the latches of the voltage alarms.
#include "device/device_readings.h"

#include <cstring>

#include "device/parameter_catalog.h"
#include "device/supply_rails.h"

namespace {

DeviceReadings process_readings;

// Link-mode code whose rate a locked receiver on family 1000 reports as its
// downlink.
constexpr int kLockedLinkMode = 99;

// n: the first four value octets in host order, which is how the codec holds
// INTEGER, Counter32, Gauge32 and TimeTicks. A missing or shorter value
// gives nothing, and the field keeps what it had.
template <typename T>
bool read_number(const VarBinding& binding, T* n) {
    static_assert(sizeof(T) == 4, "values are read as 32-bit numbers");
    if (binding.value == nullptr || binding.value_length < 4) {
        return false;
    }
    std::memcpy(n, binding.value, sizeof *n);
    return true;
}

// A raw counter compared with its value at the last Reset. A value below the
// baseline means the device restarted the counter: counting goes on from the
// device's own zero, and the count so far is kept until it is passed.
template <typename T>
void follow_since_reset(T value, T& baseline, T& since_reset) {
    if (value > baseline) {
        since_reset = value - baseline;
    } else if (value < baseline) {
        baseline = 0;
    }
}

template <typename T>
void rebase(T value, T& baseline, T& since_reset) {
    if (value > 0) {
        baseline = value;
        since_reset = 0;
    }
}

// Cut at the first zero octet and at 99 characters: the text the family
// code is looked for in. The rest of the field is cleared so that family
// detection never meets an earlier text's remains.
void store_cut_text(char (&field)[kIdTextSize], const VarBinding& binding) {
    std::memset(field, 0, sizeof field);
    size_t length = static_cast<size_t>(binding.value_length);
    if (length > kIdTextSize - 1) {
        length = kIdTextSize - 1;
    }
    if (const void* zero = std::memchr(binding.value, 0, length)) {
        length = static_cast<size_t>(static_cast<const uint8_t*>(zero) - binding.value);
    }
    std::memcpy(field, binding.value, length);
}

// The item as shown: a zero octet is kept as the four characters "\x00",
// the way the panes and the log show the other controls, so the text after
// it is not lost; at most 99 characters, and no escape cut in two.
void store_id_text(char (&field)[kIdTextSize], const VarBinding& binding) {
    static constexpr char kZero[] = "\\x00";
    constexpr size_t kZeroLength = sizeof kZero - 1;
    std::memset(field, 0, sizeof field);
    size_t length = 0;
    for (int32_t i = 0; i < binding.value_length; ++i) {
        const uint8_t octet = binding.value[i];
        const size_t room = octet == 0 ? kZeroLength : 1;
        if (length + room > kIdTextSize - 1) {
            break;
        }
        if (octet == 0) {
            std::memcpy(field + length, kZero, kZeroLength);
        } else {
            field[length] = static_cast<char>(octet);
        }
        length += room;
    }
}

// Three-character windows of item 2 at offsets 1 to L - 3, L being the
// value's length; a code at offset 0 does not count, and the last match
// decides. Windows that reach past the stored text see zeros and match
// nothing, and the field's end bounds them.
void detect_family(DeviceReadings& readings, int32_t value_length) {
    const char* text = readings.id_text[1];
    for (int32_t i = 1;
         i < value_length - (kFamilyCodeLength - 1) && i + kFamilyCodeLength <= kIdTextSize; ++i) {
        for (const FamilyCode& code : kFamilyCodes) {
            if (std::memcmp(text + i, code.code, kFamilyCodeLength) == 0) {
                readings.family_rate_mbps = code.family;
            }
        }
    }
}

// Where a plain integer goes: a field of its own, or one element of an
// array field.
template <int32_t DeviceReadings::*Field>
int32_t* member(DeviceReadings& r) {
    return &(r.*Field);
}
template <auto Array, int Element>
int32_t* element(DeviceReadings& r) {
    return &(r.*Array)[Element];
}

// The rows whose number is stored unchanged.
struct PlainInteger {
    Param row;
    int32_t* (*field)(DeviceReadings&);
};
constexpr PlainInteger kPlainIntegers[] = {
    {Param::kTemperature1, element<&DeviceReadings::temperature, 0>},
    {Param::kTemperature2, element<&DeviceReadings::temperature, 1>},
    {Param::kTemperature3, element<&DeviceReadings::temperature, 2>},
    {Param::kReceiverVoltage, member<&DeviceReadings::receiver_voltage>},
    {Param::kTransmitterVoltage, member<&DeviceReadings::transmitter_voltage>},
    {Param::kAgcVoltage, member<&DeviceReadings::agc_voltage>},
    {Param::kAttenuation, member<&DeviceReadings::attenuation>},
    {Param::kHumidity, member<&DeviceReadings::humidity>},
    {Param::kSupply24V, member<&DeviceReadings::supply_24v>},
    {Param::kSupply12V, member<&DeviceReadings::supply_12v>},
    {Param::kSupply9V, member<&DeviceReadings::supply_9v>},
    {Param::kSupplyMinus12V, member<&DeviceReadings::supply_minus_12v>},
    {Param::kSupply5V, member<&DeviceReadings::supply_5v>},
    {Param::kSupply3V3, member<&DeviceReadings::supply_3v3>},
    {Param::kSupply5VStandby, member<&DeviceReadings::supply_5v_standby>},
    {Param::kSwitch1, element<&DeviceReadings::control_state, 0>},
    {Param::kSwitch2, element<&DeviceReadings::control_state, 1>},
    {Param::kSwitch3, element<&DeviceReadings::control_state, 2>},
    {Param::kSwitch4, element<&DeviceReadings::control_state, 3>},
    {Param::kSwitch5, element<&DeviceReadings::control_state, 4>},
    {Param::kSwitch6, element<&DeviceReadings::control_state, 5>},
};

bool is_unsigned_type(uint8_t type) {
    return type == kTagCounter32 || type == kTagGauge32 || type == kTagTimeTicks ||
           type == kTagUInteger32;
}

bool in_run(int index, const CatalogRun& run) {
    return index >= run.first_index && index < run.first_index + run.count;
}

void apply_modem_status(DeviceReadings& r, int32_t n, uint32_t bits) {
    r.modem_status = n;
    if (r.family_rate_mbps == kFamily350) {
        r.mse_tenths_db = bits;
    } else if (r.family_rate_mbps == kFamily1000) {
        const ModemState state = decode_modem_status(bits);
        r.receiver_lock = state.lock;
        r.link_quality = state.quality;
        if (state.lock == ReceiverLock::kLocked) {
            r.down_link_mbps = link_rate_mbps(kLockedLinkMode);
        }
    }
}

void apply_binding(DeviceReadings& r, const VarBinding& binding) {
    const int index = find_catalog_index(binding);
    const Param row = static_cast<Param>(index);
    if (in_run(index, kIdentificationRun)) {
        if (binding.value == nullptr || binding.value_length < 0) {
            return;
        }
        char(&field)[kIdTextSize] = r.id_text[index - kIdentificationRun.first_index];
        if (row == Param::kIdItem2) {
            store_cut_text(field, binding);
            detect_family(r, binding.value_length);
        }
        store_id_text(field, binding);
        return;
    }

    int32_t n = 0;
    uint32_t bits = 0;
    if (!read_number(binding, &n) || !read_number(binding, &bits)) {
        return;
    }
    if (int32_t* plain = plain_integer_field(r, row)) {
        *plain = n;
        return;
    }
    const double number = is_unsigned_type(binding.type) ? static_cast<double>(bits) : n;
    switch (row) {
        case Param::kTotalCurrent:
            r.total_current = n / kCurrentTenthsPerMilliampere;  // truncates toward zero
            break;
        case Param::kPhyToRadioRate:
            r.phy_to_radio_rate = number;
            break;
        case Param::kRadioToPhyRate:
            r.radio_to_phy_rate = number;
            break;
        case Param::kFecErrorCount:
            r.fec_error_count = n;
            if (r.family_rate_mbps == kFamily350) {
                r.frequency_offset_hz = n;
            }
            break;
        case Param::kFecFailCount:
            r.fec_fail_count = number;
            follow_since_reset(r.fec_fail_count, r.fec_fail_baseline, r.fec_fail_since_reset);
            break;
        case Param::kModemStatus:
            apply_modem_status(r, n, bits);
            break;
        case Param::kDownLinkMbps:
            r.down_link_mbps = n;
            break;
        case Param::kUpLinkMbps:
            r.up_link_mbps = n;
            break;
        case Param::kDropQ1Count:
            r.drop_q1_count = bits;
            follow_since_reset(r.drop_q1_count, r.drop_q1_baseline, r.drop_q1_since_reset);
            break;
        case Param::kDropTxCount:
            r.drop_tx_count = bits;
            follow_since_reset(r.drop_tx_count, r.drop_tx_baseline, r.drop_tx_since_reset);
            break;
        default:  // the system rows, kUnrequested, kTerminator and names outside the catalog
            break;
    }
}

}  // namespace

const char* receiver_lock_word(ReceiverLock lock) {
    switch (lock) {
        case ReceiverLock::kLocked:
            return "Lock";
        case ReceiverLock::kNotLocked:
            return "NoLock";
        default:
            return "no";
    }
}

const char* link_quality_word(LinkQuality quality) {
    switch (quality) {
        case LinkQuality::kGood:
            return "Good";
        case LinkQuality::kBad:
            return "Bad";
        default:
            return "no";
    }
}

DeviceReadings& device_readings() {
    return process_readings;
}

int32_t* plain_integer_field(DeviceReadings& r, Param row) {
    for (const PlainInteger& plain : kPlainIntegers) {
        if (plain.row == row) {
            return plain.field(r);
        }
    }
    return nullptr;
}

bool signed_measurement_row(Param row) {
    for (const PlainInteger& plain : kPlainIntegers) {
        if (plain.row == row) {
            return true;
        }
    }
    return row == Param::kTotalCurrent || row == Param::kDownLinkMbps || row == Param::kUpLinkMbps;
}

void clear_status_fields(DeviceReadings& r) {
    r.modem_status = 0;
    r.mse_tenths_db = 0;
    r.up_link_mbps = 0;
    r.down_link_mbps = 0;
    r.frequency_offset_hz = 0;
    r.receiver_lock = ReceiverLock::kUnknown;
    r.link_quality = LinkQuality::kUnknown;
}

void clear_readings(DeviceReadings& r, ReadingGroup group) {
    if (group == ReadingGroup::kMeasurements) {
        for (int32_t& t : r.temperature) {
            t = 0;
        }
        r.receiver_voltage = 0;
        r.transmitter_voltage = 0;
        r.agc_voltage = 0;
        r.attenuation = 0;
        r.humidity = 0;
        r.supply_24v = 0;
        r.supply_12v = 0;
        r.supply_9v = 0;
        r.supply_minus_12v = 0;
        r.supply_5v = 0;
        r.supply_3v3 = 0;
        r.supply_5v_standby = 0;
        r.total_current = 0;
        r.phy_to_radio_rate = 0;
        r.radio_to_phy_rate = 0;
        clear_status_fields(r);
    } else if (group == ReadingGroup::kIdentification) {
        std::memset(r.id_text, 0, sizeof r.id_text);
        for (int32_t& state : r.control_state) {
            state = 0;
        }
    }
}

void rebase_since_reset_counters(DeviceReadings& r) {
    rebase(r.fec_fail_count, r.fec_fail_baseline, r.fec_fail_since_reset);
    rebase(r.drop_q1_count, r.drop_q1_baseline, r.drop_q1_since_reset);
    rebase(r.drop_tx_count, r.drop_tx_baseline, r.drop_tx_since_reset);
}

void restart_totals(DeviceReadings& r) {
    r.phy_to_radio_total = 0;
    r.radio_to_phy_total = 0;
    r.fec_fail_count = 0;
    r.fec_fail_baseline = 0;
    r.fec_fail_since_reset = 0;
    r.drop_q1_count = 0;
    r.drop_q1_baseline = 0;
    r.drop_q1_since_reset = 0;
    r.drop_tx_count = 0;
    r.drop_tx_baseline = 0;
    r.drop_tx_since_reset = 0;
    r.packet_error_ratio = 0;
}

VoltageAlarms latch_voltage_alarms(DeviceReadings& r) {
    VoltageAlarms out_of_range;
    for (int k = 0; k < kVoltageAlarmCount; ++k) {
        const RailSpec& rail = kSupplyRails[k];
        const int32_t value = r.*rail.reading;
        if (value > rail.high || value < rail.low) {
            r.voltage_alarm[k] = 1;
            out_of_range.set(static_cast<size_t>(k));
        }
    }
    return out_of_range;
}

bool apply_answer(DeviceReadings& readings, const SnmpMessage* answer) {
    if (answer == nullptr || answer->error_status != 0) {
        return false;
    }
    for (const VarBinding* b = answer->bindings; b != nullptr; b = b->next) {
        apply_binding(readings, *b);
    }
    return true;
}
