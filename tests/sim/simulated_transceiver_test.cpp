// The simulated transceiver seen from the console's side: a real AgentLink
// talks to it over loopback, as the console will.
#include "sim/simulated_transceiver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "catalog_rows.h"
#include "loopback_peer.h"
#include "sim/control_commands.h"
#include "snmp/agent_link.h"

namespace {

using Name = std::vector<uint32_t>;
using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

// A value to put into a request binding; type NULL leaves the binding bare.
struct Value {
    uint8_t type;
    int32_t number;
    std::string text;
};
Value integer(int32_t n) {
    return {kTagInteger, n, {}};
}
Value octets(std::string text) {
    return {kTagOctetString, 0, std::move(text)};
}
Value null_value() {
    return {kTagNull, 0, {}};
}
Value counter(int32_t n) {
    return {kTagCounter32, n, {}};
}

struct Binding {
    Name name;
    Value value;
};

MessagePtr make_request(int32_t pdu_type, const std::vector<Binding>& bindings) {
    MessagePtr request(msg_create(pdu_type));
    for (const Binding& b : bindings) {
        VarBinding* binding = msg_append_null_binding(request.get(), b.name.data(),
                                                      static_cast<int32_t>(b.name.size()));
        if (b.value.type == kTagOctetString) {
            binding_set_octets(binding, reinterpret_cast<const uint8_t*>(b.value.text.data()),
                               static_cast<int32_t>(b.value.text.size()));
        } else if (b.value.type != kTagNull) {
            binding_set_int32(binding, b.value.number);
            binding->type = b.value.type;
        }
    }
    return request;
}

std::vector<Binding> null_bindings(const std::vector<Name>& names) {
    std::vector<Binding> bindings;
    for (const Name& name : names) {
        bindings.push_back({name, null_value()});
    }
    return bindings;
}

std::vector<Name> rows(int first, int count) {
    std::vector<Name> names;
    for (int row = first; row < first + count; ++row) {
        names.push_back(catalog_name(row));
    }
    return names;
}

std::vector<const VarBinding*> bindings_of(const SnmpMessage& message) {
    std::vector<const VarBinding*> list;
    for (const VarBinding* b = message.bindings; b != nullptr; b = b->next) {
        list.push_back(b);
    }
    return list;
}

Name name_of(const VarBinding& binding) {
    return Name(binding.name.ids, binding.name.ids + binding.name.count);
}

int32_t number_of(const VarBinding& binding) {
    int32_t n = 0;
    if (binding.value != nullptr && binding.value_length == 4) {
        std::memcpy(&n, binding.value, sizeof n);
    }
    return n;
}

std::string text_of(const VarBinding& binding) {
    if (binding.value == nullptr) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(binding.value),
                       static_cast<size_t>(binding.value_length));
}

std::string family_name(DeviceFamily family) {
    return "Family" + std::to_string(static_cast<int>(family));
}

const std::vector<DeviceFamily> kFamilies = {DeviceFamily::k350, DeviceFamily::k1000};

// A running simulator and a link to it, fresh for every test.
class AgentTest : public ::testing::Test {
protected:
    void SetUp() override { start_agent(DeviceFamily::k350); }

    void TearDown() override { close_link(link_); }

    void start_agent(DeviceFamily family) {
        SimulatorOptions options;
        options.family = family;
        sim_ = std::make_unique<SimulatedTransceiver>(options);
        std::string error;
        ASSERT_TRUE(sim_->start(&error)) << error;
        ASSERT_NE(sim_->port(), 0);
        std::snprintf(link_.host, sizeof link_.host, "127.0.0.1");
        link_.agent_port = sim_->port();
        // The real two-second wait is the link's own test; here a silence
        // need only outlast a loopback answer.
        link_.answer_wait = milliseconds(500);
        link_.report = [this](const std::string& text) { reports_.push_back(text); };
        ASSERT_EQ(open_link(link_), 1);
    }

    MessagePtr exchange(int32_t pdu_type, const std::vector<Binding>& bindings) {
        MessagePtr request = make_request(pdu_type, bindings);
        return MessagePtr(exchange_request(link_, request.get()));
    }
    MessagePtr get(const std::vector<Name>& names) {
        return exchange(kPduGetRequest, null_bindings(names));
    }
    MessagePtr set(const std::vector<Binding>& bindings) {
        return exchange(kPduSetRequest, bindings);
    }
    // Sends a GET without waiting for its answer; returns its request id.
    int32_t send_get() {
        MessagePtr request = make_request(kPduGetRequest, null_bindings(rows(12, 3)));
        return send_request(link_, request.get());
    }
    // The request ids of the next `count` datagrams on the link, as they come.
    std::vector<int32_t> receive_ids(size_t count, milliseconds timeout) {
        std::vector<int32_t> ids;
        std::vector<uint8_t> buffer(kMaxDatagram);
        const auto deadline = SteadyClock::now() + timeout;
        while (ids.size() < count && SteadyClock::now() < deadline) {
            if (wait_readable(link_.socket_handle, 20) != 1) {
                continue;
            }
            const auto got = recv(link_.socket_handle, reinterpret_cast<char*>(buffer.data()),
                                  static_cast<int>(buffer.size()), 0);
            int32_t id = 0;
            if (got > 0 &&
                msg_peek_request_id(buffer.data(), static_cast<int32_t>(got), &id) == 0) {
                ids.push_back(id);
            }
        }
        return ids;
    }

