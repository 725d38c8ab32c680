// The agent link against a scripted peer on loopback: numbering, what goes
// on the wire, and which datagram is taken as the answer.
#include "snmp/agent_link.h"

#include <gtest/gtest.h>

#ifdef __linux__
#include <net/if.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "hex.h"
#include "loopback_peer.h"
#include "snmp/alloc.h"
#include "snmp/diagnostic.h"
#include "snmp/message.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

const uint32_t kName[] = {1, 3, 6, 1, 4, 1, 47, 2, 2, 2, 0};

// A GetResponse carrying one INTEGER.
Bytes answer(int32_t request_id, int32_t value) {
    MessagePtr m(msg_create(kPduGetResponse));
    m->request_id = request_id;
    m->error_status = 0;
    m->error_index = 0;
    binding_set_int32(msg_append_null_binding(m.get(), kName, 11), value);
    uint8_t out[kMaxDatagram];
    int32_t length = sizeof out;
    msg_encode(AgentLink(), m.get(), out, &length);
    return Bytes(out, out + length);
}

int32_t integer_of(const SnmpMessage* m) {
    int32_t v = 0;
    if (m != nullptr && m->bindings != nullptr && m->bindings->value_length == 4) {
        std::memcpy(&v, m->bindings->value, 4);
    }
    return v;
}

MessagePtr get_request() {
    MessagePtr m(msg_create(kPduGetRequest));
    msg_append_null_binding(m.get(), kName, 11);
    return m;
}

// "device.lab" has an IPv4 address; "dual.lab" has both, IPv6 first in the
// resolver's order; "group.lab" is a multicast group.
bool fake_lookup(const char* name, int family, SocketAddress* address, std::string*) {
    const std::string n(name);
    const char* text = n == "device.lab"  ? "10.1.2.3"
                       : n == "dual.lab"  ? (family == AF_INET ? "10.4.5.6" : "2001:db8::5")
                       : n == "group.lab" ? "239.1.2.3"
                                          : nullptr;
    return text != nullptr && numeric_address(text, address);
}

