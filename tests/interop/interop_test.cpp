// Interoperability of the SNMP client with pysnmp, an implementation written
// elsewhere: pysnmp as the agent behind an AgentLink, as the encoder of the
// answers our decoder reads, and as the decoder of the requests our encoder
// writes. responder.py holds the pysnmp side; both sides render messages in
// the same text form so they can be compared line by line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "snmp/agent_link.h"
#include "snmp/alloc.h"
#include "snmp/message.h"

extern char** environ;

namespace {

constexpr char kPython[] = "/usr/bin/python3";
constexpr char kScript[] = TARVIK_INTEROP_SCRIPT;
constexpr char kCommunity[] = "quolen";
constexpr int kScriptWaitMs = 10000;

std::string hex(const uint8_t* data, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
    }
    return out;
}

std::vector<uint8_t> unhex(const std::string& text) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        out.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::string repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

std::vector<uint32_t> parse_oid(const std::string& text) {
    std::vector<uint32_t> ids;
    for (size_t start = 0; start < text.size();) {
        size_t dot = text.find('.', start);
        if (dot == std::string::npos) {
            dot = text.size();
        }
        ids.push_back(static_cast<uint32_t>(std::stoul(text.substr(start, dot - start))));
        start = dot + 1;
    }
    return ids;
}

std::string oid_text(const ObjectId& name) {
    std::string out;
    for (int32_t i = 0; i < name.count; ++i) {
        out += (i == 0 ? "" : ".") + std::to_string(name.ids[i]);
    }
    return out;
}

// A binding's value as responder.py prints it: decimal, hex octets, or "-".
std::string value_text(const VarBinding& b) {
    uint32_t u[2] = {0, 0};
    if (b.value != nullptr && b.value_length >= 4) {
        std::memcpy(u, b.value, b.value_length >= 8 ? 8 : 4);
    }
    switch (b.type) {
        case kTagInteger:
            return std::to_string(static_cast<int32_t>(u[0]));
        case kTagCounter32:
        case kTagGauge32:
        case kTagTimeTicks:
            return std::to_string(u[0]);
        case kTagCounter64:  // high word first
            return std::to_string((static_cast<uint64_t>(u[0]) << 32) | u[1]);
        case kTagOctetString:
        case kTagIpAddress:
            return hex(b.value, static_cast<size_t>(b.value_length));
        default:
            return "-";
    }
}

std::string tag_text(int32_t tag) {
    const uint8_t octet = static_cast<uint8_t>(tag);
    return hex(&octet, 1);
}

std::string describe(int32_t version, const std::string& community, const SnmpMessage& m) {
    std::string out =
        "version " + std::to_string(version) + "\ncommunity " +
        hex(reinterpret_cast<const uint8_t*>(community.data()), community.size()) + "\npdu " +
        tag_text(m.pdu_type) + "\nrequest_id " + std::to_string(m.request_id) + "\nerror_status " +
        std::to_string(m.error_status) + "\nerror_index " + std::to_string(m.error_index) + "\n";
    for (const VarBinding* b = m.bindings; b != nullptr; b = b->next) {
        out += oid_text(b->name) + " " + tag_text(b->type) + " " + value_text(*b) + "\n";
    }
    return out;
}

// A child running responder.py; stdin is a pipe whose closing also ends it.
struct Child {
    pid_t pid = -1;
    int to_child = -1;
    int from_child = -1;
};