    // Reads one row; fails the test when it is not answered.
    int32_t read_number(int row) {
        MessagePtr answer = get({catalog_name(row)});
        EXPECT_NE(answer, nullptr);
        if (answer == nullptr || answer->bindings == nullptr) {
            return 0;
        }
        EXPECT_EQ(answer->error_status, 0);
        return number_of(*answer->bindings);
    }
    std::string read_text(int row) {
        MessagePtr answer = get({catalog_name(row)});
        EXPECT_NE(answer, nullptr);
        return answer == nullptr || answer->bindings == nullptr ? std::string()
                                                                : text_of(*answer->bindings);
    }

    std::unique_ptr<SimulatedTransceiver> sim_;
    AgentLink link_;
    std::vector<std::string> reports_;
};

// Checks an answer that echoes `sent` with an error.
void expect_echo(const SnmpMessage& answer, const std::vector<Binding>& sent) {
    const auto got = bindings_of(answer);
    ASSERT_EQ(got.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(name_of(*got[i]), sent[i].name) << "binding " << i + 1;
        EXPECT_EQ(got[i]->type, sent[i].value.type) << "binding " << i + 1;
        if (sent[i].value.type == kTagOctetString) {
            EXPECT_EQ(text_of(*got[i]), sent[i].value.text) << "binding " << i + 1;
        } else if (sent[i].value.type != kTagNull) {
            EXPECT_EQ(number_of(*got[i]), sent[i].value.number) << "binding " << i + 1;
        }
    }
}

// ---------------------------------------------------------------------------
// Every run of the catalog, both families.

class CatalogRunTest : public AgentTest,
                       public ::testing::WithParamInterface<std::tuple<DeviceFamily, CatalogRun>> {
protected:
    void SetUp() override { start_agent(std::get<0>(GetParam())); }
};

TEST_P(CatalogRunTest, AnswersEveryBindingInOrderWithItsTypeAndAPlausibleValue) {
    const auto& [family, run] = GetParam();
    MessagePtr request = make_request(kPduGetRequest, null_bindings(rows(run.first, run.count)));
    MessagePtr answer(exchange_request(link_, request.get()));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->pdu_type, kPduGetResponse);
    EXPECT_EQ(answer->request_id, request->request_id);
    EXPECT_EQ(answer->error_status, 0);
    EXPECT_EQ(answer->error_index, 0);
    const auto got = bindings_of(*answer);
    ASSERT_EQ(got.size(), static_cast<size_t>(run.count));
    for (int i = 0; i < run.count; ++i) {
        const int row = run.first + i;
        SCOPED_TRACE("row " + std::to_string(row) + " " + dotted(catalog_name(row)));
        EXPECT_EQ(name_of(*got[i]), catalog_name(row));
        ASSERT_EQ(got[i]->type, catalog_type(row));
        if (catalog_type(row) == kTagOctetString) {
            EXPECT_FALSE(text_of(*got[i]).empty() && row != 10) << "only the key may be empty";
            EXPECT_LT(text_of(*got[i]).size(), 100u) << "the console keeps 99 characters";
        } else {
            const Plausible range = plausible_range(row, family);
            EXPECT_GE(number_of(*got[i]), range.low);
            EXPECT_LE(number_of(*got[i]), range.high);
        }
    }
    EXPECT_TRUE(reports_.empty());
}

INSTANTIATE_TEST_SUITE_P(, CatalogRunTest,
                         ::testing::Combine(::testing::ValuesIn(kFamilies),
                                            ::testing::ValuesIn(catalog_runs())),
                         [](const ::testing::TestParamInfo<CatalogRunTest::ParamType>& info) {
                             return family_name(std::get<0>(info.param)) + "_" +
                                    std::get<1>(info.param).name;
                         });

// ---------------------------------------------------------------------------
// The family code in identification item 2.

struct FamilyCase {
    DeviceFamily family;
    std::string code;
    std::string other_code;
};
void PrintTo(const FamilyCase& c, std::ostream* out) {
    PrintTo(c.family, out);
}

class FamilyCodeTest : public AgentTest, public ::testing::WithParamInterface<FamilyCase> {
protected:
    void SetUp() override { start_agent(GetParam().family); }
};

TEST_P(FamilyCodeTest, IdentificationItem2CarriesTheFamilyCodeAfterItsFirstCharacter) {
    const std::string model = read_text(4);
    const size_t at = model.find(GetParam().code);
    ASSERT_NE(at, std::string::npos) << model;
    EXPECT_GE(at, 1u) << "the console looks from offset 1 on";
    EXPECT_EQ(model.find(GetParam().other_code), std::string::npos) << model;
}

TEST_P(FamilyCodeTest, SwitchingTheFamilyChangesTheCodeAndTheLinkRate) {
    const DeviceFamily other =
        GetParam().family == DeviceFamily::k350 ? DeviceFamily::k1000 : DeviceFamily::k350;
    sim_->set_family(other);
    const std::string model = read_text(4);
    EXPECT_NE(model.find(GetParam().other_code), std::string::npos) << model;
    EXPECT_EQ(model.find(GetParam().code), std::string::npos) << model;
    EXPECT_EQ(read_number(39), static_cast<int32_t>(other));
}