// "FAMILY ADDRESS PORT" of a resolved agent, the address in full hex for
// IPv6 (the same on every platform); "none" without one.
std::string agent_text(const AgentLink& link) {
    const SocketAddress& a = link.agent_address;
    const std::string port = " " + std::to_string(address_port(a));
    if (address_family(a) == AF_INET) {
        char text[INET_ADDRSTRLEN] = "";
        inet_ntop(AF_INET, &a.v4.sin_addr, text, sizeof text);
        return "4 " + std::string(text) + port;
    }
    if (address_family(a) != AF_INET6) {
        return "none";
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(&a.v6.sin6_addr);
    std::string text = "6 ";
    for (int i = 0; i < 16; i += 2) {
        char group[8];
        std::snprintf(group, sizeof group, i == 0 ? "%x" : ":%x", bytes[i] << 8 | bytes[i + 1]);
        text += group;
    }
    return text + port;
}

class AgentLinkTest : public testing::Test {
protected:
    // A wait for tests that only need "no answer came". The others keep the
    // console's two seconds, which costs nothing when the answer comes and
    // keeps "ended early" meaningful.
    static constexpr std::chrono::milliseconds kBriefWait{200};

    void SetUp() override {
        request_counter = 0;
        set_name_lookup(fake_lookup);
        link_.report = [this](const std::string& text) { reports_.push_back(text); };
        link_.agent_port = agent_.port();
        ASSERT_EQ(open_link(link_), 1);
    }
    void TearDown() override {
        set_name_lookup(nullptr);
        close_link(link_);
    }

    // Runs `script` as the agent while `exchange_request` runs here.
    MessagePtr exchange(const std::function<void(int32_t id, const sockaddr_in& from)>& script,
                        double* seconds = nullptr) {
        std::thread agent([&] {
            Bytes request;
            sockaddr_in from{};
            if (agent_.receive(&request, &from)) {
                int32_t id = 0;
                msg_peek_request_id(request.data(), static_cast<int32_t>(request.size()), &id);
                script(id, from);
            }
        });
        MessagePtr request = get_request();
        const auto start = Clock::now();
        MessagePtr got(exchange_request(link_, request.get()));
        if (seconds != nullptr) {
            *seconds = std::chrono::duration<double>(Clock::now() - start).count();
        }
        agent.join();
        return got;
    }

    void wait_briefly() { link_.answer_wait = kBriefWait; }

    // The link's socket as an IPv4 peer on loopback reaches it.
    sockaddr_in local_address() const {
        SocketAddress bound{};
        socklen_t n = sizeof bound;
        getsockname(link_.socket_handle, &bound.any, &n);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(address_port(bound));
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return local;
    }

    LoopbackPeer agent_;
    AgentLink link_;
    std::vector<std::string> reports_;
};

// ---------------------------------------------------------------- the record

TEST(AgentLinkRecord, StartsWithTheConsoleDefaults) {
    AgentLink link;
    EXPECT_STREQ(link.host, "");
    EXPECT_EQ(link.agent_port, 161);
    EXPECT_EQ(link.local_port, 0);
    EXPECT_EQ(link.version, 0);
    EXPECT_STREQ(link.community, "quolen");
    EXPECT_EQ(link.community_length, 6);
    EXPECT_EQ(link.socket_handle, kNoSocket);
    EXPECT_EQ(address_family(link.agent_address), 0);
    EXPECT_EQ(link.answer_wait, std::chrono::seconds(2));
}

TEST_F(AgentLinkTest, ResolvesNumbersNamesAndTheEmptyHost) {
    const struct {
        const char* host;
        int result;
        uint32_t address;  // host order
        const char* report;
    } cases[] = {
        {"", 1, 0x7F000001, nullptr},
        {"192.168.7.20", 1, 0xC0A80714, nullptr},
        {"device.lab", 1, 0x0A010203, nullptr},
        {"no.such.device", 0, 0, "Can't resolve hostname: no address found for this name"},
        {"10.9.8.7", 1, 0x0A090807, nullptr},
    };
    link_.agent_port = 1161;
    for (const auto& c : cases) {
        reports_.clear();
        std::strcpy(link_.host, c.host);
        EXPECT_EQ(resolve_agent(link_), c.result) << c.host;
        EXPECT_EQ(ntohl(link_.agent_address.v4.sin_addr.s_addr), c.address) << c.host;
        EXPECT_EQ(has_agent(link_), c.result == 1) << c.host;
        EXPECT_EQ(ntohs(link_.agent_address.v4.sin_port), c.result == 1 ? 1161 : 0) << c.host;
        EXPECT_EQ(reports_,
                  c.report ? std::vector<std::string>{c.report} : std::vector<std::string>{})
            << c.host;
    }
}

// What follows "Can't resolve hostname: " for each kind of refusal.
constexpr char kBadPort[] = "the port must be a number from 1 to 65535";
constexpr char kBadForm[] =
    "not an address of the form HOST, HOST:PORT, IPv6 address or [IPv6 address]:PORT";
constexpr char kNotIpv6[] = "not an IPv6 address";
constexpr char kNotDecimal[] =
    "a numeric IPv4 address is four decimal numbers from 0 to 255 separated by dots";
constexpr char kOctal[] = " has a leading zero, which some systems read as octal";
constexpr char kMulticast[] = "a multicast address, which reaches every device that listens on it";
constexpr char kBroadcast[] = "the broadcast address, which reaches every device on the network";
constexpr char kUnspecified[] = "the unspecified address, which names no device";

TEST_F(AgentLinkTest, AddressTextsResolveToFamilyAddressAndPortOrAreRefused) {
    const std::string octal = kOctal;
    const struct {
        std::string text;
        std::string agent;  // "none": refused, with "Can't resolve hostname" and `cause`
        std::string cause;  // empty: the plain text, for a name the resolver does not know
    } cases[] = {
        {"10.0.0.1", "4 10.0.0.1 1161", ""},
        {"10.0.0.1:1161", "4 10.0.0.1 1161", ""},
        {"device.lab:65535", "4 10.1.2.3 65535", ""},
        {"dual.lab", "6 2001:db8:0:0:0:0:0:5 1161", ""},
        {"dual.lab:7", "6 2001:db8:0:0:0:0:0:5 7", ""},
        {"::1", "6 0:0:0:0:0:0:0:1 1161", ""},
        {"::1:161", "6 0:0:0:0:0:0:1:161 1161", ""},
        {"fe80::1", "6 fe80:0:0:0:0:0:0:1 1161", ""},
        {"[2001:db8::7]:1162", "6 2001:db8:0:0:0:0:0:7 1162", ""},
        {"[::1]", "6 0:0:0:0:0:0:0:1 1161", ""},
        {"::ffff:10.0.0.9", "4 10.0.0.9 1161", ""},
        {"[::ffff:10.0.0.9]:99", "4 10.0.0.9 99", ""},
        {"no.such.device", "none", "no address found for this name"},
        {"10.0.0.1:0", "none", kBadPort},
        {"10.0.0.1:65536", "none", kBadPort},
        {"10.0.0.1:", "none", kBadPort},
        {":161", "none", kBadForm},
        {"10.0.0.1:16a", "none", kBadPort},
        {"host:+161", "none", kBadPort},
        {"[::1]:", "none", kBadPort},
        {"[::1]:0", "none", kBadPort},
        {"[::1]161", "none", kBadForm},
        {"[::1", "none", kBadForm},
        {"::1]", "none", kBadForm},
        {"[]:161", "none", kBadForm},
        {"[10.0.0.1]:161", "none", kBadForm},
        {"[device.lab]", "none", kBadForm},
        {"2001:db8::7::1", "none", kNotIpv6},
        {"dual.lab:80:1", "none", kNotIpv6},
        // Digits and dots: a dotted quad of decimal numbers or nothing, so
        // the resolver's old forms cannot reach another device.
        {"0.0.0.1", "4 0.0.0.1 1161", ""},
        {"255.255.255.254:7", "4 255.255.255.254 7", ""},
        {"010.000.000.001", "none", "010" + octal},
        {"10.1.1.010", "none", "010" + octal},
        {"010.0.0.1:1161", "none", "010" + octal},
        {"192.168.1", "none", "an IPv4 address has four numbers, not 3"},
        {"10.1", "none", "an IPv4 address has four numbers, not 2"},
        {"2130706433", "none", "an IPv4 address has four numbers, not 1"},
        {"1.2.3.4.5", "none", "an IPv4 address has four numbers, not 5"},
        {"256.1.1.1", "none", "256 is over 255"},
        {"99999999999999999999.1.1.1", "none", "99999999999999999999 is over 255"},
        {"1..2.3", "none", "a number is missing between the dots"},
        {"1.2.3.", "none", "a number is missing between the dots"},
        {"0x7f.0.0.1", "none", kNotDecimal},
        {"0x7F000001", "none", kNotDecimal},
        {"0xcafe.lab", "none", "no address found for this name"},
        // Destinations of many devices or none, typed or resolved.
        {"224.0.0.1", "none", kMulticast},
        {"group.lab", "none", kMulticast},
        {"ff02::1", "none", kMulticast},
        {"::ffff:224.0.0.1", "none", kMulticast},
        {"255.255.255.255", "none", kBroadcast},
        {"0.0.0.0", "none", kUnspecified},
        {"[::]:161", "none", kUnspecified},
        {"223.255.255.255", "4 223.255.255.255 1161", ""},
        {"240.0.0.1", "4 240.0.0.1 1161", ""},
    };
    link_.agent_port = 1161;
    for (const auto& c : cases) {
        reports_.clear();
        std::strcpy(link_.host, c.text.c_str());
        const bool none = c.agent == "none";
        const std::string report =
            "Can't resolve hostname" + (c.cause.empty() ? "" : ": " + c.cause);
        EXPECT_EQ(resolve_agent(link_), none ? 0 : 1) << c.text;
        EXPECT_EQ(agent_text(link_), c.agent) << c.text;
        EXPECT_EQ(reports_, none ? std::vector<std::string>{report} : std::vector<std::string>{})
            << c.text;
    }
}

TEST_F(AgentLinkTest, AnIpv4OnlySocketRefusesIpv6AndTakesANamesIpv4Address) {
    const int opened_as = link_.socket_family;
    link_.agent_port = 161;
    link_.socket_family = AF_INET;  // as on a system without IPv6
    const struct {
        const char* text;
        const char* agent;
    } cases[] = {
        {"[::1]:1161", "none"},
        {"dual.lab", "4 10.4.5.6 161"},
        {"10.0.0.1", "4 10.0.0.1 161"},
        {"::ffff:10.0.0.9", "4 10.0.0.9 161"},
    };
    for (const auto& c : cases) {
        std::strcpy(link_.host, c.text);
        resolve_agent(link_);
        EXPECT_EQ(agent_text(link_), c.agent) << c.text;
    }
    link_.socket_family = opened_as;
}

#ifdef __linux__
TEST_F(AgentLinkTest, AZoneNamesTheInterface) {
    std::strcpy(link_.host, "[fe80::1%lo]:1161");
    ASSERT_EQ(resolve_agent(link_), 1);
    EXPECT_EQ(agent_text(link_), "6 fe80:0:0:0:0:0:0:1 1161");
    EXPECT_EQ(link_.agent_address.v6.sin6_scope_id, if_nametoindex("lo"));
}
#endif

TEST_F(AgentLinkTest, AfterAFailedResolutionNothingIsSentUntilAnAddressResolves) {
    const struct {
        const char* host;
        bool sent;
    } steps[] = {{"no.such.device", false}, {"127.0.0.1", true}, {"no.such.device", false}};
    wait_briefly();
    for (const auto& step : steps) {
        std::strcpy(link_.host, step.host);
        resolve_agent(link_);
        MessagePtr request = get_request();
        const auto start = Clock::now();
        EXPECT_EQ(send_request(link_, request.get()) != 0, step.sent) << step.host;
        MessagePtr none(exchange_request(link_, request.get()));
        EXPECT_EQ(none, nullptr);
        if (!step.sent) {
            EXPECT_LT(Clock::now() - start, link_.answer_wait)
                << "no wait for an answer that cannot come";
        }
        Bytes wire;
        sockaddr_in from{};
        EXPECT_EQ(agent_.receive(&wire, &from, 100), step.sent) << step.host;
        while (agent_.receive(&wire, &from, 0)) {
        }
    }
}

TEST_F(AgentLinkTest, CancellingEndsTheWaitAndStopsSending) {
    std::atomic<bool> cancel{false};
    link_.cancel = &cancel;
    double seconds = 0;
    MessagePtr none = exchange(
        [&](int32_t, const sockaddr_in&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            cancel = true;  // the agent stays silent
        },
        &seconds);
    EXPECT_EQ(none, nullptr);
    EXPECT_LT(seconds, 1.0) << "a cancelled wait ends well before two seconds";
    MessagePtr request = get_request();
    EXPECT_EQ(exchange_request(link_, request.get()), nullptr);
    Bytes wire;
    sockaddr_in from{};
    EXPECT_FALSE(agent_.receive(&wire, &from, 100)) << "nothing sent once cancelled";
    EXPECT_TRUE(reports_.empty());
}

TEST_F(AgentLinkTest, OpeningAgainKeepsTheSocket) {
    const socket_t first = link_.socket_handle;
    EXPECT_EQ(open_link(link_), 1);
    EXPECT_EQ(link_.socket_handle, first);
}

// ---------------------------------------------------------------- sending

TEST_F(AgentLinkTest, RequestsAreNumberedAcrossTheProcess) {
    Bytes wire;
    sockaddr_in from{};
    MessagePtr first = get_request();
    MessagePtr second = get_request();
    MessagePtr numbered = get_request();
    numbered->request_id = 77;
    EXPECT_EQ(send_request(link_, first.get()), 1);
    EXPECT_EQ(send_request(link_, numbered.get()), 77);
    EXPECT_EQ(send_request(link_, second.get()), 2);
    for (int32_t expected : {1, 77, 2}) {
        ASSERT_TRUE(agent_.receive(&wire, &from));
        int32_t id = 0;
        ASSERT_EQ(msg_peek_request_id(wire.data(), static_cast<int32_t>(wire.size()), &id), 0);
        EXPECT_EQ(id, expected);
    }
}

TEST_F(AgentLinkTest, NumberingWrapsWithoutEverGivingZero) {
    const struct {
        int32_t counter;
        int32_t next;
    } cases[] = {{2147483646, 2147483647}, {2147483647, -2147483647 - 1}, {-1, 1}};
    for (const auto& c : cases) {
        request_counter = c.counter;
        MessagePtr m = get_request();
        EXPECT_EQ(send_request(link_, m.get()), c.next);
        EXPECT_EQ(request_counter.load(), c.next);
    }
}

TEST_F(AgentLinkTest, FreshRequestGoesOutWithZeroErrorFieldsAndThePeerSet) {
    MessagePtr m = get_request();
    ASSERT_EQ(send_request(link_, m.get()), 1);
    EXPECT_EQ(m->error_status, 0);
    EXPECT_EQ(m->error_index, 0);
    EXPECT_EQ(ntohs(m->peer.v4.sin_port), agent_.port());
    Bytes wire;
    sockaddr_in from{};
    ASSERT_TRUE(agent_.receive(&wire, &from));
    MessagePtr sent(static_cast<SnmpMessage*>(snmp_alloc_zeroed(sizeof(SnmpMessage))));
    ASSERT_EQ(msg_decode(sent.get(), wire.data(), static_cast<int32_t>(wire.size())), 0);
    EXPECT_EQ(sent->pdu_type, kPduGetRequest);
    EXPECT_EQ(sent->error_status, 0);
    EXPECT_EQ(sent->error_index, 0);
    EXPECT_EQ(wire[0], 0x30);
}

TEST_F(AgentLinkTest, UnsendableTypesSendNothingAndShowNothing) {
    for (int32_t type : {kPduTrap, 0xA6, 0x30}) {
        MessagePtr m(msg_create(type));
        EXPECT_EQ(send_request(link_, m.get()), 0);
        EXPECT_EQ(exchange_request(link_, m.get()), nullptr);
    }
    MessagePtr get = get_request();
    ASSERT_EQ(send_request(link_, get.get()), 1) << "no number was used up";
    Bytes wire;
    sockaddr_in from{};
    ASSERT_TRUE(agent_.receive(&wire, &from));
    MessagePtr first(static_cast<SnmpMessage*>(snmp_alloc_zeroed(sizeof(SnmpMessage))));
    ASSERT_EQ(msg_decode(first.get(), wire.data(), static_cast<int32_t>(wire.size())), 0);
    EXPECT_EQ(first->pdu_type, kPduGetRequest) << "the first datagram the agent sees is the GET";
    EXPECT_TRUE(reports_.empty());
}

TEST_F(AgentLinkTest, EncodingFailureIsShownAndNothingIsSent) {
    MessagePtr m = get_request();
    m->bindings->type = 0x07;
    EXPECT_EQ(exchange_request(link_, m.get()), nullptr);
    EXPECT_EQ(reports_, std::vector<std::string>{"Error building packet"});
    EXPECT_EQ(m->request_id, 1) << "the number stays with the request";
}

TEST(AgentLinkClosed, ExchangeWithoutASocketReturnsAtOnceAndSilently) {
    AgentLink link;
    std::vector<std::string> reports;
    link.report = [&](const std::string& t) { reports.push_back(t); };
    MessagePtr m = get_request();
    const auto start = Clock::now();
    EXPECT_EQ(exchange_request(link, m.get()), nullptr);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(exchange_request(link, nullptr), nullptr);
}

// ---------------------------------------------------------------- answers

TEST_F(AgentLinkTest, AnswerFromTheAgentIsReturnedWithItsSource) {
    MessagePtr got = exchange(
        [&](int32_t id, const sockaddr_in& from) { agent_.send_to(from, answer(id, 4242)); });
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(integer_of(got.get()), 4242);
    EXPECT_EQ(got->peer.v4.sin_port, agent_.address().sin_port);
    EXPECT_EQ(got->request_id, 1);
    EXPECT_TRUE(reports_.empty());
}

// The one test that spends the console's own wait.
TEST_F(AgentLinkTest, SilentAgentCostsOneTwoSecondWaitAndOneRequest) {
    double seconds = 0;
    MessagePtr got = exchange([](int32_t, const sockaddr_in&) {}, &seconds);
    EXPECT_EQ(got, nullptr);
    EXPECT_GE(seconds, 1.99);
    EXPECT_LT(seconds, 2.5);
    Bytes wire;
    sockaddr_in from{};
    EXPECT_FALSE(agent_.receive(&wire, &from, 0)) << "nothing was resent";
    EXPECT_TRUE(reports_.empty());
}

TEST_F(AgentLinkTest, LateAnswerIsNotTakenForTheNextRequest) {
    // An answer that missed its own exchange waits on the socket, carrying the
    // very id the next request will get.
    agent_.send_to(local_address(), answer(1, 111));
    ASSERT_EQ(wait_readable(link_.socket_handle, 1000), 1);
    MessagePtr got = exchange(
        [&](int32_t id, const sockaddr_in& from) { agent_.send_to(from, answer(id, 222)); });
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(integer_of(got.get()), 222);
}

// The halves an event loop drives: the send drains what waited, and taking
// the answer never waits, skips what is not the answer, and takes it.
TEST_F(AgentLinkTest, TheEventDrivenHalvesNeverWaitAndTakeOnlyTheAnswer) {
    agent_.send_to(local_address(), answer(1, 111));
    ASSERT_EQ(wait_readable(link_.socket_handle, 1000), 1);
    MessagePtr request = get_request();
    const int32_t id = begin_exchange(link_, request.get());
    ASSERT_EQ(id, 1);
    Bytes sent;
    sockaddr_in from{};
    ASSERT_TRUE(agent_.receive(&sent, &from));
    bool pending = false;
    const auto start = Clock::now();
    EXPECT_EQ(take_answer(link_, id, &pending), nullptr);
    EXPECT_TRUE(pending) << "the late answer went with the send; nothing waits";
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(10)) << "nor is anything awaited";
    LoopbackPeer stranger;
    stranger.send_to(from, answer(id, 1));
    agent_.send_to(from, answer(id, 2));
    ASSERT_EQ(wait_readable(link_.socket_handle, 1000), 1);
    MessagePtr got(take_answer(link_, id, &pending));
    ASSERT_NE(got, nullptr);
    EXPECT_FALSE(pending);
    EXPECT_EQ(integer_of(got.get()), 2);
}

