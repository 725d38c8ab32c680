#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "answer_support.h"
#include "device/device_readings.h"
#include "device/parameter_catalog.h"
#include "loopback_peer.h"
#include "monitor/parameter_fetch.h"
#include "snmp/agent_link.h"
#include "snmp/alloc.h"

namespace {

using Answer = std::vector<AnswerBinding>;

// A UDP agent on a loopback port that answers one request, when told to,
// from its own thread, and keeps that request for inspection.
class ScriptedAgent {
public:
    ~ScriptedAgent() { finish(); }

    uint16_t port() const { return peer_.port(); }

    void answer_next(Answer answer, int32_t error_status) {
        server_ = std::thread([this, answer, error_status] {
            std::vector<uint8_t> datagram;
            sockaddr_in from{};
            if (!peer_.receive(&datagram, &from, 5000)) {
                return;
            }
            request_.reset(msg_create(0));
            request_->error_status = request_->error_index = 0;
            if (datagram.empty() || msg_decode(request_.get(), datagram.data(),
                                               static_cast<int32_t>(datagram.size())) != 0) {
                return;
            }
            peer_.send_to(from, encode_answer(answer, request_->request_id, error_status));
        });
    }

    // Waits for the answering thread; the request is then readable.
    void finish() {
        if (server_.joinable()) {
            server_.join();
        }
    }
    const SnmpMessage* request() const { return request_.get(); }

    bool has_unread_datagram() const { return wait_readable(peer_.handle(), 20) == 1; }

private:
    LoopbackPeer peer_;
    std::thread server_;
    MessagePtr request_;
};

class FetchParametersTest : public ::testing::Test {
protected:
    void SetUp() override {
        readings = DeviceReadings{};
        std::strcpy(link.host, "127.0.0.1");
        link.agent_port = agent.port();
        link.answer_wait = std::chrono::milliseconds(500);  // a silence, not the real wait
        ASSERT_EQ(open_link(link), 1);
    }
    void TearDown() override {
        snmp_fail_allocation_after(0);
        close_link(link);
    }