INSTANTIATE_TEST_SUITE_P(, FamilyCodeTest,
                         ::testing::Values(FamilyCase{DeviceFamily::k350, "KTR", "VXL"},
                                           FamilyCase{DeviceFamily::k1000, "VXL", "KTR"}),
                         [](const ::testing::TestParamInfo<FamilyCase>& info) {
                             return family_name(info.param.family);
                         });

// ---------------------------------------------------------------------------
// SET.

struct AcceptedSet {
    std::string description;
    int row;
    Value value;
};
void PrintTo(const AcceptedSet& c, std::ostream* out) {
    *out << c.description;
}

class AcceptedSetTest : public AgentTest, public ::testing::WithParamInterface<AcceptedSet> {};

TEST_P(AcceptedSetTest, TakesEffectAndIsReadBack) {
    const AcceptedSet& c = GetParam();
    const std::vector<Binding> sent = {{catalog_name(c.row), c.value}};
    MessagePtr answer = set(sent);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->pdu_type, kPduGetResponse);
    EXPECT_EQ(answer->error_status, 0);
    EXPECT_EQ(answer->error_index, 0);
    expect_echo(*answer, sent);
    if (c.value.type == kTagOctetString) {
        EXPECT_EQ(read_text(c.row), c.value.text);
        EXPECT_EQ(sim_->key(), c.value.text);
    } else {
        EXPECT_EQ(read_number(c.row), c.value.number);
        EXPECT_EQ(sim_->switch_state(c.row - 28), c.value.number);
    }
}

INSTANTIATE_TEST_SUITE_P(
    , AcceptedSetTest,
    ::testing::Values(
        AcceptedSet{"RadioOff", 28, integer(0)}, AcceptedSet{"Switch2On", 29, integer(1)},
        AcceptedSet{"HeaterOn", 30, integer(1)}, AcceptedSet{"Switch4On", 31, integer(1)},
        AcceptedSet{"Switch5On", 32, integer(1)}, AcceptedSet{"Switch6On", 33, integer(1)},
        AcceptedSet{"Key", 10, octets("K3Y-0042-abcd")}, AcceptedSet{"EmptyKey", 10, octets("")},
        AcceptedSet{"KeyOf255Characters", 10, octets(std::string(255, 'k'))}),
    [](const ::testing::TestParamInfo<AcceptedSet>& info) { return info.param.description; });

TEST_F(AgentTest, StatusShowsAKeyWithAZeroOctetEscapedAndTheCountsAfterIt) {
    const std::string key("a\0\"b\\", 5);
    ASSERT_NE(set({{catalog_name(10), octets(key)}}), nullptr);
    ASSERT_EQ(sim_->key(), key);
    const std::string status = run_control_command(*sim_, "status").text;
    EXPECT_NE(status.find(", key \"a\\x00\\\"b\\\\\"\nrequests received 1,"), std::string::npos)
        << status;
    EXPECT_EQ(status.find('\0'), std::string::npos);
}

TEST_F(AgentTest, TheConsolesSetOfAllSixSwitchesTakesEffectTogether) {
    std::vector<Binding> sent;
    for (int k = 0; k < 6; ++k) {
        sent.push_back({catalog_name(28 + k), integer(k % 2 == 0 ? 0 : 1)});
    }
    MessagePtr answer = set(sent);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->error_status, 0);
    expect_echo(*answer, sent);
    MessagePtr read = get(rows(28, 6));
    ASSERT_NE(read, nullptr);
    const auto got = bindings_of(*read);
    ASSERT_EQ(got.size(), 6u);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(number_of(*got[k]), k % 2 == 0 ? 0 : 1) << "switch " << k + 1;
    }
}

struct RejectedSet {
    std::string description;
    std::vector<Binding> bindings;
    int32_t status;
    int32_t index;
};
void PrintTo(const RejectedSet& c, std::ostream* out) {
    *out << c.description;
}

class RejectedSetTest : public AgentTest, public ::testing::WithParamInterface<RejectedSet> {};

TEST_P(RejectedSetTest, AnswersTheErrorEchoesTheBindingsAndAppliesNothing) {
    const RejectedSet& c = GetParam();
    MessagePtr answer = set(c.bindings);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->pdu_type, kPduGetResponse);
    EXPECT_EQ(answer->error_status, c.status);
    EXPECT_EQ(answer->error_index, c.index);
    expect_echo(*answer, c.bindings);
    EXPECT_EQ(sim_->switch_state(kRadioSwitch), 1);
    for (int k = 1; k < kSwitchCount; ++k) {
        EXPECT_EQ(sim_->switch_state(k), 0) << "switch " << k + 1;
    }
    EXPECT_EQ(sim_->key(), "");
}

const Name kUnknownName = {1, 3, 6, 1, 4, 1, 47, 2, 9, 9, 0};

