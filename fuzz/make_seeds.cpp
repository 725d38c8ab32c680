// Writes the seed corpora of the fuzz targets: answers as a transceiver
// sends them, built as messages and encoded with the console's own encoder.
//
//   make_seeds DIR
//
// DIR/fuzz_msg_decode/NAME holds the datagram; DIR/fuzz_receive/NAME holds the
// control octets 00 00 (from the agent, the awaited id, held whole, no
// allocation failure) and then the same datagram. Both directories must
// exist.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "snmp/agent_link.h"
#include "snmp/alloc.h"
#include "snmp/message.h"

namespace {

using Name = std::initializer_list<uint32_t>;

// Identifiers under the device's enterprise subtree: 1.3.6.1.4.1.47.2.G.N.0.
std::vector<uint32_t> device_oid(uint32_t group, uint32_t n) {
    return {1, 3, 6, 1, 4, 1, 47, 2, group, n, 0};
}

VarBinding* add(SnmpMessage* message, const std::vector<uint32_t>& name) {
    return msg_append_null_binding(message, name.data(), static_cast<int32_t>(name.size()));
}

// Gives `binding` a value of any type, held as the message model describes.
void set_value(VarBinding* binding, uint8_t type, const void* bytes, int32_t length) {
    binding->type = type;
    if (length > 0) {
        binding->value = static_cast<uint8_t*>(snmp_alloc_zeroed(static_cast<size_t>(length)));
        std::memcpy(binding->value, bytes, static_cast<size_t>(length));
    }
    binding->value_length = length;
}

void set_uint32(VarBinding* binding, uint8_t type, uint32_t value) {
    set_value(binding, type, &value, sizeof value);
}

void set_counter64(VarBinding* binding, uint64_t value) {
    const uint32_t words[2] = {static_cast<uint32_t>(value >> 32), static_cast<uint32_t>(value)};
    set_value(binding, kTagCounter64, words, sizeof words);
}

void set_text(VarBinding* binding, const char* text) {
    binding_set_octets(binding, reinterpret_cast<const uint8_t*>(text),
                       static_cast<int32_t>(std::strlen(text)));
}

SnmpMessage* response(int32_t request_id, int32_t error_status, int32_t error_index) {
    SnmpMessage* message = msg_create(kPduGetResponse);
    message->request_id = request_id;
    message->error_status = error_status;
    message->error_index = error_index;
    return message;
}

// Every value type the decoder reads, the exception values included.
SnmpMessage* answer_with_every_type() {
    SnmpMessage* m = response(7, 0, 0);
    set_text(add(m, device_oid(1, 2)), "RLX-1000 TQM rev 4");
    binding_set_int32(add(m, device_oid(2, 2)), 2350);
    binding_set_int32(add(m, device_oid(4, 4)), -11980);
    set_uint32(add(m, device_oid(6, 4)), kTagCounter32, 4000000000u);
    set_uint32(add(m, device_oid(6, 5)), kTagGauge32, 3);
    set_uint32(add(m, {1, 3, 6, 1, 2, 1, 1, 3, 0}), kTagTimeTicks, 8640000);
    set_counter64(add(m, {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 6, 1}), 0x0000012345678901ull);
    const uint32_t object[] = {1, 3, 6, 1, 4, 1, 47, 2, 200};
    set_value(add(m, {1, 3, 6, 1, 2, 1, 1, 2, 0}), kTagObjectId, object, sizeof object);
    const uint8_t address[] = {192, 168, 1, 1};
    set_value(add(m, {1, 3, 6, 1, 2, 1, 4, 20, 1, 1, 192, 168, 1, 1}), kTagIpAddress, address,
              sizeof address);
    set_value(add(m, device_oid(2, 1)), kTagNoSuchObject, nullptr, 0);
    set_value(add(m, device_oid(7, 1)), kTagNoSuchInstance, nullptr, 0);
    set_value(add(m, device_oid(9, 9)), kTagEndOfMibView, nullptr, 0);
    return m;
}

// One poll's traffic-and-status answer: INTEGER and Counter32 values.
SnmpMessage* answer_to_poll() {
    SnmpMessage* m = response(1234, 0, 0);
    const uint32_t counters[] = {0, 0, 0, 1, 0, 0, 0, 1, 1};
    const int32_t values[] = {41250, 39811, 17, 123456789, 0x1F3, 350, 350, 2048, 977};
    for (uint32_t n = 1; n <= 9; ++n) {
        VarBinding* b = add(m, device_oid(6, n));
        if (counters[n - 1] != 0) {
            set_uint32(b, kTagCounter32, static_cast<uint32_t>(values[n - 1]));
        } else {
            binding_set_int32(b, values[n - 1]);
        }
    }
    return m;
}

// noSuchName for the second binding; the names come back with NULL values.
SnmpMessage* answer_with_error_status() {
    SnmpMessage* m = response(42, 2, 2);
    for (uint32_t n = 2; n <= 4; ++n) {
        add(m, device_oid(2, n));
    }
    return m;
}

SnmpMessage* answer_without_bindings() {
    return response(0x7FFFFFFF, 0, 0);
}

bool write_file(const std::string& path, const std::vector<uint8_t>& octets) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::perror(path.c_str());
        return false;
    }
    const bool ok = std::fwrite(octets.data(), 1, octets.size(), f) == octets.size();
    return std::fclose(f) == 0 && ok;
}

bool write_seed(const std::string& dir, const char* name, SnmpMessage* message, int32_t version) {
    AgentLink link;
    link.version = version;
    std::vector<uint8_t> datagram(kMaxDatagram);
    int32_t length = kMaxDatagram;
    const bool encoded =
        message != nullptr && msg_encode(link, message, datagram.data(), &length) == 0;
    msg_free(message);
    if (!encoded) {
        std::fprintf(stderr, "make_seeds: %s does not encode\n", name);
        return false;
    }
    datagram.resize(static_cast<size_t>(length));
    std::vector<uint8_t> framed{0x00, 0x00};
    framed.insert(framed.end(), datagram.begin(), datagram.end());
    return write_file(dir + "/fuzz_msg_decode/" + name, datagram) &&
           write_file(dir + "/fuzz_receive/" + name, framed);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    // The exception values belong to SNMP version 2c, so that answer says so.
    const bool ok = write_seed(dir, "answer_every_type", answer_with_every_type(), 1) &&
                    write_seed(dir, "answer_poll", answer_to_poll(), 0) &&
                    write_seed(dir, "answer_error_status_2", answer_with_error_status(), 0) &&
                    write_seed(dir, "answer_no_bindings", answer_without_bindings(), 0);
    return ok ? 0 : 1;
}