TEST_F(AgentLinkTest, ForeignAndMismatchedDatagramsAreSkippedWithinTheSameWait) {
    LoopbackPeer stranger;
    LoopbackPeer agent_other_port;
    double seconds = 0;
    MessagePtr got = exchange(
        [&](int32_t id, const sockaddr_in& from) {
            stranger.send_to(from, answer(id, 1));          // another host's injection
            agent_other_port.send_to(from, answer(id, 2));  // right address, wrong port
            agent_.send_to(from, answer(id + 1, 3));        // another request's answer
            Bytes huge(kMaxDatagram + 100, 0x30);
            stranger.send_to(from, huge);  // oversized, and not ours
            agent_.send_to(from, answer(id, 4));
        },
        &seconds);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(integer_of(got.get()), 4);
    EXPECT_LT(seconds, 1.5);
    EXPECT_TRUE(reports_.empty());
}

TEST_F(AgentLinkTest, OnlyStrangersAnsweringMeansNoAnswerAfterOneWait) {
    wait_briefly();
    LoopbackPeer stranger;
    double seconds = 0;
    MessagePtr got = exchange(
        [&](int32_t id, const sockaddr_in& from) {
            stranger.send_to(from, answer(id, 1));
            agent_.send_to(from, answer(id + 5, 2));
        },
        &seconds);
    EXPECT_EQ(got, nullptr);
    const double wait = std::chrono::duration<double>(kBriefWait).count();
    EXPECT_GE(seconds, wait - 0.01);
    EXPECT_LT(seconds, wait + 0.5);
    EXPECT_TRUE(reports_.empty());
}