INSTANTIATE_TEST_SUITE_P(
    , RejectedSetTest,
    ::testing::Values(
        RejectedSet{"SwitchValueTwo", {{catalog_name(30), integer(2)}}, 3, 1},
        RejectedSet{"SwitchValueMinusOne", {{catalog_name(28), integer(-1)}}, 3, 1},
        RejectedSet{"SwitchAsText", {{catalog_name(30), octets("1")}}, 3, 1},
        RejectedSet{"SwitchAsCounter", {{catalog_name(30), counter(1)}}, 3, 1},
        RejectedSet{"SwitchWithoutValue", {{catalog_name(30), null_value()}}, 3, 1},
        RejectedSet{"KeyAsInteger", {{catalog_name(10), integer(7)}}, 3, 1},
        RejectedSet{
            "KeyOf256Characters", {{catalog_name(10), octets(std::string(256, 'k'))}}, 3, 1},
        RejectedSet{"ReadOnlyTemperature", {{catalog_name(12), integer(2000)}}, 2, 1},
        RejectedSet{"ReadOnlyModel", {{catalog_name(4), octets("RL-VXL-1000")}}, 2, 1},
        RejectedSet{"ReadOnlySysName", {{catalog_name(2), octets("renamed")}}, 2, 1},
        RejectedSet{"UnknownName", {{kUnknownName, integer(1)}}, 2, 1},
        RejectedSet{"GoodThenBadValue",
                    {{catalog_name(30), integer(1)}, {catalog_name(31), integer(5)}},
                    3,
                    2},
        RejectedSet{"GoodKeyThenReadOnly",
                    {{catalog_name(10), octets("K")}, {catalog_name(34), integer(0)}},
                    2,
                    2}),
    [](const ::testing::TestParamInfo<RejectedSet>& info) { return info.param.description; });

TEST_F(AgentTest, RadioOffZeroesTheTrafficRatesAndRadioOnRestoresThem) {
    ASSERT_GT(read_number(34), 0);
    ASSERT_GT(read_number(35), 0);
    MessagePtr off = set({{catalog_name(28), integer(0)}});
    ASSERT_NE(off, nullptr);
    EXPECT_EQ(read_number(34), 0);
    EXPECT_EQ(read_number(35), 0);
    MessagePtr on = set({{catalog_name(28), integer(1)}});
    ASSERT_NE(on, nullptr);
    EXPECT_GT(read_number(34), 0);
    EXPECT_GT(read_number(35), 0);
}

// ---------------------------------------------------------------------------
// Names the device does not have.

struct UnknownGet {
    std::string description;
    std::vector<Name> names;
    int32_t index;
};
void PrintTo(const UnknownGet& c, std::ostream* out) {
    *out << c.description;
}

class UnknownNameTest : public AgentTest, public ::testing::WithParamInterface<UnknownGet> {};

TEST_P(UnknownNameTest, AnswersNoSuchNameAtTheFirstUnknownBindingWithTheBindingsEchoed) {
    const UnknownGet& c = GetParam();
    MessagePtr request = make_request(kPduGetRequest, null_bindings(c.names));
    MessagePtr answer(exchange_request(link_, request.get()));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->pdu_type, kPduGetResponse);
    EXPECT_EQ(answer->request_id, request->request_id);
    EXPECT_EQ(answer->error_status, 2);
    EXPECT_EQ(answer->error_index, c.index);
    expect_echo(*answer, null_bindings(c.names));
}

INSTANTIATE_TEST_SUITE_P(
    , UnknownNameTest,
    ::testing::Values(
        UnknownGet{"OnlyBinding", {kUnknownName}, 1},
        UnknownGet{"SecondOfThree", {catalog_name(12), kUnknownName, catalog_name(13)}, 2},
        UnknownGet{"FirstOfTwoUnknowns", {catalog_name(12), kUnknownName, {1, 3, 6, 1}}, 2},
        UnknownGet{"LastOfNine",
                   [] {
                       auto names = rows(34, 8);
                       names.push_back({1, 3, 6, 1, 4, 1, 47, 2, 6, 10, 0});
                       return names;
                   }(),
                   9},
        UnknownGet{"NameWithoutInstance", {{1, 3, 6, 1, 4, 1, 47, 2, 1, 2}}, 1},
        UnknownGet{"NameBeyondInstance", {{1, 3, 6, 1, 4, 1, 47, 2, 1, 2, 0, 0}}, 1},
        UnknownGet{"OtherSystemObject", {{1, 3, 6, 1, 2, 1, 1, 2, 0}}, 1},
        UnknownGet{"OtherEnterprise", {{1, 3, 6, 1, 4, 1, 48, 2, 1, 2, 0}}, 1}),
    [](const ::testing::TestParamInfo<UnknownGet>& info) { return info.param.description; });

// ---------------------------------------------------------------------------
// GETNEXT, for tools that walk the agent.

struct NextCase {
    std::string description;
    Name from;
    Name expected;  // empty: past the end
};
void PrintTo(const NextCase& c, std::ostream* out) {
    *out << c.description;
}

class GetNextTest : public AgentTest, public ::testing::WithParamInterface<NextCase> {};

