// Message model and codec: byte-exact requests, and what answers decode to.
#include "snmp/message.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "hex.h"
#include "snmp/agent_link.h"
#include "snmp/alloc.h"

namespace {

using Bytes = std::vector<uint8_t>;

const uint32_t kSysDescr[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};

// An element with a minimal definite length, built independently of the
// codec under test.
Bytes tlv(uint8_t tag, const Bytes& content) {
    Bytes out{tag};
    const size_t n = content.size();
    if (n < 128) {
        out.push_back(static_cast<uint8_t>(n));
    } else if (n < 256) {
        out.insert(out.end(), {0x81, static_cast<uint8_t>(n)});
    } else {
        out.insert(out.end(), {0x82, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes binding(const char* name_hex, const char* value_hex) {
    return tlv(0x30, cat({from_hex(name_hex), from_hex(value_hex)}));
}

struct Answer {
    Bytes bindings;
    uint8_t pdu = 0xA2;
    const char* request_id = "02 01 01";
    const char* error_status = "02 01 00";
    const char* error_index = "02 01 00";
    const char* version = "02 01 00";
    std::string community = "quolen";
};

Bytes encode_answer(const Answer& a) {
    const Bytes pdu = tlv(a.pdu, cat({from_hex(a.request_id), from_hex(a.error_status),
                                      from_hex(a.error_index), tlv(0x30, a.bindings)}));
    return tlv(0x30, cat({from_hex(a.version), tlv(0x04, text(a.community)), pdu}));
}

// Decodes from an exactly-sized heap copy, so reads past the end are seen.
MessagePtr decode(const Bytes& octets, int* result) {
    MessagePtr message(static_cast<SnmpMessage*>(snmp_alloc_zeroed(sizeof(SnmpMessage))));
    std::unique_ptr<uint8_t[]> copy(new uint8_t[octets.size()]);
    if (!octets.empty()) {
        std::memcpy(copy.get(), octets.data(), octets.size());
    }
    *result = msg_decode(message.get(), copy.get(), static_cast<int32_t>(octets.size()));
    return message;
}

std::string encode(const SnmpMessage* message, const AgentLink& link = AgentLink()) {
    uint8_t out[kMaxDatagram];
    int32_t length = sizeof out;
    if (msg_encode(link, message, out, &length) != 0) {
        return "failed";
    }
    return to_hex(out, static_cast<size_t>(length));
}

std::vector<const VarBinding*> bindings_of(const SnmpMessage* m) {
    std::vector<const VarBinding*> out;
    for (const VarBinding* b = m->bindings; b != nullptr; b = b->next) {
        out.push_back(b);
    }
    return out;
}

// ---------------------------------------------------------------- encoding

TEST(Encode, GetRequestExampleIsExactly44Octets) {
    MessagePtr request(msg_create(kPduGetRequest));
    msg_append_null_binding(request.get(), kSysDescr, 9);
    request->request_id = 1;
    request->error_status = 0;
    request->error_index = 0;
    EXPECT_EQ(encode(request.get()),
              "30 82 00 28 02 01 00 04 06 71 75 6F 6C 65 6E A0 1B 02 01 01 02 01 00 02 01 00 "
              "30 10 30 82 00 0C 06 08 2B 06 01 02 01 01 01 00 05 00");
}

TEST(Encode, FreshMessageWritesMinusOneForBothErrorFields) {
    MessagePtr request(msg_create(kPduGetRequest));
    EXPECT_EQ(request->request_id, 0);
    EXPECT_EQ(request->error_status, -1);
    EXPECT_EQ(request->error_index, -1);
    EXPECT_EQ(request->bindings, nullptr);
    EXPECT_EQ(encode(request.get()),
              "30 82 00 18 02 01 00 04 06 71 75 6F 6C 65 6E A0 0B 02 01 00 02 01 FF 02 01 FF "
              "30 00");
}

TEST(Encode, SetValuesAreWrittenAsIntegerAndOctetString) {
    MessagePtr request(msg_create(kPduSetRequest));
    const uint32_t key[] = {1, 3, 6, 1, 4, 1, 47, 2, 1, 8, 0};
    const uint32_t radio[] = {1, 3, 6, 1, 4, 1, 47, 2, 5, 1, 0};
    ASSERT_EQ(binding_set_octets(msg_append_null_binding(request.get(), key, 11),
                                 reinterpret_cast<const uint8_t*>("abc"), 3),
              0);
    ASSERT_EQ(binding_set_int32(msg_append_null_binding(request.get(), radio, 11), 1), 0);
    request->request_id = 7;
    request->error_status = 0;
    request->error_index = 0;
    const std::string hex = encode(request.get());
    EXPECT_THAT(hex, testing::HasSubstr("06 0A 2B 06 01 04 01 2F 02 01 08 00 04 03 61 62 63"));
    EXPECT_THAT(hex, testing::HasSubstr("06 0A 2B 06 01 04 01 2F 02 05 01 00 02 01 01"));
    EXPECT_THAT(hex, testing::StartsWith("30 82 00 40 02 01 00 04 06 71 75 6F 6C 65 6E A3 33"));
}

TEST(Encode, TrapIsRefusedAndLengthLeftAlone) {
    MessagePtr trap(msg_create(kPduTrap));
    uint8_t out[64];
    int32_t length = sizeof out;
    EXPECT_EQ(msg_encode(AgentLink(), trap.get(), out, &length), -1);
    EXPECT_EQ(length, 64);
}

TEST(Encode, InvalidBindingsFailTheMessage) {
    const struct {
        const char* what;
        uint8_t type;
        Bytes value;
    } cases[] = {
        {"unknown type", 0x07, {}},
        {"integer of three octets", kTagInteger, {1, 2, 3}},
        {"counter of eight octets", kTagCounter32, Bytes(8, 0)},
        {"counter64 of four octets", kTagCounter64, Bytes(4, 0)},
        {"empty bit string", kTagBitString, {}},
        {"bit string with 8 unused bits", kTagBitString, {8, 0}},
    };
    for (const auto& c : cases) {
        MessagePtr m(msg_create(kPduSetRequest));
        VarBinding* b = msg_append_null_binding(m.get(), kSysDescr, 9);
        b->type = c.type;
        b->value_length = static_cast<int32_t>(c.value.size());
        if (!c.value.empty()) {
            b->value = static_cast<uint8_t*>(snmp_alloc_zeroed(c.value.size()));
            std::memcpy(b->value, c.value.data(), c.value.size());
        }
        EXPECT_EQ(encode(m.get()), "failed") << c.what;
    }
}

TEST(Encode, EveryCapacityBelowTheMessageFails) {
    MessagePtr request(msg_create(kPduGetRequest));
    msg_append_null_binding(request.get(), kSysDescr, 9);
    const std::string whole = encode(request.get());
    const auto n = static_cast<int32_t>(from_hex(whole).size());
    for (int32_t capacity = 0; capacity <= n; ++capacity) {
        std::unique_ptr<uint8_t[]> out(new uint8_t[static_cast<size_t>(capacity)]);
        int32_t length = capacity;
        const int result = msg_encode(AgentLink(), request.get(), out.get(), &length);
        if (capacity < n) {
            EXPECT_EQ(result, -1) << capacity;
            EXPECT_EQ(length, capacity);
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(length, n);
            EXPECT_EQ(to_hex(out.get(), static_cast<size_t>(n)), whole);
        }
    }
}

TEST(Encode, MessageLargerThanADatagramFails) {
    MessagePtr request(msg_create(kPduSetRequest));
    const Bytes big(1500, 'x');
    for (int i = 0; i < 3; ++i) {
        binding_set_octets(msg_append_null_binding(request.get(), kSysDescr, 9), big.data(),
                           static_cast<int32_t>(big.size()));
    }
    EXPECT_EQ(encode(request.get()), "failed");
}

TEST(Encode, LongCommunityGivesATrueOuterLength) {
    for (int32_t n : {127, 128, 200, 999}) {
        AgentLink link;
        std::memset(link.community, 'c', static_cast<size_t>(n));
        link.community_length = n;
        MessagePtr request(msg_create(kPduGetRequest));
        msg_append_null_binding(request.get(), kSysDescr, 9);
        const Bytes wire = from_hex(encode(request.get(), link));
        ASSERT_GT(wire.size(), 4u) << n;
        const size_t outer = (size_t{wire[2]} << 8) | wire[3];
        EXPECT_EQ(outer + 4, wire.size()) << "community of " << n;
        int result = 0;
        decode(wire, &result);
        EXPECT_EQ(result, n < 256 ? 0 : -1) << "the decoder reads communities up to 256 octets";
    }
}

TEST(Encode, VersionAndCommunityCanBeGivenWithoutALink) {
    MessagePtr request(msg_create(kPduGetRequest));
    const struct {
        const char* what;
        int32_t version;
        const char* community;
        int32_t length;
        const char* expected;
    } cases[] = {
        {"version 2c, public", 1, "public", 6,
         "30 82 00 18 02 01 01 04 06 70 75 62 6C 69 63 A0 0B 02 01 00 02 01 FF 02 01 FF 30 00"},
        {"empty community", 0, "", 0,
         "30 82 00 12 02 01 00 04 00 A0 0B 02 01 00 02 01 FF 02 01 FF 30 00"},
        {"no community octets at all", 0, nullptr, 0,
         "30 82 00 12 02 01 00 04 00 A0 0B 02 01 00 02 01 FF 02 01 FF 30 00"},
        {"length without octets", 0, nullptr, 3, "failed"},
        {"negative length", 0, "public", -1, "failed"},
    };
    for (const auto& c : cases) {
        uint8_t out[kMaxDatagram];
        int32_t length = sizeof out;
        const int result = msg_encode(c.version, reinterpret_cast<const uint8_t*>(c.community),
                                      c.length, request.get(), out, &length);
        EXPECT_EQ(result == 0 ? to_hex(out, static_cast<size_t>(length)) : "failed", c.expected)
            << c.what;
        if (result != 0) {
            EXPECT_EQ(length, kMaxDatagram) << c.what;
        }
    }
}

TEST(Encode, CommunityLengthOutsideTheBufferIsRefused) {
    for (int32_t n : {-1, kLinkTextSize + 1}) {
        AgentLink link;
        link.community_length = n;
        MessagePtr request(msg_create(kPduGetRequest));
        EXPECT_EQ(encode(request.get(), link), "failed") << n;
    }
}

// ---------------------------------------------------------------- round trips

TEST(RoundTrip, EveryValueTypeDecodesToWhatWasEncoded) {
    const uint32_t oid_value[] = {1, 3, 6, 1, 4, 1, 47};
    const uint32_t c64[2] = {1, 0xFFFFFFFF};
    const uint32_t u32 = 4000000000u;
    const int32_t i32 = -123456;
    const struct {
        uint8_t type;
        Bytes value;
    } cases[] = {
        {kTagInteger,
         Bytes(reinterpret_cast<const uint8_t*>(&i32), reinterpret_cast<const uint8_t*>(&i32) + 4)},
        {kTagCounter32,
         Bytes(reinterpret_cast<const uint8_t*>(&u32), reinterpret_cast<const uint8_t*>(&u32) + 4)},
        {kTagGauge32, Bytes(4, 0)},
        {kTagTimeTicks, Bytes(4, 0xFF)},
        {kTagUInteger32, Bytes(4, 0x7F)},
        {kTagCounter64,
         Bytes(reinterpret_cast<const uint8_t*>(c64), reinterpret_cast<const uint8_t*>(c64) + 8)},
        {kTagOctetString, text("RL-KTR-350")},
        {kTagIpAddress, {192, 168, 1, 1}},
        {kTagOpaque, {}},
        {kTagObjectId, Bytes(reinterpret_cast<const uint8_t*>(oid_value),
                             reinterpret_cast<const uint8_t*>(oid_value) + sizeof oid_value)},
        {kTagNull, {}},
        {kTagNoSuchObject, {}},
        {kTagNoSuchInstance, {}},
        {kTagEndOfMibView, {}},
    };
    MessagePtr sent(msg_create(kPduGetResponse));
    sent->request_id = -5;
    sent->error_status = 2;
    sent->error_index = 3;
    for (const auto& c : cases) {
        VarBinding* b = msg_append_null_binding(sent.get(), oid_value, 7);
        b->type = c.type;
        b->value_length = static_cast<int32_t>(c.value.size());
        if (!c.value.empty()) {
            b->value = static_cast<uint8_t*>(snmp_alloc_zeroed(c.value.size()));
            std::memcpy(b->value, c.value.data(), c.value.size());
        }
    }
    int result = -1;
    MessagePtr got = decode(from_hex(encode(sent.get())), &result);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(got->pdu_type, kPduGetResponse);
    EXPECT_EQ(got->request_id, -5);
    EXPECT_EQ(got->error_status, 2);
    EXPECT_EQ(got->error_index, 3);
    const auto decoded = bindings_of(got.get());
    ASSERT_EQ(decoded.size(), std::size(cases));
    for (size_t i = 0; i < decoded.size(); ++i) {
        const VarBinding* b = decoded[i];
        SCOPED_TRACE(testing::Message() << "type 0x" << std::hex << int{cases[i].type});
        EXPECT_EQ(b->type, cases[i].type);
        EXPECT_EQ(std::vector<uint32_t>(b->name.ids, b->name.ids + b->name.count),
                  std::vector<uint32_t>(oid_value, oid_value + 7));
        EXPECT_EQ(b->value_length, static_cast<int32_t>(cases[i].value.size()));
        if (cases[i].value.empty() && b->type != kTagOctetString && b->type != kTagOpaque) {
            EXPECT_EQ(b->value, nullptr);
        } else {
            ASSERT_NE(b->value, nullptr);
            EXPECT_EQ(Bytes(b->value, b->value + b->value_length), cases[i].value);
        }
    }
}

// ---------------------------------------------------------------- decoding

TEST(Decode, AnswerWithNoBindings) {
    int result = -1;
    MessagePtr m = decode(encode_answer({}), &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(m->bindings, nullptr);
    EXPECT_EQ(m->pdu_type, 0xA2);
    EXPECT_EQ(m->request_id, 1);
}

TEST(Decode, AcceptsWhatTheEncoderNeverWrites) {
    const struct {
        const char* what;
        Answer answer;
    } cases[] = {
        {"version 1", {{}, 0xA2, "02 01 01", "02 01 00", "02 01 00", "02 01 01"}},
        {"version 2", {{}, 0xA2, "02 01 01", "02 01 00", "02 01 00", "02 01 02"}},
        {"other community", {{}, 0xA2, "02 01 01", "02 01 00", "02 01 00", "02 01 00", "x"}},
        {"pdu A0", {{}, 0xA0}},
        {"pdu A3", {{}, 0xA3}},
        {"integers with other tags", {{}, 0xA2, "41 01 01", "42 01 00", "43 01 00", "04 01 00"}},
    };
    for (const auto& c : cases) {
        int result = -1;
        decode(encode_answer(c.answer), &result);
        EXPECT_EQ(result, 0) << c.what;
    }
}

TEST(Decode, OctetsAfterTheMessageAreIgnored) {
    Bytes wire = encode_answer({binding("06 01 2B", "02 01 05")});
    wire.insert(wire.end(), {0xDE, 0xAD});
    int result = -1;
    MessagePtr m = decode(wire, &result);
    ASSERT_EQ(result, 0);
    ASSERT_NE(m->bindings, nullptr);
    EXPECT_EQ(m->bindings->next, nullptr);
}

TEST(Decode, ErrorStatusFFIsMinusOne) {
    Answer a;
    a.error_status = "02 01 FF";
    int result = -1;
    MessagePtr m = decode(encode_answer(a), &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(m->error_status, -1);
}

struct ValueCase {
    const char* description;
    const char* value;
    uint8_t type;
    int32_t length;
    const char* block;  // nullptr: no block
    bool past_limits;
};

TEST(Decode, ValuesAreHeldAsDocumented) {
    const ValueCase cases[] = {
        {"five octets and a terminator", "04 05 61 62 63 64 65", 0x04, 5, "61 62 63 64 65 00",
         false},
        {"empty octet string", "04 00", 0x04, 0, "00", false},
        {"ip address", "40 04 C0 A8 01 01", 0x40, 4, "C0 A8 01 01 00", false},
        {"no such object", "80 00", 0x80, 0, nullptr, false},
        {"end of mib view", "82 00", 0x82, 0, nullptr, false},
        {"null with content keeps its length", "05 02 00 00", 0x05, 2, nullptr, false},
        {"integer of five octets reads 0", "02 05 01 02 03 04 05", 0x02, 4, "00 00 00 00", true},
        {"counter of six octets reads 0", "41 06 00 01 02 03 04 05", 0x41, 4, "00 00 00 00", true},
        {"unsigned of five octets, the first 00", "47 05 00 FF FF FF FF", 0x47, 4, "FF FF FF FF",
         false},
        {"counter64 of nine octets reads 0", "46 09 01 00 00 00 00 00 00 00 00", 0x46, 8,
         "00 00 00 00 00 00 00 00", true},
        {"empty integer is malformed, held as 0", "02 00", 0x02, 4, "00 00 00 00", true},
        {"empty gauge is malformed, held as 0", "42 00", 0x42, 4, "00 00 00 00", true},
        {"empty counter64 is malformed, held as 0", "46 00", 0x46, 8, "00 00 00 00 00 00 00 00",
         true},
        {"empty identifier", "06 00", 0x06, 4, "00 00 00 00", false},
    };
    for (const auto& c : cases) {
        int result = -1;
        MessagePtr m = decode(encode_answer({binding("06 01 2B", c.value)}), &result);
        ASSERT_EQ(result, 0) << c.description;
        const VarBinding* b = m->bindings;
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->type, c.type) << c.description;
        EXPECT_EQ(b->value_length, c.length) << c.description;
        EXPECT_EQ(b->past_limits, c.past_limits) << c.description;
        if (c.block == nullptr) {
            EXPECT_EQ(b->value, nullptr) << c.description;
        } else {
            ASSERT_NE(b->value, nullptr) << c.description;
            const size_t n = from_hex(c.block).size();
            EXPECT_EQ(to_hex(b->value, n), c.block) << c.description;
        }
    }
}

TEST(Decode, NumbersAreHeldInHostOrder) {
    int result = -1;
    MessagePtr m = decode(encode_answer({cat({binding("06 01 2B", "02 02 FF 7F"),
                                              binding("06 01 2B", "41 05 00 FF FF FF FF"),
                                              binding("06 01 2B", "46 05 01 00 00 00 00")})}),
                          &result);
    ASSERT_EQ(result, 0);
    const auto b = bindings_of(m.get());
    ASSERT_EQ(b.size(), 3u);
    int32_t i = 0;
    uint32_t u = 0;
    uint32_t words[2] = {9, 9};
    std::memcpy(&i, b[0]->value, 4);
    std::memcpy(&u, b[1]->value, 4);
    std::memcpy(words, b[2]->value, 8);
    EXPECT_EQ(i, -129);
    EXPECT_EQ(u, 4294967295u);
    EXPECT_EQ(words[0], 1u);
    EXPECT_EQ(words[1], 0u);
    EXPECT_EQ(b[2]->value_length, 8);
}

TEST(Decode, UnknownValueTypeIsReportedAndSkipped) {
    testing::internal::CaptureStderr();
    int result = -1;
    MessagePtr m = decode(
        encode_answer({cat({binding("06 01 2B", "03 02 00 FF"), binding("06 01 2B", "02 01 07")})}),
        &result);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "bad type returned (3)\n");
    ASSERT_EQ(result, 0);
    const auto b = bindings_of(m.get());
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[0]->value, nullptr);
    EXPECT_EQ(b[0]->value_length, 2);
    EXPECT_EQ(b[1]->type, kTagInteger);
}

TEST(Decode, WrongVersionIsReported) {
    Answer a;
    a.version = "02 01 03";
    testing::internal::CaptureStderr();
    int result = 0;
    decode(encode_answer(a), &result);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Wrong version: 3\n");
    EXPECT_EQ(result, -1);
}

TEST(Decode, TrapIsRefusedButItsTagIsKept) {
    Answer a;
    a.pdu = 0xA4;
    int result = 0;
    MessagePtr m = decode(encode_answer(a), &result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(m->pdu_type, 0xA4);
}

TEST(Decode, IdentifiersOfMoreThan128SubIdentifiersFail) {
    const auto name_of = [](int sub_ids) {
        return tlv(0x06, cat({{0x2B}, Bytes(static_cast<size_t>(sub_ids - 2), 0x01)}));
    };
    for (int n : {127, 128, 129, 200}) {
        int result = 0;
        decode(encode_answer({tlv(0x30, cat({name_of(n), from_hex("05 00")}))}), &result);
        EXPECT_EQ(result, n <= 128 ? 0 : -1) << "name of " << n;
        decode(encode_answer({tlv(0x30, cat({from_hex("06 01 2B"), name_of(n)}))}), &result);
        EXPECT_EQ(result, n <= 128 ? 0 : -1) << "value of " << n;
    }
}

TEST(Decode, MalformedMessagesFail) {
    const Bytes ok_binding = binding("06 01 2B", "05 00");
    const struct {
        const char* what;
        Bytes wire;
    } cases[] = {
        {"outer not a sequence", tlv(0x31, {})},
        {"indefinite outer length", from_hex("30 80 02 01 00 00 00")},
        {"five length octets", from_hex("30 85 00 00 00 00 03 02 01 00")},
        {"version of five octets", tlv(0x30, from_hex("02 05 00 00 00 00 00"))},
        {"community too long for its area",
         tlv(0x30, cat({from_hex("02 01 00"), tlv(0x04, Bytes(257, 'c'))}))},
        {"pdu high tag number", tlv(0x30, cat({from_hex("02 01 00 04 00"), tlv(0xBF, {})}))},
        {"request id of five octets", encode_answer({{}, 0xA2, "02 05 00 00 00 00 01"})},
        {"bindings not a sequence",
         tlv(0x30, cat({from_hex("02 01 00 04 00"),
                        tlv(0xA2, cat({from_hex("02 01 01 02 01 00 02 01 00"), tlv(0x31, {})}))}))},
        {"binding not a sequence", encode_answer({tlv(0x31, from_hex("06 01 2B 05 00"))})},
        {"name not an identifier", encode_answer({tlv(0x30, from_hex("04 01 2B 05 00"))})},
        {"value header missing", encode_answer({tlv(0x30, from_hex("06 01 2B"))})},
        {"value past its binding",
         encode_answer({cat({tlv(0x30, from_hex("06 01 2B 04 05")), from_hex("61 62 63 64 65")})})},
        {"second binding broken", encode_answer({cat({ok_binding, from_hex("30 03 06 01")})})},
    };
    for (const auto& c : cases) {
        int result = 0;
        decode(c.wire, &result);
        EXPECT_EQ(result, -1) << c.what;
    }
}

TEST(Decode, EveryTruncatedPrefixFails) {
    const Bytes wire = encode_answer({cat({binding("06 08 2B 06 01 02 01 01 01 00", "04 02 61 62"),
                                           binding("06 01 2B", "46 01 01")})});
    for (size_t n = 0; n < wire.size(); ++n) {
        int result = 0;
        decode(Bytes(wire.begin(), wire.begin() + static_cast<long>(n)), &result);
        EXPECT_EQ(result, -1) << "prefix of " << n;
    }
}

TEST(PeekRequestId, ReadsOnlyTheHeaderPart) {
    Answer id_256;
    id_256.request_id = "02 02 01 00";
    Answer version_3;
    version_3.version = "02 01 03";
    const auto message_with_pdu = [](const char* content) {
        return tlv(0x30, cat({from_hex("02 01 00"), tlv(0x04, text("quolen")),
                              tlv(0xA2, from_hex(content))}));
    };
    const struct {
        const char* what;
        Bytes wire;
        int result;
        int32_t id;
    } cases[] = {
        {"an answer", encode_answer(id_256), 0, 256},
        {"nothing after the request id", message_with_pdu("02 01 07"), 0, 7},
        {"a version the decoder refuses", encode_answer(version_3), 0, 1},
        {"a trap", encode_answer({{}, 0xA4, "02 01 05"}), 0, 5},
        {"no request id", from_hex("30 03 02 01 00"), -1, 0},
        {"request id past its PDU", message_with_pdu("02 01"), -1, 0},
    };
    for (const auto& c : cases) {
        std::unique_ptr<uint8_t[]> copy(new uint8_t[c.wire.size()]);
        std::memcpy(copy.get(), c.wire.data(), c.wire.size());
        int32_t id = 0;
        EXPECT_EQ(msg_peek_request_id(copy.get(), static_cast<int32_t>(c.wire.size()), &id),
                  c.result)
            << c.what;
        EXPECT_EQ(id, c.id) << c.what;
    }
}

// ---------------------------------------------------------------- memory

TEST(OutOfMemory, BuildersReturnNullAndKeepTheMessageWhole) {
    snmp_fail_allocation_after(1);
    EXPECT_EQ(msg_create(kPduGetRequest), nullptr);

    MessagePtr m(msg_create(kPduGetRequest));
    for (int k = 1; k <= 2; ++k) {
        snmp_fail_allocation_after(k);
        EXPECT_EQ(msg_append_null_binding(m.get(), kSysDescr, 9), nullptr) << k;
        EXPECT_EQ(m->bindings, nullptr);
    }
    snmp_fail_allocation_after(0);
    VarBinding* b = msg_append_null_binding(m.get(), kSysDescr, 9);
    snmp_fail_allocation_after(1);
    EXPECT_EQ(binding_set_int32(b, 5), -1);
    snmp_fail_allocation_after(1);
    EXPECT_EQ(binding_set_octets(b, reinterpret_cast<const uint8_t*>("k"), 1), -1);
    snmp_fail_allocation_after(0);
    EXPECT_EQ(b->type, kTagNull);
    EXPECT_EQ(b->value, nullptr);
    EXPECT_EQ(msg_append_null_binding(nullptr, kSysDescr, 9), nullptr);
    EXPECT_EQ(binding_set_int32(nullptr, 1), -1);
    msg_free(nullptr);
}

TEST(OutOfMemory, DecoderFailsCleanlyAtEveryAllocation) {
    const Bytes wire =
        encode_answer({cat({binding("06 01 2B", "04 02 61 62"), binding("06 01 2B", "06 02 2B 06"),
                            binding("06 01 2B", "46 01 01"), binding("06 01 2B", "02 01 01")})});
    // Each binding takes one block, its record, name and value together, and
    // the decoder makes no other: failing the fifth allocation fails nothing.
    for (int k = 1; k <= 5; ++k) {
        MessagePtr m(static_cast<SnmpMessage*>(snmp_alloc_zeroed(sizeof(SnmpMessage))));
        snmp_fail_allocation_after(k);
        EXPECT_EQ(msg_decode(m.get(), wire.data(), static_cast<int32_t>(wire.size())),
                  k <= 4 ? kDecodeOutOfMemory : 0)
            << "allocation " << k;
        snmp_fail_allocation_after(0);
    }
}

TEST(Memory, NamesAndValuesAreReplacedWhereverTheyLive) {
    // A decoded binding holds its name and value in its own block, a built
    // one in blocks of their own; either is renamed and given a new value
    // the same way, and freed whole (AddressSanitizer sees a wrong release).
    const Bytes wire = encode_answer({binding("06 01 2B", "04 02 61 62")});
    const uint32_t key[] = {1, 3, 6, 1, 4, 1, 47, 2, 1, 8, 0};
    for (const bool decoded : {true, false}) {
        SCOPED_TRACE(decoded ? "decoded" : "built");
        int result = 0;
        MessagePtr m = decoded ? decode(wire, &result) : MessagePtr(msg_create(kPduGetResponse));
        ASSERT_EQ(result, 0);
        if (!decoded) {
            binding_set_octets(msg_append_null_binding(m.get(), kSysDescr, 9),
                               reinterpret_cast<const uint8_t*>("ab"), 2);
        }
        VarBinding* b = m->bindings;
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(binding_set_name(b, nullptr, 2), -1);
        EXPECT_EQ(b->name.ids[0], 1u);
        ASSERT_EQ(binding_set_name(b, key, 11), 0);
        binding_clear_value(b);
        EXPECT_EQ(b->type, kTagNull);
        EXPECT_EQ(b->value, nullptr);
        EXPECT_EQ(b->value_length, 0);
        ASSERT_EQ(binding_set_octets(b, reinterpret_cast<const uint8_t*>("xyz"), 3), 0);
        EXPECT_THAT(encode(m.get()),
                    testing::HasSubstr("30 82 00 11 06 0A 2B 06 01 04 01 2F 02 01 08 00 04 03 78 "
                                       "79 7A"));
    }
}

TEST(ErrorStatus, NamesAreTheStandardOnes) {
    const struct {
        int32_t status;
        const char* name;
    } cases[] = {{1, "tooBig"}, {2, "noSuchName"}, {3, "badValue"}, {4, "readOnly"},
                 {5, "genErr"}, {0, "error 0"},    {6, "error 6"},  {-1, "error -1"}};
    for (const auto& c : cases) {
        EXPECT_EQ(error_status_name(c.status), c.name);
    }
}

}  // namespace
