// BER writers: each table row is one call and the exact octets it must
// write. Every row is tried with every buffer size from 0 to n + 1.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hex.h"
#include "snmp/ber.h"
#include "test_names.h"

namespace {

using Writer = std::function<uint8_t*(uint8_t* pos, int32_t* space)>;
// Reads the element back and says whether it gives the written value.
using ReadBack = std::function<bool(const uint8_t* pos, int32_t size)>;

struct WriteCase {
    std::string description;
    Writer write;
    std::string expected;
    ReadBack read_back;
};

void PrintTo(const WriteCase& c, std::ostream* os) {
    *os << c.description;
}

class Write : public testing::TestWithParam<WriteCase> {};

TEST_P(Write, WritesExactOctetsOnlyWhenTheyFit) {
    const WriteCase& c = GetParam();
    const auto expected = from_hex(c.expected);
    const auto n = static_cast<int32_t>(expected.size());
    for (int32_t size = 0; size <= n + 1; ++size) {
        std::unique_ptr<uint8_t[]> out(new uint8_t[static_cast<size_t>(size)]);
        int32_t space = size;
        uint8_t* end = c.write(out.get(), &space);
        if (size < n) {
            EXPECT_EQ(end, nullptr) << "buffer of " << size;
            continue;
        }
        ASSERT_NE(end, nullptr) << "buffer of " << size;
        EXPECT_EQ(end - out.get(), n);
        EXPECT_EQ(space, size - n);
        EXPECT_EQ(to_hex(out.get(), static_cast<size_t>(n)), to_hex(expected));
        if (c.read_back) {
            EXPECT_TRUE(c.read_back(out.get(), n)) << "read-back differs";
        }
    }
}

WriteCase length(int32_t value, const char* expected) {
    return {"length " + std::to_string(value),
            [=](uint8_t* p, int32_t* s) { return tlv_write_length(p, s, value); }, expected,
            [=](const uint8_t* p, int32_t) {
                uint32_t got = 0;
                return tlv_read_length(p, &got) != nullptr && got == static_cast<uint32_t>(value);
            }};
}

WriteCase int32(int32_t value, const char* expected) {
    return {"int " + std::to_string(value),
            [=](uint8_t* p, int32_t* s) { return tlv_write_int32(p, s, 0x02, &value, 4); },
            expected,
            [=](const uint8_t* p, int32_t size) {
                int32_t got = 0;
                uint8_t tag = 0;
                return tlv_read_int32(p, &size, &tag, &got, 4) != nullptr && got == value;
            }};
}

WriteCase uint32(uint32_t value, const char* expected) {
    return {"uint " + std::to_string(value),
            [=](uint8_t* p, int32_t* s) { return tlv_write_uint32(p, s, 0x41, &value, 4); },
            expected,
            [=](const uint8_t* p, int32_t size) {
                uint32_t got = 0;
                uint8_t tag = 0;
                return tlv_read_uint32(p, &size, &tag, &got, 4) != nullptr && got == value;
            }};
}

WriteCase counter64(uint32_t high, uint32_t low, const char* expected) {
    return {"c64 " + std::to_string(high) + " " + std::to_string(low),
            [=](uint8_t* p, int32_t* s) {
                const uint32_t words[2] = {high, low};
                return tlv_write_counter64(p, s, 0x46, words, 8);
            },
            expected,
            [=](const uint8_t* p, int32_t size) {
                uint32_t got[2] = {0, 0};
                uint8_t tag = 0;
                return tlv_read_counter64(p, &size, &tag, got, 8) != nullptr && got[0] == high &&
                       got[1] == low;
            }};
}

WriteCase oid(const char* description, std::vector<uint32_t> ids, const char* expected,
              bool reads_back = true) {
    ReadBack back;
    if (reads_back) {
        back = [=](const uint8_t* p, int32_t size) {
            uint32_t got[64];
            int32_t count = 64;
            uint8_t tag = 0;
            return tlv_read_oid(p, &size, &tag, got, &count) != nullptr &&
                   std::vector<uint32_t>(got, got + count) == ids;
        };
    }
    return {std::string("oid ") + description,
            [=](uint8_t* p, int32_t* s) {
                return tlv_write_oid(p, s, 0x06, ids.data(), static_cast<int32_t>(ids.size()));
            },
            expected, back};
}

WriteCase octets(const char* description, uint8_t tag, const char* content, bool bits = false) {
    const auto source = from_hex(content);
    return {std::string(bits ? "bits " : "octets ") + description,
            [=](uint8_t* p, int32_t* s) {
                const auto n = static_cast<int32_t>(source.size());
                return bits ? tlv_write_bits(p, s, tag, source.data(), n)
                            : tlv_write_octets(p, s, tag, source.data(), n);
            },
            to_hex({tag, static_cast<uint8_t>(source.size())}) + " " + content, nullptr};
}

std::vector<WriteCase> write_cases() {
    return {
        length(0, "00"),
        length(127, "7F"),
        length(128, "81 80"),
        length(255, "81 FF"),
        length(256, "82 01 00"),
        length(65535, "82 FF FF"),
        {"header short", [](uint8_t* p, int32_t* s) { return tlv_write_header(p, s, 0x30, 12); },
         "30 0C", nullptr},
        {"header 200", [](uint8_t* p, int32_t* s) { return tlv_write_header(p, s, 0xA2, 200); },
         "A2 81 C8", nullptr},
        {"header 300", [](uint8_t* p, int32_t* s) { return tlv_write_header(p, s, 0x30, 300); },
         "30 82 01 2C", nullptr},
        {"fixed header 12",
         [](uint8_t* p, int32_t* s) { return tlv_write_fixed_header(p, s, 0x30, 12); },
         "30 82 00 0C", nullptr},
        {"fixed header 4500",
         [](uint8_t* p, int32_t* s) { return tlv_write_fixed_header(p, s, 0x30, 4500); },
         "30 82 11 94", nullptr},
        int32(0, "02 01 00"),
        int32(127, "02 01 7F"),
        int32(128, "02 02 00 80"),
        int32(256, "02 02 01 00"),
        int32(-1, "02 01 FF"),
        int32(-128, "02 01 80"),
        int32(-129, "02 02 FF 7F"),
        int32(2147483647, "02 04 7F FF FF FF"),
        int32(-2147483647 - 1, "02 04 80 00 00 00"),
        int32(8388608, "02 04 00 80 00 00"),
        uint32(0, "41 01 00"),
        uint32(127, "41 01 7F"),
        uint32(128, "41 02 00 80"),
        uint32(255, "41 02 00 FF"),
        uint32(2147483647u, "41 04 7F FF FF FF"),
        uint32(2147483648u, "41 05 00 80 00 00 00"),
        uint32(4294967295u, "41 05 00 FF FF FF FF"),
        counter64(0xFF000000u, 0, "46 09 00 FF 00 00 00 00 00 00 00"),
        counter64(0xFFFFFFFFu, 0xFFFFFFFFu, "46 09 00 FF FF FF FF FF FF FF FF"),
        counter64(0, 1, "46 01 01"),
        counter64(0, 128, "46 02 00 80"),
        counter64(0, 0, "46 01 00"),
        counter64(1, 0, "46 05 01 00 00 00 00"),
        octets("three", 0x04, "61 62 63"),
        octets("empty", 0x04, ""),
        octets("ip address", 0x40, "C0 A8 01 01"),
        octets("zero unused bits", 0x03, "00 FF", true),
        octets("seven unused bits", 0x03, "07 80", true),
        {"null", [](uint8_t* p, int32_t* s) { return tlv_write_null(p, s, 0x05); }, "05 00",
         nullptr},
        {"no such object", [](uint8_t* p, int32_t* s) { return tlv_write_null(p, s, 0x80); },
         "80 00", nullptr},
        oid("sysDescr", {1, 3, 6, 1, 2, 1, 1, 1, 0}, "06 08 2B 06 01 02 01 01 01 00"),
        oid("127", {1, 3, 127}, "06 02 2B 7F"),
        oid("128", {1, 3, 128}, "06 03 2B 81 00"),
        oid("16383", {1, 3, 16383}, "06 03 2B FF 7F"),
        oid("16384", {1, 3, 16384}, "06 04 2B 81 80 00"),
        oid("268435456", {1, 3, 268435456}, "06 06 2B 81 80 80 80 00"),
        oid("4294967295", {1, 3, 4294967295u}, "06 06 2B 8F FF FF FF 7F"),
        oid("count zero", {}, "06 01 00", false),
        oid("count one", {1}, "06 01 00", false),
        oid("enterprise row", {1, 3, 6, 1, 4, 1, 47, 2, 6, 9, 0},
            "06 0A 2B 06 01 04 01 2F 02 06 09 00"),
    };
}
INSTANTIATE_TEST_SUITE_P(Table, Write, testing::ValuesIn(write_cases()),
                         [](const auto& info) { return case_name(info.param.description); });

TEST(WriteRefusals, InvalidArgumentsGiveNull) {
    uint8_t out[64];
    const int32_t v = 1;
    const uint32_t u = 1;
    const uint32_t words[2] = {0, 1};
    const uint8_t eight_unused[] = {0x08, 0xFF};
    const struct {
        const char* what;
        std::function<uint8_t*(int32_t*)> write;
    } cases[] = {
        {"int size 8", [&](int32_t* s) { return tlv_write_int32(out, s, 0x02, &v, 8); }},
        {"uint size 2", [&](int32_t* s) { return tlv_write_uint32(out, s, 0x41, &u, 2); }},
        {"c64 size 4", [&](int32_t* s) { return tlv_write_counter64(out, s, 0x46, words, 4); }},
        {"bits first octet 8",
         [&](int32_t* s) { return tlv_write_bits(out, s, 0x03, eight_unused, 2); }},
        {"bits empty", [&](int32_t* s) { return tlv_write_bits(out, s, 0x03, eight_unused, 0); }},
        {"length 65536", [&](int32_t* s) { return tlv_write_length(out, s, 65536); }},
        {"negative length", [&](int32_t* s) { return tlv_write_header(out, s, 0x30, -1); }},
        {"octets longer than the counter",
         [&](int32_t* s) { return tlv_write_octets(out, s, 0x04, out, 100); }},
    };
    for (const auto& c : cases) {
        int32_t space = sizeof out;
        EXPECT_EQ(c.write(&space), nullptr) << c.what;
    }
}

TEST(WriteRefusals, FixedHeaderWithoutRoomLeavesTheCounter) {
    uint8_t out[4];
    int32_t space = 3;
    EXPECT_EQ(tlv_write_fixed_header(out, &space, 0x30, 12), nullptr);
    EXPECT_EQ(space, 3);
}

TEST(WriteRefusals, IdentifierLongerThanTheScratchAreaIsRefused) {
    // After the first octet each of these takes five octets: 1 + 25 * 5 = 126
    // fits the 128-octet area, 1 + 26 * 5 = 131 does not.
    std::vector<uint32_t> ids = {1, 3};
    ids.resize(27, 0xFFFFFFFFu);
    uint8_t out[512];
    int32_t space = sizeof out;
    uint8_t* end = tlv_write_oid(out, &space, 0x06, ids.data(), 27);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(end - out, 2 + 126);
    ids.push_back(0xFFFFFFFFu);
    space = sizeof out;
    EXPECT_EQ(tlv_write_oid(out, &space, 0x06, ids.data(), 28), nullptr);
}

TEST(WriteRefusals, IdentifierOfOneOctetArcsLongerThanTheScratchAreaIsRefused) {
    // 1 + 127 one-octet arcs fill the 128-octet area exactly; one more does not fit.
    std::vector<uint32_t> ids = {1, 3};
    ids.resize(129, 0x7F);
    uint8_t out[512];
    int32_t space = sizeof out;
    uint8_t* end = tlv_write_oid(out, &space, 0x06, ids.data(), 129);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(end - out, 3 + 128);
    ids.push_back(0);
    space = sizeof out;
    EXPECT_EQ(tlv_write_oid(out, &space, 0x06, ids.data(), 130), nullptr);
}

}  // namespace