TEST_P(GetNextTest, AnswersTheFollowingObject) {
    const NextCase& c = GetParam();
    MessagePtr answer = exchange(kPduGetNextRequest, {{c.from, null_value()}});
    ASSERT_NE(answer, nullptr);
    ASSERT_NE(answer->bindings, nullptr);
    if (c.expected.empty()) {
        EXPECT_EQ(answer->error_status, 2);
        EXPECT_EQ(answer->error_index, 1);
        EXPECT_EQ(name_of(*answer->bindings), c.from);
        return;
    }
    EXPECT_EQ(answer->error_status, 0);
    EXPECT_EQ(dotted(name_of(*answer->bindings)), dotted(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    , GetNextTest,
    ::testing::Values(NextCase{"FromTheRoot", {1, 3}, catalog_name(0)},
                      NextCase{"FromSysDescr", catalog_name(0), catalog_name(1)},
                      NextCase{"FromSysNameIntoTheEnterprise", catalog_name(2), catalog_name(3)},
                      NextCase{"FromAGroupPrefix", {1, 3, 6, 1, 4, 1, 47, 2, 4}, catalog_name(20)},
                      NextCase{"AcrossAGroup", catalog_name(27), catalog_name(28)},
                      NextCase{"FromTheLastObject", catalog_name(42), {}}),
    [](const ::testing::TestParamInfo<NextCase>& info) { return info.param.description; });

TEST_F(AgentTest, AnswerTooLargeForOneDatagramIsTooBigWithTheBindingsEchoed) {
    const std::vector<Name> names(250, catalog_name(0));
    MessagePtr answer = get(names);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->error_status, 1);
    EXPECT_EQ(answer->error_index, 0);
    expect_echo(*answer, null_bindings(names));
}

// ---------------------------------------------------------------------------
// Requests the agent drops.

TEST_F(AgentTest, WrongCommunityGetsNoAnswerAtAll) {
    std::snprintf(link_.community, sizeof link_.community, "public");
    link_.community_length = 6;
    EXPECT_EQ(get(rows(12, 3)), nullptr);
    EXPECT_EQ(sim_->requests_received(), 1u);
    EXPECT_EQ(sim_->answers_sent(), 0u);
    EXPECT_TRUE(reports_.empty());
}

std::vector<uint8_t> encoded(int32_t pdu_type, int32_t version) {
    AgentLink sender;
    sender.version = version;
    MessagePtr message = make_request(pdu_type, null_bindings(rows(12, 3)));
    message->request_id = 77;
    message->error_status = 0;
    message->error_index = 0;
    std::vector<uint8_t> out(kMaxDatagram);
    int32_t length = kMaxDatagram;
    if (msg_encode(sender, message.get(), out.data(), &length) != 0) {
        return {};
    }
    out.resize(static_cast<size_t>(length));
    return out;
}

struct DroppedDatagram {
    std::string description;
    std::function<std::vector<uint8_t>()> make;
};
void PrintTo(const DroppedDatagram& c, std::ostream* out) {
    *out << c.description;
}

class DroppedDatagramTest : public AgentTest,
                            public ::testing::WithParamInterface<DroppedDatagram> {};

// The agent handles datagrams in arrival order, so once the answer to a
// later request is back, the dropped one has been seen and not answered.
TEST_P(DroppedDatagramTest, IsNotAnsweredAndDoesNotDisturbTheNextRequest) {
    const std::vector<uint8_t> datagram = GetParam().make();
    ASSERT_FALSE(datagram.empty());
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(sim_->port());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_TRUE(LoopbackPeer().send_to(to, datagram));
    ASSERT_TRUE(sim_->wait_for_requests(1, milliseconds(1000)));

    MessagePtr answer = get(rows(12, 3));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->error_status, 0);
    EXPECT_EQ(sim_->requests_received(), 2u);
    EXPECT_EQ(sim_->answers_sent(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    , DroppedDatagramTest,
    ::testing::Values(DroppedDatagram{"NotSnmp",
                                      [] {
                                          return std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'};
                                      }},
                      DroppedDatagram{"Truncated",
                                      [] {
                                          auto d = encoded(kPduGetRequest, 0);
                                          d.pop_back();
                                          return d;
                                      }},
                      DroppedDatagram{"Version2c", [] { return encoded(kPduGetRequest, 1); }},
                      DroppedDatagram{"GetResponse", [] { return encoded(kPduGetResponse, 0); }},
                      DroppedDatagram{"Trap",
                                      [] {
                                          // A GetRequest with its PDU tag turned into Trap's;
                                          // the tag follows the 4 header, 3 version and 8
                                          // community octets.
                                          auto d = encoded(kPduGetRequest, 0);
                                          d[15] = static_cast<uint8_t>(kPduTrap);
                                          return d;
                                      }}),
    [](const ::testing::TestParamInfo<DroppedDatagram>& info) { return info.param.description; });

// ---------------------------------------------------------------------------
// Faults, as the console meets them.

TEST_F(AgentTest, SilentAgentCostsOneWaitAndReceivesTheRequestOnce) {
    sim_->set_silent(true);
    const auto began = SteadyClock::now();
    EXPECT_EQ(get(rows(12, 3)), nullptr);
    EXPECT_GE(SteadyClock::now() - began, link_.answer_wait);
    ASSERT_TRUE(sim_->wait_for_requests(1, milliseconds(1000)));
    EXPECT_EQ(sim_->requests_received(), 1u);
    EXPECT_EQ(sim_->answers_sent(), 0u);
    EXPECT_TRUE(reports_.empty());
}

TEST_F(AgentTest, SilentAgentDoesNotActOnASet) {
    sim_->set_silent(true);
    // Sent without waiting for an answer that will not come.
    MessagePtr request = make_request(kPduSetRequest, {{catalog_name(28), integer(0)}});
    ASSERT_NE(send_request(link_, request.get()), 0);
    ASSERT_TRUE(sim_->wait_for_requests(1, milliseconds(1000)));
    sim_->set_silent(false);
    EXPECT_EQ(read_number(28), 1);
}

TEST_F(AgentTest, GarbageAnswerIsReportedAsMangledPacket) {
    sim_->set_garbage(true);
    EXPECT_EQ(get(rows(12, 3)), nullptr);
    EXPECT_EQ(reports_, std::vector<std::string>{"Mangled packet"});
    EXPECT_EQ(sim_->answers_sent(), 1u);
}

TEST_F(AgentTest, AnswerWithAWrongRequestIdIsIgnored) {
    sim_->set_wrong_request_id(true);
    EXPECT_EQ(get(rows(12, 3)), nullptr);
    EXPECT_TRUE(reports_.empty());
    EXPECT_EQ(sim_->requests_received(), 1u);
    EXPECT_EQ(sim_->answers_sent(), 1u);
}

TEST_F(AgentTest, AnswerFromAnotherPortIsIgnored) {
    sim_->set_other_port(true);
    EXPECT_EQ(get(rows(12, 3)), nullptr);
    EXPECT_TRUE(reports_.empty());
    EXPECT_EQ(sim_->requests_received(), 1u);
    EXPECT_EQ(sim_->answers_sent(), 1u);
}

TEST_F(AgentTest, AnswerDelayedBelowTheWaitArrivesLate) {
    const milliseconds delay(300);
    sim_->set_delay(delay);
    const auto began = SteadyClock::now();
    MessagePtr answer = get(rows(12, 3));
    const auto took = SteadyClock::now() - began;
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->error_status, 0);
    EXPECT_GE(took, delay);
    EXPECT_LT(took, link_.answer_wait);
}

struct DelayOrder {
    std::string description;
    std::vector<int> delays_ms;    // in force for each request in turn
    std::vector<size_t> expected;  // the requests in the order of their answers
};
void PrintTo(const DelayOrder& c, std::ostream* out) {
    *out << c.description;
}

class DelayOrderTest : public AgentTest, public ::testing::WithParamInterface<DelayOrder> {};

TEST_P(DelayOrderTest, EachAnswerLeavesAtItsOwnTimeAndEqualDelaysKeepRequestOrder) {
    const DelayOrder& c = GetParam();
    std::vector<int32_t> sent;
    for (int delay : c.delays_ms) {
        sim_->set_delay(milliseconds(delay));
        sent.push_back(send_get());
        ASSERT_NE(sent.back(), 0);
        ASSERT_TRUE(sim_->wait_for_requests(sent.size(), milliseconds(1000)));
    }
    std::vector<int32_t> expected;
    for (size_t index : c.expected) {
        expected.push_back(sent[index]);
    }
    EXPECT_EQ(receive_ids(sent.size(), milliseconds(3000)), expected);
}

INSTANTIATE_TEST_SUITE_P(
    , DelayOrderTest,
    ::testing::Values(DelayOrder{"EqualDelays", std::vector<int>(8, 100), {0, 1, 2, 3, 4, 5, 6, 7}},
                      DelayOrder{"DelayLoweredMidRunReleasesWhatWaits", {600, 10}, {0, 1}},
                      // The last request goes out well within the first one's delay
                      // less its own, even on a loaded machine or under Wine.
                      DelayOrder{"MixedDelays", {900, 10, 450, 450}, {0, 1, 2, 3}},
                      DelayOrder{"DelayRaisedMidRun", {100, 600}, {0, 1}}),
    [](const ::testing::TestParamInfo<DelayOrder>& info) { return info.param.description; });

TEST_F(AgentTest, DelayedAnswersBeyondTheLimitAreDroppedAndCounted) {
    sim_->set_delay(std::chrono::seconds(60));
    const uint64_t extra = 100;
    const uint64_t total = kMaxPendingAnswers + extra;
    uint64_t sent = 0;
    while (sent < total) {
        // In batches the agent's socket buffer holds, so that none is lost.
        for (int i = 0; i < 64 && sent < total; ++i, ++sent) {
            ASSERT_NE(send_get(), 0);
        }
        ASSERT_TRUE(sim_->wait_for_requests(sent, milliseconds(5000)));
    }
    EXPECT_EQ(sim_->pending_answers(), kMaxPendingAnswers);
    EXPECT_EQ(sim_->answers_dropped(), extra);
    EXPECT_EQ(sim_->answers_sent(), 0u);
}

TEST_F(AgentTest, ClearDropsTheWaitingAnswersAndAShorterDelayReleasesThem) {
    sim_->set_delay(std::chrono::minutes(10));
    std::vector<int32_t> sent;
    for (int i = 0; i < 3; ++i) {
        sent.push_back(send_get());
    }
    ASSERT_TRUE(sim_->wait_for_requests(3, milliseconds(1000)));
    sim_->set_delay(milliseconds(0));
    EXPECT_EQ(receive_ids(3, milliseconds(1000)), sent);

    sim_->set_delay(std::chrono::minutes(10));
    for (int i = 0; i < 2; ++i) {
        ASSERT_NE(send_get(), 0);
    }
    ASSERT_TRUE(sim_->wait_for_requests(5, milliseconds(1000)));
    EXPECT_EQ(sim_->pending_answers(), 2u);
    sim_->clear_faults();
    EXPECT_EQ(sim_->pending_answers(), 0u);
    EXPECT_EQ(sim_->answers_dropped(), 2u);
    EXPECT_NE(get(rows(12, 3)), nullptr) << "answered at once after clear";
    EXPECT_EQ(sim_->answers_sent(), 4u);
}

class ForcedErrorTest : public AgentTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(ForcedErrorTest, EveryAnswerCarriesTheStatusWithTheBindingsEchoedAndNothingApplied) {
    sim_->set_error_status(GetParam());
    const auto names = rows(20, 8);
    MessagePtr answer = get(names);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->error_status, GetParam());
    EXPECT_EQ(answer->error_index, 1);
    expect_echo(*answer, null_bindings(names));

    const std::vector<Binding> radio_off = {{catalog_name(28), integer(0)}};
    MessagePtr set_answer = set(radio_off);
    ASSERT_NE(set_answer, nullptr);
    EXPECT_EQ(set_answer->error_status, GetParam());
    expect_echo(*set_answer, radio_off);
    EXPECT_EQ(sim_->switch_state(kRadioSwitch), 1);

    sim_->set_error_status(0);
    MessagePtr normal = get(names);
    ASSERT_NE(normal, nullptr);
    EXPECT_EQ(normal->error_status, 0);
}

