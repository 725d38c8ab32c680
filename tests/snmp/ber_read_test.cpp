// BER readers: each table row is one encoding and what reading it must give.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "hex.h"
#include "snmp/ber.h"
#include "test_names.h"

namespace {

// The octets in a heap block of exactly their size (none for no octets), so
// AddressSanitizer sees any read past the end.
struct ExactBuffer {
    explicit ExactBuffer(const std::vector<uint8_t>& octets)
        : data(new uint8_t[octets.size()]), size(octets.size()) {
        if (!octets.empty()) {
            std::memcpy(data.get(), octets.data(), octets.size());
        }
    }
    std::unique_ptr<uint8_t[]> data;
    size_t size;
};

// ---------------------------------------------------------------- lengths

struct LengthCase {
    const char* description;
    const char* octets;
    bool ok;
    uint32_t length;
    int consumed;
};

void PrintTo(const LengthCase& c, std::ostream* os) {
    *os << c.description;
}

class ReadLength : public testing::TestWithParam<LengthCase> {};

TEST_P(ReadLength, GivesLengthAndPosition) {
    const LengthCase& c = GetParam();
    ExactBuffer in(from_hex(c.octets));
    uint32_t length = 0xDEAD;
    const uint8_t* end = tlv_read_length(in.data.get(), &length);
    if (!c.ok) {
        EXPECT_EQ(end, nullptr);
        return;
    }
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(end - in.data.get(), c.consumed);
    EXPECT_EQ(length, c.length);
}

const LengthCase kLengthCases[] = {
    {"short form", "05", true, 5, 1},
    {"longest short form", "7F", true, 127, 1},
    {"one length octet", "81 80", true, 128, 2},
    {"non-minimal one octet", "81 05", true, 5, 2},
    {"non-minimal two octets", "82 00 05", true, 5, 3},
    {"non-minimal four octets", "84 00 00 00 05", true, 5, 5},
    {"two length octets", "82 01 00", true, 256, 3},
    {"four octets all ones", "84 FF FF FF FF", true, 4294967295u, 5},
    {"indefinite form", "80", false, 0, 0},
    {"five length octets", "85 00 00 00 00 05", false, 0, 0},
    {"seven-bit count 7F", "FF", false, 0, 0},
};
INSTANTIATE_TEST_SUITE_P(Table, ReadLength, testing::ValuesIn(kLengthCases),
                         [](const auto& info) { return case_name(info.param.description); });

// ---------------------------------------------------------------- headers

struct HeaderCase {
    const char* description;
    const char* octets;
    int32_t counter;  // kWhole: the number of octets given
    bool ok;
    uint8_t tag;
    int32_t content_length;
    int header_size;
};

constexpr int32_t kWhole = INT32_MIN;

void PrintTo(const HeaderCase& c, std::ostream* os) {
    *os << c.description;
}

class ReadHeader : public testing::TestWithParam<HeaderCase> {};

TEST_P(ReadHeader, SetsCounterToContentLength) {
    const HeaderCase& c = GetParam();
    ExactBuffer in(from_hex(c.octets));
    int32_t space = c.counter == kWhole ? static_cast<int32_t>(in.size) : c.counter;
    uint8_t tag = 0;
    const uint8_t* content = tlv_read_header(in.data.get(), &space, &tag);
    if (!c.ok) {
        EXPECT_EQ(content, nullptr);
        return;
    }
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(tag, c.tag);
    EXPECT_EQ(space, c.content_length) << "the counter is the content length, not what is left";
    EXPECT_EQ(content - in.data.get(), c.header_size);
}

const HeaderCase kHeaderCases[] = {
    {"sequence", "30 03 02 01 00", kWhole, true, 0x30, 3, 2},
    {"octets after the element are not counted", "30 01 05 AA BB", kWhole, true, 0x30, 1, 2},
    {"long form length", "A2 81 02 05 00", kWhole, true, 0xA2, 2, 3},
    {"empty content", "30 00", kWhole, true, 0x30, 0, 2},
    {"high tag number 1F", "1F 01 00", kWhole, false, 0, 0, 0},
    {"high tag number 3F", "3F 01 00", kWhole, false, 0, 0, 0},
    {"counter zero", "30 00", 0, false, 0, 0, 0},
    {"counter negative", "30 00", -5, false, 0, 0, 0},
    {"content past the counter", "30 05 00 00", kWhole, false, 0, 0, 0},
    {"content past a smaller counter", "30 02 00 00 00", 3, false, 0, 0, 0},
    {"length that would wrap 32 bits", "30 84 FF FF FF FF 00", kWhole, false, 0, 0, 0},
    {"indefinite length", "30 80 00 00", kWhole, false, 0, 0, 0},
    {"length octets past the counter", "30 82 00", kWhole, false, 0, 0, 0},
    {"tag alone", "30", kWhole, false, 0, 0, 0},
};
INSTANTIATE_TEST_SUITE_P(Table, ReadHeader, testing::ValuesIn(kHeaderCases),
                         [](const auto& info) { return case_name(info.param.description); });

// The valid rows only: a prefix of an invalid one may well be valid.
class ReadHeaderPrefix : public testing::TestWithParam<HeaderCase> {};

TEST_P(ReadHeaderPrefix, FailsOnEveryTruncatedPrefix) {
    const HeaderCase& c = GetParam();
    const auto octets = from_hex(c.octets);
    const auto element_size = static_cast<size_t>(c.header_size + c.content_length);
    for (size_t n = 0; n < element_size; ++n) {
        ExactBuffer in({octets.begin(), octets.begin() + static_cast<long>(n)});
        int32_t space = static_cast<int32_t>(n);
        uint8_t tag = 0;
        EXPECT_EQ(tlv_read_header(in.data.get(), &space, &tag), nullptr)
            << "prefix of " << n << " octets";
    }
}

std::vector<HeaderCase> valid_header_cases() {
    std::vector<HeaderCase> valid;
    for (const HeaderCase& c : kHeaderCases) {
        if (c.ok) {
            valid.push_back(c);
        }
    }
    return valid;
}
INSTANTIATE_TEST_SUITE_P(Table, ReadHeaderPrefix, testing::ValuesIn(valid_header_cases()),
                         [](const auto& info) { return case_name(info.param.description); });

TEST(ReadHeaderTag, IsStoredEvenWhenTheLengthFails) {
    const auto in = from_hex("A2 80");
    int32_t space = 2;
    uint8_t tag = 0;
    EXPECT_EQ(tlv_read_header(in.data(), &space, &tag), nullptr);
    EXPECT_EQ(tag, 0xA2);
}

// ---------------------------------------------------------------- integers

enum class Kind { kInt32, kUint32, kCounter64 };

struct IntegerCase {
    const char* description;
    Kind kind;
    const char* octets;
    bool ok;
    uint64_t value;  // int32 as its two's complement in the low 32 bits
};

const uint8_t* read_integer(Kind kind, const uint8_t* pos, int32_t* space, uint8_t* tag,
                            uint64_t* value, int32_t size_override = 0) {
    switch (kind) {
        case Kind::kInt32: {
            int32_t v = 0;
            const uint8_t* end =
                tlv_read_int32(pos, space, tag, &v, size_override ? size_override : 4);
            *value = static_cast<uint32_t>(v);
            return end;
        }
        case Kind::kUint32: {
            uint32_t v = 0;
            const uint8_t* end =
                tlv_read_uint32(pos, space, tag, &v, size_override ? size_override : 4);
            *value = v;
            return end;
        }
        case Kind::kCounter64: {
            uint32_t words[2] = {0, 0};
            const uint8_t* end =
                tlv_read_counter64(pos, space, tag, words, size_override ? size_override : 8);
            *value = (static_cast<uint64_t>(words[0]) << 32) | words[1];
            return end;
        }
    }
    return nullptr;
}

void PrintTo(const IntegerCase& c, std::ostream* os) {
    *os << c.description;
}

class ReadInteger : public testing::TestWithParam<IntegerCase> {};

TEST_P(ReadInteger, GivesValueConsumesElementAndCountsDown) {
    const IntegerCase& c = GetParam();
    auto octets = from_hex(c.octets);
    const auto element_size = static_cast<int32_t>(octets.size());
    octets.insert(octets.end(), {0xEE, 0xEE, 0xEE});  // what follows in the enclosing element
    ExactBuffer in(octets);
    int32_t space = static_cast<int32_t>(in.size);
    uint8_t tag = 0;
    uint64_t value = 0;
    const uint8_t* end = read_integer(c.kind, in.data.get(), &space, &tag, &value);
    if (!c.ok) {
        EXPECT_EQ(end, nullptr);
        return;
    }
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(end - in.data.get(), element_size);
    EXPECT_EQ(space, 3);
    EXPECT_EQ(tag, octets[0]);
    EXPECT_EQ(value, c.value);
}

TEST_P(ReadInteger, FailsOnEveryTruncatedPrefix) {
    const IntegerCase& c = GetParam();
    const auto octets = from_hex(c.octets);
    for (size_t n = 0; n < octets.size(); ++n) {
        ExactBuffer in({octets.begin(), octets.begin() + static_cast<long>(n)});
        int32_t space = static_cast<int32_t>(n);
        uint8_t tag = 0;
        uint64_t value = 0;
        EXPECT_EQ(read_integer(c.kind, in.data.get(), &space, &tag, &value), nullptr)
            << "prefix of " << n << " octets";
    }
}

const IntegerCase kIntegerCases[] = {
    {"int zero", Kind::kInt32, "02 01 00", true, 0},
    {"int 127", Kind::kInt32, "02 01 7F", true, 127},
    {"int 128", Kind::kInt32, "02 02 00 80", true, 128},
    {"int minus one", Kind::kInt32, "02 01 FF", true, 0xFFFFFFFF},
    {"int minus 128", Kind::kInt32, "02 01 80", true, 0xFFFFFF80},
    {"int minus 129", Kind::kInt32, "02 02 FF 7F", true, 0xFFFFFF7F},
    {"int max", Kind::kInt32, "02 04 7F FF FF FF", true, 0x7FFFFFFF},
    {"int min", Kind::kInt32, "02 04 80 00 00 00", true, 0x80000000},
    {"int empty content", Kind::kInt32, "02 00", true, 0},
    {"int long form length", Kind::kInt32, "02 81 01 05", true, 5},
    {"int tag not tested", Kind::kInt32, "04 01 07", true, 7},
    {"int five octets", Kind::kInt32, "02 05 00 00 00 00 01", false, 0},
    {"uint five octets", Kind::kUint32, "41 05 00 FF FF FF FF", true, 4294967295u},
    {"uint five octets not 00", Kind::kUint32, "41 05 01 00 00 00 00", false, 0},
    {"uint FF sign extended", Kind::kUint32, "41 01 FF", true, 4294967295u},
    {"uint 128", Kind::kUint32, "41 02 00 80", true, 128},
    {"uint empty content", Kind::kUint32, "42 00", true, 0},
    {"uint six octets", Kind::kUint32, "41 06 00 00 00 00 00 01", false, 0},
    {"c64 nine octets", Kind::kCounter64, "46 09 00 FF FF FF FF FF FF FF FF", true, ~uint64_t{0}},
    {"c64 nine octets not 00", Kind::kCounter64, "46 09 01 00 00 00 00 00 00 00 00", false, 0},
    {"c64 one", Kind::kCounter64, "46 01 01", true, 1},
    {"c64 high word one", Kind::kCounter64, "46 05 01 00 00 00 00", true, uint64_t{1} << 32},
    {"c64 eight octets top bit", Kind::kCounter64, "46 08 80 00 00 00 00 00 00 00", true,
     uint64_t{1} << 63},
    {"c64 ten octets", Kind::kCounter64, "46 0A 00 00 00 00 00 00 00 00 00 01", false, 0},
};
INSTANTIATE_TEST_SUITE_P(Table, ReadInteger, testing::ValuesIn(kIntegerCases),
                         [](const auto& info) { return case_name(info.param.description); });

TEST(ReadIntegerSize, WrongSizeReadsNothingAndLeavesTheTag) {
    const auto in = from_hex("02 01 05 00 00 00 00 00 00");
    const struct {
        Kind kind;
        int32_t size;
    } cases[] = {{Kind::kInt32, 8}, {Kind::kUint32, 2}, {Kind::kCounter64, 4}};
    for (const auto& c : cases) {
        int32_t space = static_cast<int32_t>(in.size());
        uint8_t tag = 0x99;
        uint64_t value = 0;
        EXPECT_EQ(read_integer(c.kind, in.data(), &space, &tag, &value, c.size), nullptr);
        EXPECT_EQ(tag, 0x99);
        EXPECT_EQ(space, static_cast<int32_t>(in.size()));
    }
}

// ---------------------------------------------------------------- octets

TEST(ReadOctets, CopiesContentAndReportsItsLength) {
    ExactBuffer in(from_hex("04 03 61 62 63 FF"));
    uint8_t dest[3] = {0, 0, 0};
    int32_t length = 3;
    int32_t space = 6;
    uint8_t tag = 0;
    const uint8_t* end = tlv_read_octets(in.data.get(), &space, &tag, dest, &length);
    ASSERT_EQ(end, in.data.get() + 5);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(space, 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(dest), 3), "abc");
}

