#include "answer_support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "device/parameter_catalog.h"
#include "snmp/agent_link.h"
#include "snmp/alloc.h"

std::vector<uint32_t> catalog_name(int index) {
    const CatalogRow& row = kParameterCatalog.rows[index];
    return std::vector<uint32_t>(row.ids, row.ids + row.length);
}

AnswerBinding number_at(int index, int32_t n, uint8_t tag) {
    return {catalog_name(index), tag, n, {}};
}

AnswerBinding text_at(int index, const std::string& octets) {
    return {catalog_name(index), kTagOctetString, 0, octets};
}

AnswerBinding empty_at(int index, uint8_t tag) {
    return {catalog_name(index), tag, 0, {}};
}

AnswerBinding number_named(std::vector<uint32_t> name, int32_t n) {
    return {std::move(name), kTagInteger, n, {}};
}

std::vector<uint8_t> encode_answer(const std::vector<AnswerBinding>& bindings, int32_t request_id,
                                   int32_t error_status) {
    MessagePtr message(msg_create(kPduGetResponse));
    EXPECT_NE(message, nullptr);
    message->request_id = request_id;
    message->error_status = error_status;
    message->error_index = 0;
    for (const AnswerBinding& b : bindings) {
        VarBinding* binding = msg_append_null_binding(message.get(), b.name.data(),
                                                      static_cast<int32_t>(b.name.size()));
        EXPECT_NE(binding, nullptr);
        if (b.tag == kTagOctetString) {
            binding_set_octets(binding, reinterpret_cast<const uint8_t*>(b.octets.data()),
                               static_cast<int32_t>(b.octets.size()));
        } else if (b.tag == kTagInteger || b.tag == kTagCounter32 || b.tag == kTagGauge32 ||
                   b.tag == kTagTimeTicks || b.tag == kTagUInteger32) {
            // The 4-octet block is the same for signed and unsigned tags.
            binding_set_int32(binding, b.number);
        } else if (b.tag == kTagCounter64) {
            // High word 0, low word the number.
            const uint32_t words[2] = {0, static_cast<uint32_t>(b.number)};
            binding->value = static_cast<uint8_t*>(snmp_alloc_zeroed(sizeof words));
            EXPECT_NE(binding->value, nullptr);
            if (binding->value != nullptr) {
                std::memcpy(binding->value, words, sizeof words);
                binding->value_length = sizeof words;
            }
        }
        binding->type = b.tag;
    }
    const AgentLink link;
    std::vector<uint8_t> datagram(kMaxDatagram);
    int32_t length = kMaxDatagram;
    EXPECT_EQ(msg_encode(link, message.get(), datagram.data(), &length), 0);
    datagram.resize(static_cast<size_t>(length));
    return datagram;
}

MessagePtr decoded_answer(const std::vector<AnswerBinding>& bindings, int32_t error_status) {
    const std::vector<uint8_t> datagram = encode_answer(bindings, 1, error_status);
    // The decoder wants a zero-filled message.
    MessagePtr answer(msg_create(0));
    answer->error_status = 0;
    answer->error_index = 0;
    EXPECT_EQ(msg_decode(answer.get(), datagram.data(), static_cast<int32_t>(datagram.size())), 0);
    return answer;
}

void apply_or_fail(DeviceReadings& readings, const std::vector<AnswerBinding>& bindings) {
    const MessagePtr answer = decoded_answer(bindings);
    EXPECT_TRUE(apply_answer(readings, answer.get()));
}

namespace {

class Describer {
public:
    template <typename T>
    void field(const char* name, T value) {
        text_ += name;
        text_ += '=';
        text_ += std::to_string(value);
        text_ += '\n';
    }
    void field(const char* name, double value) {
        char number[40];
        std::snprintf(number, sizeof number, "%.17g", value);
        text_ += name;
        text_ += '=';
        text_ += number;
        text_ += '\n';
    }
    // Up to the terminator; a missing one is flagged.
    template <size_t N>
    void text_field(const char* name, const char (&buffer)[N]) {
        text_ += name;
        text_ += "=\"";
        text_ += std::string(buffer, strnlen(buffer, N));
        text_ += '"';
        if (buffer[N - 1] != '\0') {
            text_ += " (unterminated)";
        }
        text_ += '\n';
    }
    void word_field(const char* name, const char* word) {
        text_ += name;
        text_ += "=\"";
        text_ += word;
        text_ += "\"\n";
    }
    // Each element of an array field, as "name[i]".
    template <typename T, size_t N>
    void elements(const char* name, const T (&values)[N]) {
        for (size_t i = 0; i < N; ++i) {
            field((std::string(name) + "[" + std::to_string(i) + "]").c_str(), values[i]);
        }
    }
    std::string text() const { return text_; }

private:
    std::string text_;
};

}  // namespace