INSTANTIATE_TEST_SUITE_P(, ForcedErrorTest, ::testing::Values(1, 2, 3, 4, 5),
                         [](const ::testing::TestParamInfo<int32_t>& info) {
                             return "Status" + std::to_string(info.param);
                         });

struct RailCase {
    SupplyRail rail;
    int row;
    int32_t millivolts;
};
void PrintTo(const RailCase& c, std::ostream* out) {
    *out << supply_rail_name(c.rail) << " at " << c.millivolts << " mV";
}

class RailOverrideTest : public AgentTest, public ::testing::WithParamInterface<RailCase> {};

TEST_P(RailOverrideTest, PinnedRailIsReadBackAndOnlyThatOne) {
    const RailCase& c = GetParam();
    sim_->set_rail(c.rail, c.millivolts);
    MessagePtr answer = get(rows(20, 8));
    ASSERT_NE(answer, nullptr);
    const auto got = bindings_of(*answer);
    ASSERT_EQ(got.size(), 8u);
    for (int row = 20; row <= 26; ++row) {
        const int32_t value = number_of(*got[row - 20]);
        if (row == c.row) {
            EXPECT_EQ(value, c.millivolts);
        } else {
            EXPECT_GE(value, plausible_range(row, DeviceFamily::k350).low) << "row " << row;
            EXPECT_LE(value, plausible_range(row, DeviceFamily::k350).high) << "row " << row;
        }
    }
    sim_->clear_rails();
    EXPECT_NE(read_number(c.row), c.millivolts);
}