TEST_F(AgentLinkTest, GarbageFromTheAgentIsAMangledPacket) {
    double seconds = 0;
    MessagePtr got = exchange(
        [&](int32_t, const sockaddr_in& from) { agent_.send_to(from, from_hex("DE AD BE EF")); },
        &seconds);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(reports_, std::vector<std::string>{"Mangled packet"});
    EXPECT_EQ(exchange_fault_text(link_), "the answer could not be decoded");
    EXPECT_LT(seconds, 1.5) << "the exchange ends with the mangled answer";
}

// Each way an exchange can end without an answer is told apart, so that
// none passes for a silent device.
TEST_F(AgentLinkTest, AnExchangeWithoutAnswerSaysWhy) {
    wait_briefly();
    std::atomic<bool> cancel{true};
    const struct {
        const char* description;
        std::function<void(AgentLink&)> prepare;
        ExchangeFault fault;
        std::string text;  // up to the system's own reason, where one follows
    } cases[] = {
        {"silence", [](AgentLink&) {}, ExchangeFault::kNoAnswer, "no answer"},
        {"no agent", [](AgentLink& l) { l.agent_address = SocketAddress{}; },
         ExchangeFault::kNotSent, "nothing was sent: no usable agent address"},
        {"a destination the system refuses",
         [](AgentLink& l) { set_address_port(&l.agent_address, 0); }, ExchangeFault::kSendFailed,
         "the request could not be sent: "},
        {"cancelled", [&cancel](AgentLink& l) { l.cancel = &cancel; }, ExchangeFault::kCancelled,
         "cancelled"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        link_.cancel = nullptr;
        link_.host[0] = '\0';
        ASSERT_EQ(resolve_agent(link_), 1);
        c.prepare(link_);
        MessagePtr request = get_request();
        EXPECT_EQ(MessagePtr(exchange_request(link_, request.get())), nullptr);
        EXPECT_EQ(link_.fault, c.fault);
        const std::string text = exchange_fault_text(link_);
        EXPECT_EQ(text.substr(0, c.text.size()), c.text);
        EXPECT_EQ(text.size() > c.text.size(), c.fault == ExchangeFault::kSendFailed) << text;
    }
    link_.cancel = nullptr;
    EXPECT_TRUE(reports_.empty());
}

TEST_F(AgentLinkTest, OversizedDatagramFromTheAgentIsAReceiveFailure) {
    set_diagnostic_program("tarvik");
    testing::internal::CaptureStderr();
    MessagePtr got = exchange([&](int32_t id, const sockaddr_in& from) {
        Bytes big = answer(id, 5);
        big.resize(kMaxDatagram + 1, 0);
        agent_.send_to(from, big);
    });
    const std::string err = testing::internal::GetCapturedStderr();
    set_diagnostic_program(nullptr);
    EXPECT_EQ(got, nullptr);
    // The same words on every platform: Winsock fails such a datagram where
    // POSIX cuts it; the program's name first, as on its other lines.
    EXPECT_EQ(err, "tarvik: recvfrom: Message too long\n");
    EXPECT_TRUE(reports_.empty());
    EXPECT_EQ(link_.fault, ExchangeFault::kTooLong) << "the owner can tell this from silence";
    got =
        exchange([&](int32_t id, const sockaddr_in& from) { agent_.send_to(from, answer(id, 5)); });
    EXPECT_NE(got, nullptr);
    EXPECT_EQ(link_.fault, ExchangeFault::kNone) << "the next exchange starts afresh";
}

// Nobody listens on the agent's port: each request draws an ICMP
// port-unreachable, which Windows would turn into a failed recvfrom on the
// next exchange. Each exchange must end as no answer after its wait.
TEST_F(AgentLinkTest, AgentPortWithNobodyOnItIsNoAnswerEveryTime) {
    wait_briefly();
    uint16_t closed_port = 0;
    {
        LoopbackPeer gone;
        closed_port = gone.port();
    }
    link_.agent_port = closed_port;
    ASSERT_EQ(resolve_agent(link_), 1);
    testing::internal::CaptureStderr();
    for (int exchange = 1; exchange <= 3; ++exchange) {
        MessagePtr request = get_request();
        const auto start = Clock::now();
        MessagePtr got(exchange_request(link_, request.get()));
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_EQ(got, nullptr) << exchange;
        EXPECT_GE(seconds, std::chrono::duration<double>(kBriefWait).count() - 0.01) << exchange;
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(reports_.empty());
}

TEST_F(AgentLinkTest, DatagramOfExactly4500OctetsIsStillRead) {
    MessagePtr got = exchange([&](int32_t id, const sockaddr_in& from) {
        Bytes full = answer(id, 6);
        full.resize(kMaxDatagram, 0);  // octets after the message are ignored
        agent_.send_to(from, full);
    });
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(integer_of(got.get()), 6);
}

// ---------------------------------------------------------------- one datagram judged

TEST_F(AgentLinkTest, OutOfMemoryWhileTakingAnAnswerIsShown) {
    const Bytes wire = answer(9, 1);
    // The message record, then the binding's one block.
    for (int k : {1, 2}) {
        reports_.clear();
        bool dropped = true;
        snmp_fail_allocation_after(k);
        SnmpMessage* got = accept_datagram(link_, 9, wire.data(), static_cast<int32_t>(wire.size()),
                                           kMaxDatagram, link_.agent_address, &dropped);
        snmp_fail_allocation_after(0);
        EXPECT_EQ(got, nullptr) << k;
        EXPECT_FALSE(dropped);
        EXPECT_EQ(reports_, std::vector<std::string>{"Out of memory!"}) << k;
    }
}

TEST_F(AgentLinkTest, DatagramsAreJudgedBySourceIdAndShape) {
    SocketAddress other_port = link_.agent_address;
    other_port.v4.sin_port = htons(static_cast<uint16_t>(agent_.port() + 1));
    SocketAddress other_host = link_.agent_address;
    other_host.v4.sin_addr.s_addr = htonl(0x7F000002);
    // As a dual-stack socket reports an IPv4 source, and IPv6 loopback.
    const SocketAddress mapped = address_for_socket(link_.agent_address, AF_INET6);
    SocketAddress ipv6_loopback{};
    ASSERT_TRUE(numeric_address("::1", &ipv6_loopback));
    set_address_port(&ipv6_loopback, agent_.port());
    const Bytes good = answer(9, 1);
    const Bytes wrong_id = answer(10, 1);
    const Bytes cut(good.begin(), good.end() - 3);
    const struct {
        const char* what;
        const SocketAddress& source;
        const Bytes& wire;
        bool answered;
        bool dropped;
        const char* report;
    } cases[] = {
        {"the answer", link_.agent_address, good, true, false, nullptr},
        {"another port", other_port, good, false, true, nullptr},
        {"another host", other_host, good, false, true, nullptr},
        {"the agent v4-mapped", mapped, good, true, false, nullptr},
        {"IPv6 loopback, same port", ipv6_loopback, good, false, true, nullptr},
        {"another request id", link_.agent_address, wrong_id, false, true, nullptr},
        {"cut short after the id", link_.agent_address, cut, false, false, "Mangled packet"},
    };
    for (const auto& c : cases) {
        reports_.clear();
        bool dropped = !c.dropped;
        MessagePtr got(accept_datagram(link_, 9, c.wire.data(), static_cast<int32_t>(c.wire.size()),
                                       kMaxDatagram, c.source, &dropped));
        EXPECT_EQ(got != nullptr, c.answered) << c.what;
        EXPECT_EQ(dropped, c.dropped) << c.what;
        EXPECT_EQ(reports_,
                  c.report ? std::vector<std::string>{c.report} : std::vector<std::string>{})
            << c.what;
    }
}

}  // namespace
