#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "answer_support.h"
#include "loopback_peer.h"
#include "monitor/device_readings.h"
#include "monitor/parameter_catalog.h"
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

    EXPECT_EQ(fetch_parameters(link, readings, c.run.first_index, c.run.count), c.result);
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
     [](DeviceReadings& r) { std::strcpy(r.id_text[7], "k"); }},
    {"error status answer", kTemperatureRun, 2, {number_at(12, 1)}, false, nullptr},
    // An answer without every row asked for is no reading of the others.
    {"empty answer", kTemperatureRun, 0, {}, false, nullptr},
    {"answer lacking a row",
     kTemperatureRun,
     0,
     {number_at(12, 1), number_at(14, 3)},
     false,
     nullptr},
    {"rows of another run",
     kTemperatureRun,
     0,
     {number_at(12, 1), number_at(13, 2), number_at(15, 3)},
     false,
     nullptr},
};
INSTANTIATE_TEST_SUITE_P(Table, FetchExchange, ::testing::ValuesIn(kExchangeCases),
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