Child spawn_script(const std::vector<std::string>& args) {
    int in[2];
    int out[2];
    Child child;
    if (pipe2(in, O_CLOEXEC) != 0) {
        return child;
    }
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return child;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<std::string> all = {kPython, kScript};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    if (posix_spawn(&child.pid, kPython, &actions, nullptr, argv.data(), environ) != 0) {
        child.pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    child.to_child = in[1];
    child.from_child = out[0];
    return child;
}

// Reads until end of file, or only the first line; gives up when the script
// stays silent for the wait.
std::string read_output(int fd, bool first_line_only) {
    std::string text;
    char c;
    while (wait_readable(fd, kScriptWaitMs) == 1 && read(fd, &c, 1) == 1) {
        if (first_line_only && c == '\n') {
            break;
        }
        text += c;
    }
    return text;
}

int finish(Child& child, bool terminate) {
    if (child.to_child >= 0) {
        close(child.to_child);
    }
    if (child.from_child >= 0) {
        close(child.from_child);
    }
    int status = -1;
    if (child.pid > 0) {
        if (terminate) {
            kill(child.pid, SIGTERM);
        }
        waitpid(child.pid, &status, 0);
    }
    child = Child{};
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string explain(int status) {
    if (status == 3) {
        return "pysnmp is not importable by /usr/bin/python3: install python3-pysnmp4";
    }
    if (status < 0) {
        return std::string("could not run ") + kPython + " " + kScript + " to completion";
    }
    return "responder.py failed with status " + std::to_string(status) + " (see its stderr)";
}

// Runs a one-shot mode of the script; its output without the final newline.
std::string run_script(const std::vector<std::string>& args, int* status) {
    Child child = spawn_script(args);
    std::string text = read_output(child.from_child, false);
    *status = finish(child, false);
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

struct Binding {
    std::string oid;
    uint8_t tag;       // kTagNull, kTagInteger or kTagOctetString when sent
    std::string text;  // as value_text prints it
};

MessagePtr build_request(int32_t pdu_type, const std::vector<Binding>& bindings) {
    MessagePtr m(msg_create(pdu_type));
    for (const Binding& b : bindings) {
        const std::vector<uint32_t> ids = parse_oid(b.oid);
        VarBinding* vb = msg_append_null_binding(m.get(), ids.data(), int32_t(ids.size()));
        if (b.tag == kTagInteger) {
            binding_set_int32(vb, std::stoi(b.text));
        } else if (b.tag == kTagOctetString) {
            const std::vector<uint8_t> octets = unhex(b.text);
            binding_set_octets(vb, octets.data(), int32_t(octets.size()));
        }
    }
    return m;
}

std::vector<Binding> bindings_of(const SnmpMessage& m) {
    std::vector<Binding> out;
    for (const VarBinding* b = m.bindings; b != nullptr; b = b->next) {
        out.push_back({oid_text(b->name), b->type, value_text(*b)});
    }
    return out;
}

bool operator==(const Binding& a, const Binding& b) {
    return a.oid == b.oid && a.tag == b.tag && a.text == b.text;
}
void PrintTo(const Binding& b, std::ostream* os) {
    *os << b.oid << " " << tag_text(b.tag) << " " << b.text;
}

template <typename Case>
void print_case(const Case& c, std::ostream* os) {
    *os << c.description;
}

// ---- pysnmp as the agent -------------------------------------------------

const std::string kAgentTree = "1.3.6.1.4.1.47.2.";
// The agent's two writable objects.
const std::string kInteger = kAgentTree + "3.1.0";
const std::string kOctets = kAgentTree + "3.2.0";

class PysnmpAgent : public testing::Test {
protected:
    static void SetUpTestSuite() {
        agent_ = spawn_script({"serve"});
        const std::string line = read_output(agent_.from_child, true);
        port_ = line.empty() ? 0 : std::stoi(line);
        if (port_ == 0) {
            startup_status_ = finish(agent_, true);
        }
    }
    static void TearDownTestSuite() { finish(agent_, true); }

    void SetUp() override {
        ASSERT_NE(port_, 0) << explain(startup_status_);
        std::strcpy(link_.host, "127.0.0.1");
        link_.agent_port = static_cast<uint16_t>(port_);
        ASSERT_EQ(open_link(link_), 1);
    }
    void TearDown() override { close_link(link_); }

    // One exchange; the answer's bindings, after checking its header.
    std::vector<Binding> exchange(int32_t pdu_type, const std::vector<Binding>& bindings,
                                  int32_t error_status = 0, int32_t error_index = 0) {
        MessagePtr request = build_request(pdu_type, bindings);
        MessagePtr answer(exchange_request(link_, request.get()));
        if (answer == nullptr) {
            ADD_FAILURE() << "no answer from the pysnmp agent";
            return {};
        }
        EXPECT_EQ(answer->pdu_type, kPduGetResponse);
        EXPECT_EQ(answer->request_id, request->request_id);
        EXPECT_EQ(answer->error_status, error_status);
        EXPECT_EQ(answer->error_index, error_index);
        return bindings_of(*answer);
    }

    AgentLink link_;
    static Child agent_;
    static int port_;
    static int startup_status_;
};
Child PysnmpAgent::agent_;
int PysnmpAgent::port_ = 0;
int PysnmpAgent::startup_status_ = 0;

struct GetCase {
    const char* description;
    Binding answer;  // name, tag and value the agent holds
    int32_t error_status;
};

void PrintTo(const GetCase& c, std::ostream* os) {
    print_case(c, os);
}

// A failing binding comes back as sent (NULL), with the error index 1.
// clang-format off
const GetCase kGetCases[] = {
    {"SysNameOctetString", {"1.3.6.1.2.1.1.5.0", kTagOctetString, "74617276696b2d74657374"}, 0},
    {"NegativeInteger", {kAgentTree + "1.1.0", kTagInteger, "-42"}, 0},
    {"BinaryOctetString", {kAgentTree + "1.2.0", kTagOctetString, "4c494e4b2000ff"}, 0},
    {"Counter32TopBitSet", {kAgentTree + "1.3.0", kTagCounter32, "4294967295"}, 0},
    {"Gauge32TopBitSet", {kAgentTree + "1.4.0", kTagGauge32, "2147483648"}, 0},
    {"TimeTicks", {kAgentTree + "1.5.0", kTagTimeTicks, "8640000"}, 0},
    {"Counter64HighAndLowWords", {kAgentTree + "1.6.0", kTagCounter64, "9920249030613615975"}, 0},
    {"Counter64OneOctet", {kAgentTree + "1.7.0", kTagCounter64, "5"}, 0},
    {"NoSuchObject", {kAgentTree + "2.1.0", kTagNoSuchObject, "-"}, 0},
    {"NoSuchInstance", {kAgentTree + "2.2.0", kTagNoSuchInstance, "-"}, 0},
    {"EndOfMibView", {kAgentTree + "2.3.0", kTagEndOfMibView, "-"}, 0},
    {"GenErr", {kAgentTree + "2.4.0", kTagNull, "-"}, 5},
    {"UnknownNameIsNoSuchName", {kAgentTree + "9.9.0", kTagNull, "-"}, 2},
};
// clang-format on

class PysnmpAgentGet : public PysnmpAgent, public testing::WithParamInterface<GetCase> {};

TEST_P(PysnmpAgentGet, AnswerDecodesToTheAgentsValue) {
    const GetCase& c = GetParam();
    const int32_t index = c.error_status == 0 ? 0 : 1;
    const auto got =
        exchange(kPduGetRequest, {{c.answer.oid, kTagNull, ""}}, c.error_status, index);
    EXPECT_EQ(got, std::vector<Binding>{c.answer});
}

INSTANTIATE_TEST_SUITE_P(Interop, PysnmpAgentGet, testing::ValuesIn(kGetCases),
                         [](const auto& info) { return std::string(info.param.description); });

TEST_F(PysnmpAgent, OneGetCarriesEveryTypeInOrder) {
    std::vector<Binding> asked, expected;
    for (const GetCase& c : kGetCases) {
        if (c.error_status == 0) {
            asked.push_back({c.answer.oid, kTagNull, ""});
            expected.push_back(c.answer);
        }
    }
    EXPECT_EQ(exchange(kPduGetRequest, asked), expected);
}

TEST_F(PysnmpAgent, ErrorIndexNamesTheFailingBinding) {
    const std::vector<Binding> asked = {{kAgentTree + "1.1.0", kTagNull, "-"},
                                        {kAgentTree + "9.9.0", kTagNull, "-"},
                                        {kAgentTree + "1.3.0", kTagNull, "-"}};
    EXPECT_EQ(exchange(kPduGetRequest, asked, 2, 2), asked);
}

struct SetCase {
    const char* description;
    std::vector<Binding> values;  // set and read back one after the other
};

void PrintTo(const SetCase& c, std::ostream* os) {
    print_case(c, os);
}

// clang-format off
const SetCase kSetCases[] = {
    {"Integer", {{kInteger, kTagInteger, "-7"}, {kInteger, kTagInteger, "2147483647"},
                 {kInteger, kTagInteger, "-128"}, {kInteger, kTagInteger, "-2147483647"}}},
    {"OctetString", {{kOctets, kTagOctetString, "4e45572d4e414d45"}, {kOctets, kTagOctetString, ""},
                     {kOctets, kTagOctetString, "00ff80" + repeat("5a", 200)}}},
};
// clang-format on

class PysnmpAgentSet : public PysnmpAgent, public testing::WithParamInterface<SetCase> {};

TEST_P(PysnmpAgentSet, SetValueIsEchoedAndReadBack) {
    for (const Binding& value : GetParam().values) {
        SCOPED_TRACE(value.text);
        EXPECT_EQ(exchange(kPduSetRequest, {value}), std::vector<Binding>{value});
        EXPECT_EQ(exchange(kPduGetRequest, {{value.oid, kTagNull, ""}}),
                  std::vector<Binding>{value});
    }
}

INSTANTIATE_TEST_SUITE_P(Interop, PysnmpAgentSet, testing::ValuesIn(kSetCases),
                         [](const auto& info) { return std::string(info.param.description); });

// The same agent on IPv6 loopback, named in the bracketed form: a Set, and
// the value read back.
TEST(PysnmpAgentOverIpv6, TakesASetAndAnswersAGet) {
    Child agent = spawn_script({"serve", "::1"});
    const std::string port = read_output(agent.from_child, true);
    if (port.empty()) {
        const int status = finish(agent, true);
        if (status == 4) {
            GTEST_SKIP() << "no IPv6 loopback (::1) on this machine";
        }
        FAIL() << explain(status);
    }
    AgentLink link;
    std::snprintf(link.host, sizeof link.host, "[::1]:%s", port.c_str());
    ASSERT_EQ(open_link(link), 1);
    EXPECT_EQ(address_family(link.agent_address), AF_INET6);
    const Binding value{kInteger, kTagInteger, "-7"};
    const struct {
        int32_t pdu_type;
        Binding sent;
    } steps[] = {{kPduSetRequest, value}, {kPduGetRequest, {kInteger, kTagNull, ""}}};
    for (const auto& step : steps) {
        MessagePtr request = build_request(step.pdu_type, {step.sent});
        MessagePtr answer(exchange_request(link, request.get()));
        ASSERT_NE(answer, nullptr) << "no answer on ::1";
        EXPECT_EQ(answer->error_status, 0);
        EXPECT_EQ(bindings_of(*answer), std::vector<Binding>{value});
    }
    close_link(link);
    finish(agent, true);
}

// ---- pysnmp as the encoder of answers ------------------------------------

// Wide sub-identifiers exercise every base-128 length.
const std::string kWideName = kAgentTree + "127.128.16383.16384.4294967295";

struct EncodedCase {
    const char* description;
    int32_t version;
    int32_t request_id;
    int32_t error_status;
    int32_t error_index;
    const char* pysnmp_type;
    Binding expected;  // the value text is also what pysnmp is given
};

void PrintTo(const EncodedCase& c, std::ostream* os) {
    print_case(c, os);
}

// clang-format off
const EncodedCase kEncodedCases[] = {
    {"V1IntegerZero", 0, 1, 0, 0, "Integer", {kWideName, kTagInteger, "0"}},
    {"V1IntegerMinusOne", 0, 2, 0, 0, "Integer", {kWideName, kTagInteger, "-1"}},
    {"V1IntegerMax", 0, 2147483647, 0, 0, "Integer", {kWideName, kTagInteger, "2147483647"}},
    {"V1IntegerNearMin", 0, -2147483647, 0, 0, "Integer", {kWideName, kTagInteger, "-2147483647"}},
    // pyasn1 writes these two with a redundant leading FF; they still fit four octets.
    {"V1IntegerMinus128", 0, -128, 0, 0, "Integer", {kWideName, kTagInteger, "-128"}},
    {"V1IntegerMinus32768", 0, -32768, 0, 0, "Integer", {kWideName, kTagInteger, "-32768"}},
    {"V1OctetStringEmpty", 0, 3, 0, 0, "OctetString", {kWideName, kTagOctetString, ""}},
    {"V1OctetStringLong", 0, 4, 0, 0, "OctetString",
     {kWideName, kTagOctetString, repeat("00ff", 150)}},
    {"V1Counter32Max", 0, 5, 0, 0, "Counter32", {kWideName, kTagCounter32, "4294967295"}},
    {"V1Gauge32Zero", 0, 6, 0, 0, "Gauge32", {kWideName, kTagGauge32, "0"}},
    {"V1TimeTicks", 0, 7, 0, 0, "TimeTicks", {kWideName, kTagTimeTicks, "128"}},
    {"V1IpAddress", 0, 8, 0, 0, "IpAddress", {kWideName, kTagIpAddress, "c0a80101"}},
    {"V1NoSuchNameWithIndex", 0, 9, 2, 1, "Null", {kWideName, kTagNull, "-"}},
    {"V2cCounter32", 1, 10, 0, 0, "Counter32", {kWideName, kTagCounter32, "2147483648"}},
    {"V2cCounter64Max", 1, 11, 0, 0, "Counter64",
     {kWideName, kTagCounter64, "18446744073709551615"}},
    {"V2cCounter64HighWordOnly", 1, 12, 0, 0, "Counter64",
     {kWideName, kTagCounter64, "4294967296"}},
    {"V2cCounter64Zero", 1, 13, 0, 0, "Counter64", {kWideName, kTagCounter64, "0"}},
    {"V2cNoSuchObject", 1, 14, 0, 0, "NoSuchObject", {kWideName, kTagNoSuchObject, "-"}},
    {"V2cNoSuchInstance", 1, 15, 0, 0, "NoSuchInstance", {kWideName, kTagNoSuchInstance, "-"}},
    {"V2cEndOfMibView", 1, -16, 0, 0, "EndOfMibView", {kWideName, kTagEndOfMibView, "-"}},
    {"V2cTooBigNoBindingValue", 1, 17, 1, 0, "Null", {kWideName, kTagNull, "-"}},
};
// clang-format on

class PysnmpEncodes : public testing::TestWithParam<EncodedCase> {};

// pysnmp's encoding of a one-binding GetResponse, as octets.
std::vector<uint8_t> pysnmp_encoded(int32_t version, int32_t request_id, int32_t error_status,
                                    int32_t error_index, const std::string& type,
                                    const Binding& binding) {
    int status = 0;
    const std::string text =
        run_script({"encode", std::to_string(version), std::to_string(request_id),
                    std::to_string(error_status), std::to_string(error_index), binding.oid, type,
                    binding.text},
                   &status);
    EXPECT_EQ(status, 0) << explain(status);
    return unhex(text);
}

MessagePtr decoded(const std::vector<uint8_t>& data, int* result) {
    MessagePtr m(static_cast<SnmpMessage*>(snmp_alloc_zeroed(sizeof(SnmpMessage))));
    *result = msg_decode(m.get(), data.data(), int32_t(data.size()));
    return m;
}

TEST_P(PysnmpEncodes, OurDecoderReadsEveryField) {
    const EncodedCase& c = GetParam();
    const std::vector<uint8_t> data = pysnmp_encoded(c.version, c.request_id, c.error_status,
                                                     c.error_index, c.pysnmp_type, c.expected);
    ASSERT_FALSE(data.empty());

    uint8_t community[64];
    int32_t community_length = sizeof community;
    int32_t version = -1;
    int32_t space = int32_t(data.size());
    ASSERT_NE(msg_decode_header(data.data(), &space, community, &community_length, &version),
              nullptr);
    EXPECT_EQ(version, c.version);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(community), community_length), kCommunity);

    int result = 0;
    MessagePtr m = decoded(data, &result);
    ASSERT_EQ(result, 0) << hex(data.data(), data.size());
    EXPECT_EQ(m->pdu_type, kPduGetResponse);
    EXPECT_EQ(m->request_id, c.request_id);
    EXPECT_EQ(m->error_status, c.error_status);
    EXPECT_EQ(m->error_index, c.error_index);
    EXPECT_EQ(bindings_of(*m), std::vector<Binding>{c.expected});
}

// pyasn1 writes -2^31 as 02 05 FF 80 00 00 00, one octet more than X.690
// allows. The decoder's four-octet limit reads such a value as 0 and keeps the
// message, but makes an answer whose request id is -2^31 unreadable.
TEST(PysnmpEncodesIntegerMin, FiveOctetFormReadsAsZeroValueOrMangledAnswer) {
    const Binding value = {kWideName, kTagInteger, "-2147483648"};
    const std::vector<uint8_t> with_value = pysnmp_encoded(0, 1, 0, 0, "Integer", value);
    const bool five =
        hex(with_value.data(), with_value.size()).find("0205ff80000000") != std::string::npos;
    int result = -1;
    MessagePtr m = decoded(with_value, &result);
    ASSERT_EQ(result, 0);
    const std::string expected = five ? "0" : value.text;
    EXPECT_EQ(bindings_of(*m), (std::vector<Binding>{{value.oid, kTagInteger, expected}}));

    const std::vector<uint8_t> with_id =
        pysnmp_encoded(0, -2147483647 - 1, 0, 0, "Integer", {kWideName, kTagInteger, "1"});
    decoded(with_id, &result);
    EXPECT_EQ(result, five ? -1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Interop, PysnmpEncodes, testing::ValuesIn(kEncodedCases),
                         [](const auto& info) { return std::string(info.param.description); });

// ---- pysnmp as the decoder of requests -----------------------------------

struct RequestCase {
    const char* description;
    int32_t version;
    int32_t pdu_type;
    int32_t request_id;
    std::vector<Binding> bindings;
};

void PrintTo(const RequestCase& c, std::ostream* os) {
    print_case(c, os);
}

// clang-format off
const RequestCase kRequestCases[] = {
    {"GetOneNull", 0, kPduGetRequest, 1, {{"1.3.6.1.2.1.1.1.0", kTagNull, "-"}}},
    {"GetWideNamesV2c", 1, kPduGetRequest, -2147483647,
     {{kWideName, kTagNull, "-"}, {"1.3.6.1.2.1.1.5.0", kTagNull, "-"}}},
    {"GetNextNegativeId", 0, kPduGetNextRequest, -2147483647 - 1, {{kWideName, kTagNull, "-"}}},
    {"SetIntegers", 0, kPduSetRequest, 42,
     {{kInteger, kTagInteger, "0"}, {kInteger, kTagInteger, "127"},
      {kInteger, kTagInteger, "128"}, {kInteger, kTagInteger, "-129"},
      {kInteger, kTagInteger, "2147483647"}, {kInteger, kTagInteger, "-2147483648"}}},
    {"SetOctetStrings", 0, kPduSetRequest, 43,
     {{kOctets, kTagOctetString, ""}, {kOctets, kTagOctetString, "4c494e4b2d41"},
      {kOctets, kTagOctetString, "00ff80"}, {kOctets, kTagOctetString, repeat("ab", 130)},
      {kOctets, kTagOctetString, repeat("cd", 300)}}},
    {"SetMixedWithNull", 1, kPduSetRequest, 44,
     {{kInteger, kTagInteger, "-1"}, {kOctets, kTagOctetString, "7a"},
      {kAgentTree + "1.1.0", kTagNull, "-"}}},
};
// clang-format on

// Our encoding, as hex, of the request with community "quolen"; empty when
// encoding fails.
std::string our_encoding(int32_t version, const SnmpMessage& request) {
    AgentLink link;
    link.version = version;
    uint8_t out[kMaxDatagram];
    int32_t length = sizeof out;
    if (msg_encode(link, &request, out, &length) != 0) {
        return "";
    }
    return hex(out, size_t(length));
}

class PysnmpDecodes : public testing::TestWithParam<RequestCase> {};

TEST_P(PysnmpDecodes, PysnmpReadsEveryFieldWeWrote) {
    const RequestCase& c = GetParam();
    MessagePtr m = build_request(c.pdu_type, c.bindings);
    m->request_id = c.request_id;
    m->error_status = 0;
    m->error_index = 0;
    const std::string encoded = our_encoding(c.version, *m);
    ASSERT_FALSE(encoded.empty());

    int status = 0;
    const std::string text = run_script({"decode", encoded}, &status);
    ASSERT_EQ(status, 0) << explain(status);
    EXPECT_EQ(text + "\n", describe(c.version, kCommunity, *m));
}

INSTANTIATE_TEST_SUITE_P(Interop, PysnmpDecodes, testing::ValuesIn(kRequestCases),
                         [](const auto& info) { return std::string(info.param.description); });

// The documented 44-octet GetRequest, read by pysnmp.
TEST(PysnmpDecodesDocumented, OneBindingGetRequestExample) {
    MessagePtr m = build_request(kPduGetRequest, {{"1.3.6.1.2.1.1.1.0", kTagNull, "-"}});
    m->request_id = 1;
    m->error_status = 0;
    m->error_index = 0;
    const std::string encoded = our_encoding(0, *m);
    ASSERT_EQ(encoded,
              "30820028020100040671756f6c656ea01b02010102010002010030103082000c06082b0601020101"
              "01000500");

    int status = 0;
    const std::string text = run_script({"decode", encoded}, &status);
    ASSERT_EQ(status, 0) << explain(status);
    EXPECT_EQ(text,
              "version 0\n"
              "community 71756f6c656e\n"
              "pdu a0\n"
              "request_id 1\n"
              "error_status 0\n"
              "error_index 0\n"
              "1.3.6.1.2.1.1.1.0 05 -");
}

}  // namespace