TEST(ReadOctets, ContentLongerThanCapacityFailsAndCopiesNothing) {
    ExactBuffer in(from_hex("04 03 61 62 63"));
    uint8_t dest[3] = {0, 0, 0};
    int32_t length = 2;
    int32_t space = 5;
    uint8_t tag = 0;
    EXPECT_EQ(tlv_read_octets(in.data.get(), &space, &tag, dest, &length), nullptr);
    EXPECT_EQ(dest[0], 0);
    EXPECT_EQ(tag, 0x04) << "the tag is stored before the length is judged";
}

TEST(ReadOctets, EmptyContentAndTruncatedPrefixes) {
    ExactBuffer empty(from_hex("04 00"));
    int32_t length = 0;
    int32_t space = 2;
    uint8_t tag = 0;
    EXPECT_EQ(tlv_read_octets(empty.data.get(), &space, &tag, nullptr, &length),
              empty.data.get() + 2);
    EXPECT_EQ(length, 0);

    const auto octets = from_hex("04 81 03 61 62 63");
    for (size_t n = 0; n < octets.size(); ++n) {
        ExactBuffer in({octets.begin(), octets.begin() + static_cast<long>(n)});
        uint8_t dest[8];
        int32_t cap = 8;
        int32_t left = static_cast<int32_t>(n);
        EXPECT_EQ(tlv_read_octets(in.data.get(), &left, &tag, dest, &cap), nullptr) << n;
    }
}