INSTANTIATE_TEST_SUITE_P(, RailOverrideTest,
                         ::testing::Values(RailCase{SupplyRail::k24V, 20, 35001},
                                           RailCase{SupplyRail::k12V, 21, 9999},
                                           RailCase{SupplyRail::k9V, 22, 11001},
                                           RailCase{SupplyRail::kMinus12V, 23, 7999},
                                           RailCase{SupplyRail::k5V, 24, 6001},
                                           RailCase{SupplyRail::k3V3, 25, 2499},
                                           RailCase{SupplyRail::k5VStandby, 26, 0}),
                         [](const ::testing::TestParamInfo<RailCase>& info) {
                             return "Row" + std::to_string(info.param.row);
                         });

// ---------------------------------------------------------------------------
// Time and counters.

class CounterTest : public AgentTest, public ::testing::WithParamInterface<DeviceFamily> {
protected:
    void SetUp() override { start_agent(GetParam()); }

    std::vector<int32_t> read_traffic() {
        MessagePtr answer = get(rows(34, 9));
        std::vector<int32_t> values(43, 0);
        EXPECT_NE(answer, nullptr);
        if (answer != nullptr) {
            int row = 34;
            for (const VarBinding* b : bindings_of(*answer)) {
                values[row++] = number_of(*b);
            }
        }
        return values;
    }
    std::vector<int> counter_rows() const {
        if (GetParam() == DeviceFamily::k1000) {
            return {36, 37, 41, 42};
        }
        return {37, 41, 42};
    }
};

