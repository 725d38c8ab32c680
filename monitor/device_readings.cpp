// Decoding answers into the readings, and the operations that reset parts of
// them.
#include "monitor/device_readings.h"

#include <cstdio>
#include <cstring>

#include "monitor/parameter_catalog.h"

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

void set_word(char (&word)[kStatusWordSize], const char* text) {
    std::snprintf(word, sizeof word, "%s", text);
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

// Cut at the first zero octet and at 99 characters. The rest of the field
// is cleared so that family detection never meets an earlier text's remains.
void store_id_text(char (&field)[kIdTextSize], const VarBinding& binding) {
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

// Three-character windows of item 2 at offsets 1 to L - 3, L being the
// value's length; a code at offset 0 does not count, and the last match
// decides. Windows that reach past the stored text see zeros and match
// nothing, and the field's end bounds them.
void detect_family(DeviceReadings& readings, int32_t value_length) {
    const char* text = readings.id_text[1];
    for (int32_t i = 1; i < value_length - 2 && i + 3 <= kIdTextSize; ++i) {
        if (std::memcmp(text + i, "KTR", 3) == 0) {
            readings.family_rate_mbps = kFamily350;
        } else if (std::memcmp(text + i, "VXL", 3) == 0) {
            readings.family_rate_mbps = kFamily1000;
        }
    }
}

// The field that takes n unchanged, for indices 12 to 26 and 28 to 33.
int32_t* plain_integer_field(DeviceReadings& r, int index) {
    switch (index) {
        case 12:
        case 13:
        case 14:
            return &r.temperature[index - 12];
        case 15:
            return &r.receiver_voltage;
        case 16:
            return &r.transmitter_voltage;
        case 17:
            return &r.agc_voltage;
        case 18:
            return &r.attenuation;
        case 19:
            return &r.humidity;
        case 20:
            return &r.supply_24v;
        case 21:
            return &r.supply_12v;
        case 22:
            return &r.supply_9v;
        case 23:
            return &r.supply_minus_12v;
        case 24:
            return &r.supply_5v;
        case 25:
            return &r.supply_3v3;
        case 26:
            return &r.supply_5v_standby;
        default:
            if (index >= 28 && index <= 33) {
                return &r.control_state[index - 28];
            }
            return nullptr;
    }
}

void apply_modem_status(DeviceReadings& r, int32_t n, uint32_t bits) {
    r.modem_status = n;
    if (r.family_rate_mbps == kFamily350) {
        r.mse_tenths_db = bits;
    } else if (r.family_rate_mbps == kFamily1000) {
        if ((bits & 1u) != 0) {
            set_word(r.receiver_word, "Lock");
            r.down_link_mbps = link_rate_mbps(kLockedLinkMode);
        } else {
            set_word(r.receiver_word, "NoLock");
        }
        set_word(r.quality_word, (bits & 2u) != 0 ? "Bad" : "Good");
    }
}

void apply_binding(DeviceReadings& r, const VarBinding& binding) {
    const int index = find_catalog_index(binding);
    if (index >= 3 && index <= 10) {
        if (binding.value == nullptr || binding.value_length < 0) {
            return;
        }
        store_id_text(r.id_text[index - 3], binding);
        if (index == 4) {
            detect_family(r, binding.value_length);
        }
        return;
    }

    int32_t n = 0;
    uint32_t bits = 0;
    if (!read_number(binding, &n) || !read_number(binding, &bits)) {
        return;
    }
    if (int32_t* field = plain_integer_field(r, index)) {
        *field = n;
        return;
    }
    switch (index) {
        case 27:
            r.total_current = n / 10;  // truncates toward zero
            break;
        case 34:
            r.phy_to_radio_rate = n;
            break;
        case 35:
            r.radio_to_phy_rate = n;
            break;
        case 36:
            r.fec_error_count = n;
            if (r.family_rate_mbps == kFamily350) {
                r.frequency_offset_hz = n;
            }
            break;
        case 37:
            r.fec_fail_count = n;
            follow_since_reset(r.fec_fail_count, r.fec_fail_baseline, r.fec_fail_since_reset);
            break;
        case 38:
            apply_modem_status(r, n, bits);
            break;
        case 39:
            r.down_link_mbps = n;
            break;
        case 40:
            r.up_link_mbps = n;
            break;
        case 41:
            r.drop_q1_count = bits;
            follow_since_reset(r.drop_q1_count, r.drop_q1_baseline, r.drop_q1_since_reset);
            break;
        case 42:
            r.drop_tx_count = bits;
            follow_since_reset(r.drop_tx_count, r.drop_tx_baseline, r.drop_tx_since_reset);
            break;
        default:  // 0, 1, 2, 11, 43 and names outside the catalog
            break;
    }
}

// The identifier sent for a row: up to and including its first zero, the
// instance sub-identifier.
int32_t requested_length(const CatalogRow& row) {
    for (int32_t i = 0; i < row.length; ++i) {
        if (row.ids[i] == 0) {
            return i + 1;
        }
    }
    return row.length;
}

}  // namespace

DeviceReadings& device_readings() {
    return process_readings;
}

void clear_status_fields(DeviceReadings& r) {
    r.modem_status = 0;
    r.mse_tenths_db = 0;
    r.up_link_mbps = 0;
    r.down_link_mbps = 0;
    r.frequency_offset_hz = 0;
    set_word(r.receiver_word, "no");
    set_word(r.quality_word, "no");
}

void clear_readings(DeviceReadings& r, int group) {
    if (group == kClearMeasurements) {
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
    } else if (group == kClearIdentification) {
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

bool apply_answer(DeviceReadings& readings, const SnmpMessage* answer) {
    if (answer == nullptr || answer->error_status != 0) {
        return false;
    }
    for (const VarBinding* b = answer->bindings; b != nullptr; b = b->next) {
        apply_binding(readings, *b);
    }
    return true;
}

bool answer_carries_rows(const SnmpMessage* answer, int first_index, int count) {
    if (answer == nullptr || count > kCatalogRows) {
        return false;
    }
    bool carried[kCatalogRows] = {};
    for (const VarBinding* b = answer->bindings; b != nullptr; b = b->next) {
        const int index = find_catalog_index(*b);
        if (index >= 0 && index < kCatalogRows) {
            carried[index] = true;
        }
    }
    for (int index = first_index; index < first_index + count; ++index) {
        if (index < 0 || index >= kCatalogRows || !carried[index]) {
            return false;
        }
    }
    return true;
}

bool fetch_parameters(AgentLink& link, DeviceReadings& readings, int first_index, int count) {
    if (first_index < 0 || count < 0 || first_index > kCatalogRows - count) {
        return false;
    }
    const MessagePtr request(msg_create(kPduGetRequest));
    if (request == nullptr) {
        return false;
    }
    for (int index = first_index; index < first_index + count; ++index) {
        const CatalogRow& row = kParameterCatalog.rows[index];
        if (msg_append_null_binding(request.get(), row.ids, requested_length(row)) == nullptr) {
            return false;
        }
    }
    const MessagePtr answer(exchange_request(link, request.get()));
    return answer != nullptr && answer->error_status == 0 &&
           answer_carries_rows(answer.get(), first_index, count) &&
           apply_answer(readings, answer.get());
}
