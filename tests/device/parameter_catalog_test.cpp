#include "device/parameter_catalog.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "answer_support.h"

namespace {

using Ids = std::vector<uint32_t>;

struct CompareCase {
    const char* description;
    Ids a;
    Ids b;
    int32_t count;
    int expected;
};
void PrintTo(const CompareCase& c, std::ostream* out) {
    *out << c.description;
}

const CompareCase kCompareCases[] = {
    {"equal over the count", {1, 3, 6}, {1, 3, 6}, 3, 0},
    {"count zero is equal", {1}, {2}, 0, 0},
    {"negative count is equal", {1}, {2}, -1, 0},
    {"difference past the count is not seen", {1, 3, 7}, {1, 3, 6}, 2, 0},
    {"greater first element gives 1", {1, 4}, {1, 3}, 2, 1},
    {"smaller first element gives minus 1", {1, 2}, {1, 3}, 2, -1},
    {"first difference decides over later ones", {1, 5}, {2, 0}, 2, -1},
    {"elements compare unsigned", {0xFFFFFFFFu}, {1}, 1, 1},
};

class CompareObjectIds : public ::testing::TestWithParam<CompareCase> {};

TEST_P(CompareObjectIds, GivesOrderAtFirstDifference) {
    const CompareCase& c = GetParam();
    EXPECT_EQ(compare_object_ids(c.a.data(), c.b.data(), c.count), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, CompareObjectIds, ::testing::ValuesIn(kCompareCases),
                         [](const auto& info) { return case_name(info.param.description); });

struct FindCase {
    const char* description;
    Ids name;
    int expected;
};
void PrintTo(const FindCase& c, std::ostream* out) {
    *out << c.description;
}

// Together with the ordering test below, the first and last row of every
// group pin down the whole table.
const FindCase kFindCases[] = {
    {"sysDescr", {1, 3, 6, 1, 2, 1, 1, 1, 0}, 0},
    {"sysContact", {1, 3, 6, 1, 2, 1, 1, 4, 0}, 1},
    {"sysName", {1, 3, 6, 1, 2, 1, 1, 5, 0}, 2},
    {"identification item 1", {1, 3, 6, 1, 4, 1, 47, 2, 1, 1, 0}, 3},
    {"identification item 8", {1, 3, 6, 1, 4, 1, 47, 2, 1, 8, 0}, 10},
    {"unrequested row 11", {1, 3, 6, 1, 4, 1, 47, 2, 2, 1, 0}, 11},
    {"first temperature", {1, 3, 6, 1, 4, 1, 47, 2, 2, 2, 0}, 12},
    {"last temperature", {1, 3, 6, 1, 4, 1, 47, 2, 2, 4, 0}, 14},
    {"receiver voltage", {1, 3, 6, 1, 4, 1, 47, 2, 3, 1, 0}, 15},
    {"humidity", {1, 3, 6, 1, 4, 1, 47, 2, 3, 5, 0}, 19},
    {"24 V rail", {1, 3, 6, 1, 4, 1, 47, 2, 4, 1, 0}, 20},
    {"total current", {1, 3, 6, 1, 4, 1, 47, 2, 4, 8, 0}, 27},
    {"radio switch", {1, 3, 6, 1, 4, 1, 47, 2, 5, 1, 0}, 28},
    {"control switch 6", {1, 3, 6, 1, 4, 1, 47, 2, 5, 6, 0}, 33},
    {"PHY to radio rate", {1, 3, 6, 1, 4, 1, 47, 2, 6, 1, 0}, 34},
    {"second drop counter", {1, 3, 6, 1, 4, 1, 47, 2, 6, 9, 0}, 42},
    {"terminator row", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 43},
    {"twelve sub-identifiers", {1, 3, 6, 1, 4, 1, 47, 2, 1, 1, 0, 0}, -1},
    {"ten sub-identifiers", {1, 3, 6, 1, 4, 1, 47, 2, 1, 1}, -1},
    {"system object without instance", {1, 3, 6, 1, 2, 1, 1, 5}, -1},
    {"system object padded to eleven", {1, 3, 6, 1, 2, 1, 1, 5, 0, 0, 0}, -1},
    {"unknown leaf", {1, 3, 6, 1, 4, 1, 47, 2, 6, 10, 0}, -1},
    {"other enterprise", {1, 3, 6, 1, 4, 1, 48, 2, 1, 1, 0}, -1},
    {"empty name", {}, -1},
    {"nine zeros, below every row", {0, 0, 0, 0, 0, 0, 0, 0, 0}, -1},
    {"above every row", Ids(11, 0xFFFFFFFFu), -1},
};

class FindCatalogIndex : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindCatalogIndex, MatchesWholeNameOfSameLength) {
    const FindCase& c = GetParam();
    VarBinding binding{};
    binding.name.ids = const_cast<uint32_t*>(c.name.data());
    binding.name.count = static_cast<int32_t>(c.name.size());
    EXPECT_EQ(find_catalog_index(binding), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, FindCatalogIndex, ::testing::ValuesIn(kFindCases),
                         [](const auto& info) { return case_name(info.param.description); });

TEST(ParameterCatalog, EveryRowIsFoundAtItsOwnIndex) {
    for (int index = 0; index < kCatalogRows; ++index) {
        Ids name = catalog_name(index);
        VarBinding binding{};
        binding.name.ids = name.data();
        binding.name.count = static_cast<int32_t>(name.size());
        EXPECT_EQ(find_catalog_index(binding), index) << "row " << index;
    }
}

TEST(ParameterCatalog, DeviceRowsAreEnterpriseLeavesInIncreasingOrder) {
    const Ids prefix = {1, 3, 6, 1, 4, 1, 47, 2};
    for (int index = 3; index <= 42; ++index) {
        const CatalogRow& row = kParameterCatalog.rows[index];
        ASSERT_EQ(row.length, 11) << "row " << index;
        EXPECT_EQ(Ids(row.ids, row.ids + 8), prefix) << "row " << index;
        EXPECT_NE(row.ids[8], 0u) << "row " << index;
        EXPECT_NE(row.ids[9], 0u) << "row " << index;
        EXPECT_EQ(row.ids[10], 0u) << "row " << index;
        if (index > 3) {
            EXPECT_EQ(compare_object_ids(kParameterCatalog.rows[index - 1].ids, row.ids, 11), -1)
                << "row " << index;
        }
    }
}

struct RateCase {
    int code;
    int mbps;
};

TEST(LinkRateMbps, MapsCodesAndGivesZeroForOthers) {
    const RateCase cases[] = {{0, 80},    {1, 150}, {2, 200}, {3, 250}, {4, 300}, {5, 350},
                              {99, 1000}, {6, 0},   {-1, 0},  {98, 0},  {100, 0}};
    for (const RateCase& c : cases) {
        EXPECT_EQ(link_rate_mbps(c.code), c.mbps) << "code " << c.code;
    }
}

}  // namespace