    ScriptedAgent agent;
    AgentLink link;
    DeviceReadings readings;
};

struct ExchangeCase {
    const char* description;
    CatalogRun run;
    int32_t error_status;
    Answer answer;
    bool result;
    FetchFailure failure;
    void (*change)(DeviceReadings&);
};
void PrintTo(const ExchangeCase& c, std::ostream* out) {
    *out << c.description;
}

class FetchExchange : public FetchParametersTest,
                      public ::testing::WithParamInterface<ExchangeCase> {};

TEST_P(FetchExchange, RequestsTheRunAndAppliesTheAnswer) {
    const ExchangeCase& c = GetParam();
    DeviceReadings expected;
    agent.answer_next(c.answer, c.error_status);

    FetchFault fault;
    EXPECT_EQ(fetch_parameters(link, readings, c.run.first_index, c.run.count, &fault), c.result);
    EXPECT_EQ(fault.kind, c.failure);
    agent.finish();

    ASSERT_NE(agent.request(), nullptr);
    EXPECT_EQ(agent.request()->pdu_type, kPduGetRequest);
    int index = c.run.first_index;
    for (const VarBinding* b = agent.request()->bindings; b != nullptr; b = b->next, ++index) {
        EXPECT_EQ(std::vector<uint32_t>(b->name.ids, b->name.ids + b->name.count),
                  catalog_name(index));
        EXPECT_EQ(b->type, kTagNull);
    }
    EXPECT_EQ(index, c.run.first_index + c.run.count);
    if (c.change != nullptr) {
        c.change(expected);
    }
    EXPECT_EQ(describe(readings), describe(expected));
}

const ExchangeCase kExchangeCases[] = {
    {"identification run",
     kIdentificationRun,
     0,
     {text_at(3, "Tarvik"), text_at(4, "Type VXL"), text_at(5, ""), text_at(6, ""), text_at(7, ""),
      text_at(8, ""), text_at(9, ""), text_at(10, "key")},
     true,
     FetchFailure::kNone,
     [](DeviceReadings& r) {
         std::strcpy(r.id_text[0], "Tarvik");
         std::strcpy(r.id_text[1], "Type VXL");
         std::strcpy(r.id_text[7], "key");
         r.family_rate_mbps = kFamily1000;
     }},
    {"traffic run",
     kTrafficRun,
     0,
     {number_at(34, 10), number_at(35, 0), number_at(36, 0), number_at(37, 0), number_at(38, 0),
      number_at(39, 0), number_at(40, 150), number_at(41, 3), number_at(42, 0)},
     true,
     FetchFailure::kNone,
     [](DeviceReadings& r) {
         r.phy_to_radio_rate = 10;
         r.up_link_mbps = 150;
         r.drop_q1_count = r.drop_q1_since_reset = 3;
     }},
    {"single row",
     {kKeyIndex, 1},
     0,
     {text_at(kKeyIndex, "k")},
     true,
     FetchFailure::kNone,
     [](DeviceReadings& r) { std::strcpy(r.id_text[7], "k"); }},
    {"error status answer",
     kTemperatureRun,
     2,
     {number_at(12, 1)},
     false,
     FetchFailure::kDeviceError,
     nullptr},
    // An answer without every row asked for is no reading of the others.
    {"empty answer", kTemperatureRun, 0, {}, false, FetchFailure::kUnusableAnswer, nullptr},
    {"answer lacking a row",
     kTemperatureRun,
     0,
     {number_at(12, 1), number_at(14, 3)},
     false,
     FetchFailure::kUnusableAnswer,
     nullptr},
    {"rows of another run",
     kTemperatureRun,
     0,
     {number_at(12, 1), number_at(13, 2), number_at(15, 3)},
     false,
     FetchFailure::kUnusableAnswer,
     nullptr},
    {"a value no row is read from",
     kTemperatureRun,
     0,
     {number_at(12, 1), empty_at(13), number_at(14, 3)},
     false,
     FetchFailure::kUnusableAnswer,
     nullptr},
};
INSTANTIATE_TEST_SUITE_P(Table, FetchExchange, ::testing::ValuesIn(kExchangeCases),
                         [](const auto& info) { return case_name(info.param.description); });

// An answer is taken only when it answers what was asked: a GetResponse
// naming the rows in order, each with a value its row is read from.
struct AnswerCheckCase {
    const char* description;
    CatalogRun run;
    int32_t pdu;
    Answer answer;
    const char* fault;  // "": accepted
    bool past_limits;   // the last binding's number did not fit its reader
};
void PrintTo(const AnswerCheckCase& c, std::ostream* out) {
    *out << c.description;
}

const CatalogRun kTemps = kTemperatureRun;
const CatalogRun kKey = {kKeyIndex, 1};
constexpr int32_t kGet = kPduGetResponse;
const AnswerCheckCase kAnswerChecks[] = {
    // clang-format off
    {"every 32-bit number type", kReceiverRun, kGet, {number_at(15, 1), number_at(16, 2, kTagCounter32),
     number_at(17, 3, kTagGauge32), number_at(18, 4, kTagTimeTicks), number_at(19, 5, kTagUInteger32)}, "", false},
    {"text row", kKey, kGet, {text_at(kKeyIndex, "key")}, "", false},
    {"empty text", kKey, kGet, {text_at(kKeyIndex, "")}, "", false},
    {"null for a number", kTemps, kGet, {number_at(12, 1), empty_at(13), number_at(14, 3)},
     "row 13 (1.3.6.1.4.1.47.2.2.3.0) came back as NULL, not a number", false},
    {"no such object", kTemps, kGet, {number_at(12, 1), empty_at(13, kTagNoSuchObject), number_at(14, 3)},
     "row 13 (1.3.6.1.4.1.47.2.2.3.0) came back as noSuchObject, not a number", false},
    {"four octets of text for a number", kTemps, kGet, {number_at(12, 1), text_at(13, "oops"), number_at(14, 3)},
     "row 13 (1.3.6.1.4.1.47.2.2.3.0) came back as OCTET STRING, not a number", false},
    {"counter64", kTemps, kGet, {number_at(12, 1), number_at(13, 2, kTagCounter64), number_at(14, 3)},
     "row 13 (1.3.6.1.4.1.47.2.2.3.0) came back as Counter64, not a number", false},
    {"integer past 32 bits", kTemps, kGet, {number_at(12, 1), number_at(13, 2), number_at(14, 0)},
     "row 14 (1.3.6.1.4.1.47.2.2.4.0) came back as INTEGER past 32 bits or empty, not a number", true},
    {"gauge past the signed limit for a temperature", kTemps, kGet, {number_at(12, 1), number_at(13, -1, kTagGauge32), number_at(14, 3)},
     "row 13 (1.3.6.1.4.1.47.2.2.3.0) came back as Gauge32 4294967295, past a signed 32-bit number", false},
    {"timeticks past the signed limit for the uplink", {40, 1}, kGet, {number_at(40, INT32_MIN, kTagTimeTicks)},
     "row 40 (1.3.6.1.4.1.47.2.6.7.0) came back as TimeTicks 2147483648, past a signed 32-bit number", false},
    {"integer minus 1 for a temperature", kTemps, kGet, {number_at(12, 1), number_at(13, -1), number_at(14, 3)}, "", false},
    {"unsigned types past the signed limit for counters and the status word", {37, 6}, kGet,
     {number_at(37, -1, kTagCounter32), number_at(38, -1, kTagGauge32), number_at(39, 0),
      number_at(40, 0), number_at(41, -1, kTagCounter32), number_at(42, -1, kTagUInteger32)}, "", false},
    {"number for a text row", kKey, kGet, {number_at(kKeyIndex, 7)},
     "row 10 (1.3.6.1.4.1.47.2.1.8.0) came back as INTEGER, not an OCTET STRING", false},
    {"the request echoed", kTemps, kPduGetRequest, {empty_at(12), empty_at(13), empty_at(14)},
     "a GetRequest came back instead of a GetResponse", false},
    {"a set request", kTemps, kPduSetRequest, {number_at(12, 1), number_at(13, 2), number_at(14, 3)},
     "a SetRequest came back instead of a GetResponse", false},
    {"rows out of order", kTemps, kGet, {number_at(13, 2), number_at(12, 1), number_at(14, 3)},
     "row 13 (1.3.6.1.4.1.47.2.2.3.0) came back where row 12 (1.3.6.1.4.1.47.2.2.2.0) was asked for", false},
    {"a name outside the catalog", kTemps, kGet, {number_named({1, 3, 6, 1, 2, 1, 1, 3, 0}, 1), number_at(13, 2), number_at(14, 3)},
     "1.3.6.1.2.1.1.3.0 came back where row 12 (1.3.6.1.4.1.47.2.2.2.0) was asked for", false},
    {"a row missing", kTemps, kGet, {number_at(12, 1), number_at(13, 2)},
     "row 14 (1.3.6.1.4.1.47.2.2.4.0) is missing from the answer", false},
    {"a row unasked", kTemps, kGet, {number_at(12, 1), number_at(13, 2), number_at(14, 3), number_at(15, 4)},
     "row 15 (1.3.6.1.4.1.47.2.3.1.0) came back unasked", false},
    // clang-format on
};

class AnswerCheck : public ::testing::TestWithParam<AnswerCheckCase> {};

TEST_P(AnswerCheck, TakesOnlyAnAnswerToTheRequest) {
    const AnswerCheckCase& c = GetParam();
    const MessagePtr request(msg_create(kPduGetRequest));
    for (int index = c.run.first_index; index < c.run.first_index + c.run.count; ++index) {
        const std::vector<uint32_t> name = catalog_name(index);
        ASSERT_NE(
            msg_append_null_binding(request.get(), name.data(), static_cast<int32_t>(name.size())),
            nullptr);
    }
    const MessagePtr answer = decoded_answer(c.answer);
    answer->pdu_type = c.pdu;
    VarBinding* last = answer->bindings;
    while (last != nullptr && last->next != nullptr) {
        last = last->next;
    }
    if (last != nullptr) {
        last->past_limits = c.past_limits;  // what the decoder flags, as its own test shows
    }
    EXPECT_EQ(reading_answer_fault(*request, *answer), c.fault);
}

INSTANTIATE_TEST_SUITE_P(Table, AnswerCheck, ::testing::ValuesIn(kAnswerChecks),
                         [](const auto& info) { return case_name(info.param.description); });

TEST_F(FetchParametersTest, RequestThatCannotBeBuiltIsNotSent) {
    fill_every_field(readings);
    const std::string before = describe(readings);
    // Three rows: the message, then a record and a name per binding.
    for (int failing = 1; failing <= 7; ++failing) {
        SCOPED_TRACE(failing);
        snmp_fail_allocation_after(failing);
        EXPECT_FALSE(fetch_parameters(link, readings, 12, 3));
        snmp_fail_allocation_after(0);
        EXPECT_FALSE(agent.has_unread_datagram());
    }
    EXPECT_EQ(describe(readings), before);
}

TEST_F(FetchParametersTest, RowsOutsideTheCatalogAreNotRequested) {
    struct Rows {
        int first_index;
        int count;
    };
    for (const Rows& rows : {Rows{-1, 2}, Rows{43, 2}, Rows{0, 45}, Rows{3, -1}}) {
        SCOPED_TRACE(rows.first_index);
        EXPECT_FALSE(fetch_parameters(link, readings, rows.first_index, rows.count));
    }
    EXPECT_FALSE(agent.has_unread_datagram());
}

TEST_F(FetchParametersTest, SilentAgentGivesFalseAndChangesNothing) {
    fill_every_field(readings);
    const std::string before = describe(readings);
    EXPECT_FALSE(fetch_parameters(link, readings, 12, 3));
    EXPECT_TRUE(agent.has_unread_datagram());  // asked, never answered
    EXPECT_EQ(describe(readings), before);
}

}  // namespace