TEST_P(CounterTest, CountersGrowWithModelTimeAndNeverDecrease) {
    sim_->freeze_time(100.0);
    const auto first = read_traffic();
    sim_->freeze_time(160.0);
    const auto later = read_traffic();
    for (int row : counter_rows()) {
        EXPECT_GT(later[row], first[row]) << "row " << row;
    }
    // Back to the running clock, which is behind the frozen time.
    sim_->run_time();
    const auto running = read_traffic();
    sim_->freeze_time(50.0);
    const auto rewound = read_traffic();
    for (int row : counter_rows()) {
        EXPECT_GE(running[row], later[row]) << "row " << row;
        EXPECT_GE(rewound[row], running[row]) << "row " << row;
    }
}

TEST_P(CounterTest, FrozenTimeGivesTheSameAnswerTwice) {
    sim_->freeze_time(1234.5);
    MessagePtr first = get(rows(12, 31));
    MessagePtr second = get(rows(12, 31));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    const auto a = bindings_of(*first);
    const auto b = bindings_of(*second);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(number_of(*a[i]), number_of(*b[i])) << "row " << 12 + i;
    }
}

TEST_P(CounterTest, RadioOffHoldsTheCounters) {
    sim_->freeze_time(10.0);
    MessagePtr off = set({{catalog_name(28), integer(0)}});
    ASSERT_NE(off, nullptr);
    const auto before = read_traffic();
    sim_->freeze_time(100.0);
    const auto after = read_traffic();
    for (int row : counter_rows()) {
        EXPECT_EQ(after[row], before[row]) << "row " << row;
    }
}

INSTANTIATE_TEST_SUITE_P(, CounterTest, ::testing::ValuesIn(kFamilies),
                         [](const ::testing::TestParamInfo<DeviceFamily>& info) {
                             return family_name(info.param);
                         });

// ---------------------------------------------------------------------------
// Life cycle.

TEST_F(AgentTest, StopIsPromptAndFreesThePort) {
    const uint16_t port = sim_->port();
    const auto began = SteadyClock::now();
    sim_->stop();
    EXPECT_LT(SteadyClock::now() - began, milliseconds(500));
    EXPECT_FALSE(sim_->running());
    EXPECT_EQ(sim_->port(), 0);

    SimulatorOptions options;
    options.port = port;
    SimulatedTransceiver again(options);
    std::string error;
    EXPECT_TRUE(again.start(&error)) << error;
    EXPECT_EQ(again.port(), port);
}

TEST_F(AgentTest, SecondAgentOnATakenPortFailsToStartAndSaysWhy) {
    SimulatorOptions options;
    options.port = sim_->port();
    SimulatedTransceiver second(options);
    std::string error;
    EXPECT_FALSE(second.start(&error));
    EXPECT_NE(error.find("bind"), std::string::npos) << error;
    EXPECT_FALSE(second.running());
}

TEST(SimulatedTransceiverStart, RefusesABindAddressThatIsNotNumeric) {
    SimulatorOptions options;
    options.bind_address = "localhost.invalid";
    SimulatedTransceiver sim(options);
    std::string error;
    EXPECT_FALSE(sim.start(&error));
    EXPECT_NE(error.find("localhost.invalid"), std::string::npos) << error;
}

// An agent on IPv6 loopback answers there; one on "::" answers both
// families (a dual-stack socket, where the system has one). The link's one
// socket reaches both. A system without them (Wine, say) is named.
TEST(SimulatedTransceiverStart, AnswersOnTheFamiliesItsBindAddressServes) {
    const struct {
        const char* bind;
        const char* host;
    } cases[] = {{"::1", "::1"}, {"::", "::1"}, {"::", "127.0.0.1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.bind) + " from " + c.host);
        SimulatorOptions options;
        options.bind_address = c.bind;
        SimulatedTransceiver sim(options);
        std::string error;
        if (!sim.start(&error)) {
            // Only a system without IPv6 is a reason to skip.
            ASSERT_TRUE(error.rfind("socket", 0) == 0 || error.rfind("bind", 0) == 0) << error;
            GTEST_SKIP() << "no IPv6 on this system (" << error << ")";
        }
        AgentLink link;
        std::snprintf(link.host, sizeof link.host, "%s", c.host);
        link.agent_port = sim.port();
        link.answer_wait = milliseconds(500);
        ASSERT_EQ(open_link(link), 1);
        if (link.socket_family != AF_INET6) {
            close_link(link);
            GTEST_SKIP() << "no dual-stack UDP socket on this system: IPv4 agents only";
        }
        MessagePtr request = make_request(kPduGetRequest, null_bindings(rows(12, 3)));
        MessagePtr answer(exchange_request(link, request.get()));
        ASSERT_NE(answer, nullptr);
        EXPECT_TRUE(same_endpoint(answer->peer, link.agent_address));
        EXPECT_EQ(sim.requests_received(), 1u);
        close_link(link);
    }
}

TEST_F(AgentTest, StoppingDoesNotWaitForDelayedAnswers) {
    sim_->set_delay(milliseconds(1500));
    MessagePtr request = make_request(kPduGetRequest, null_bindings(rows(12, 3)));
    ASSERT_NE(send_request(link_, request.get()), 0);
    ASSERT_TRUE(sim_->wait_for_requests(1, milliseconds(1000)));
    const auto began = SteadyClock::now();
    sim_.reset();  // the destructor stops the agent
    EXPECT_LT(SteadyClock::now() - began, milliseconds(500));
}

}  // namespace