// ---------------------------------------------------------------- identifiers

struct OidCase {
    const char* description;
    const char* octets;
    int32_t capacity;
    std::vector<uint32_t> ids;
    int consumed;
};

void PrintTo(const OidCase& c, std::ostream* os) {
    *os << c.description;
}

class ReadOid : public testing::TestWithParam<OidCase> {};

TEST_P(ReadOid, DecodesSubIdentifiers) {
    const OidCase& c = GetParam();
    ExactBuffer in(from_hex(c.octets));
    std::vector<uint32_t> ids(static_cast<size_t>(c.capacity) + 1, 0xDEADBEEF);
    int32_t count = c.capacity;
    int32_t space = static_cast<int32_t>(in.size);
    uint8_t tag = 0;
    const uint8_t* end = tlv_read_oid(in.data.get(), &space, &tag, ids.data(), &count);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(end - in.data.get(), c.consumed);
    EXPECT_EQ(tag, 0x06);
    ASSERT_EQ(count, static_cast<int32_t>(c.ids.size()));
    EXPECT_EQ(std::vector<uint32_t>(ids.begin(), ids.begin() + count), c.ids);
    EXPECT_EQ(ids[static_cast<size_t>(c.capacity)], 0xDEADBEEF) << "wrote past the capacity";
}