std::string describe(const DeviceReadings& r) {
    Describer d;
    const char* const ids[] = {"id1", "id2", "id3", "id4", "id5", "id6", "id7", "id8"};
    for (int i = 0; i < kIdTextCount; ++i) {
        d.text_field(ids[i], r.id_text[i]);
    }
    d.elements("temperature", r.temperature);
    d.field("receiver_voltage", r.receiver_voltage);
    d.field("transmitter_voltage", r.transmitter_voltage);
    d.field("agc_voltage", r.agc_voltage);
    d.field("attenuation", r.attenuation);
    d.field("humidity", r.humidity);
    d.field("supply_24v", r.supply_24v);
    d.field("supply_12v", r.supply_12v);
    d.field("supply_9v", r.supply_9v);
    d.field("supply_minus_12v", r.supply_minus_12v);
    d.field("supply_5v", r.supply_5v);
    d.field("supply_3v3", r.supply_3v3);
    d.field("supply_5v_standby", r.supply_5v_standby);
    d.field("total_current", r.total_current);
    d.elements("control_state", r.control_state);
    d.field("phy_to_radio_rate", r.phy_to_radio_rate);
    d.field("radio_to_phy_rate", r.radio_to_phy_rate);
    d.field("phy_to_radio_total", r.phy_to_radio_total);
    d.field("radio_to_phy_total", r.radio_to_phy_total);
    d.field("fec_error_count", r.fec_error_count);
    d.field("frequency_offset_hz", r.frequency_offset_hz);
    d.field("fec_fail_count", r.fec_fail_count);
    d.field("fec_fail_baseline", r.fec_fail_baseline);
    d.field("fec_fail_since_reset", r.fec_fail_since_reset);
    d.field("packet_error_ratio", r.packet_error_ratio);
    d.field("modem_status", r.modem_status);
    d.field("mse_tenths_db", r.mse_tenths_db);
    d.word_field("receiver_lock", receiver_lock_word(r.receiver_lock));
    d.word_field("link_quality", link_quality_word(r.link_quality));
    d.field("down_link_mbps", r.down_link_mbps);
    d.field("up_link_mbps", r.up_link_mbps);
    d.field("drop_q1_count", r.drop_q1_count);
    d.field("drop_q1_baseline", r.drop_q1_baseline);
    d.field("drop_q1_since_reset", r.drop_q1_since_reset);
    d.field("drop_tx_count", r.drop_tx_count);
    d.field("drop_tx_baseline", r.drop_tx_baseline);
    d.field("drop_tx_since_reset", r.drop_tx_since_reset);
    d.field("family_rate_mbps", r.family_rate_mbps);
    d.elements("voltage_alarm", r.voltage_alarm);
    return d.text();
}

void fill_every_field(DeviceReadings& r) {
    for (int i = 0; i < kIdTextCount; ++i) {
        std::snprintf(r.id_text[i], kIdTextSize, "text %d", i + 1);
    }
    int32_t next = 101;
    for (int32_t& t : r.temperature) {
        t = next++;
    }
    for (int32_t* f : {&r.receiver_voltage, &r.transmitter_voltage, &r.agc_voltage, &r.attenuation,
                       &r.humidity, &r.supply_24v, &r.supply_12v, &r.supply_9v, &r.supply_minus_12v,
                       &r.supply_5v, &r.supply_3v3, &r.supply_5v_standby, &r.total_current,
                       &r.fec_error_count, &r.modem_status, &r.down_link_mbps, &r.up_link_mbps}) {
        *f = next++;
    }
    for (int32_t& s : r.control_state) {
        s = next++;
    }
    for (double* f : {&r.phy_to_radio_rate, &r.radio_to_phy_rate, &r.phy_to_radio_total,
                      &r.radio_to_phy_total, &r.frequency_offset_hz, &r.fec_fail_count,
                      &r.fec_fail_baseline, &r.fec_fail_since_reset, &r.packet_error_ratio}) {
        *f = next++ + 0.5;
    }
    for (uint32_t* f :
         {&r.mse_tenths_db, &r.drop_q1_count, &r.drop_q1_baseline, &r.drop_q1_since_reset,
          &r.drop_tx_count, &r.drop_tx_baseline, &r.drop_tx_since_reset}) {
        *f = static_cast<uint32_t>(next++);
    }
    r.receiver_lock = ReceiverLock::kLocked;
    r.link_quality = LinkQuality::kBad;
    r.family_rate_mbps = kFamily1000;
    for (int32_t& a : r.voltage_alarm) {
        a = 1;
    }
}