// Every row of the table is one whole element.
TEST_P(ReadOid, FailsOnEveryTruncatedPrefix) {
    const OidCase& c = GetParam();
    const auto octets = from_hex(c.octets);
    for (size_t n = 0; n < octets.size(); ++n) {
        ExactBuffer in({octets.begin(), octets.begin() + static_cast<long>(n)});
        std::vector<uint32_t> ids(static_cast<size_t>(c.capacity));
        int32_t count = c.capacity;
        int32_t space = static_cast<int32_t>(n);
        uint8_t tag = 0;
        EXPECT_EQ(tlv_read_oid(in.data.get(), &space, &tag, ids.data(), &count), nullptr)
            << "prefix of " << n << " octets";
    }
}

const OidCase kOidCases[] = {
    {"empty content is one zero", "06 00", 8, {0}, 2},
    {"1.3", "06 01 2B", 8, {1, 3}, 3},
    {"120 splits as 3.0", "06 01 78", 8, {3, 0}, 3},
    {"1.3.128", "06 03 2B 81 00", 8, {1, 3, 128}, 5},
    {"sysDescr", "06 08 2B 06 01 02 01 01 01 00", 16, {1, 3, 6, 1, 2, 1, 1, 1, 0}, 10},
    {"largest sub-identifier", "06 06 2B 8F FF FF FF 7F", 8, {1, 3, 4294967295u}, 8},
    {"16384", "06 04 2B 81 80 00", 8, {1, 3, 16384}, 6},
    {"one-octet arcs around a longer one", "06 05 2B 7F 81 00 00", 8, {1, 3, 127, 128, 0}, 7},
    {"value cut by the content end", "06 02 2B 81", 8, {1, 3, 1}, 4},
    {"capacity stops decoding", "06 04 2B 06 01 02", 3, {1, 3, 6}, 4},
    {"capacity one splits only the quotient", "06 01 2B", 1, {1}, 3},
};
INSTANTIATE_TEST_SUITE_P(Table, ReadOid, testing::ValuesIn(kOidCases),
                         [](const auto& info) { return case_name(info.param.description); });

}  // namespace
