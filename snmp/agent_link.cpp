// The agent link: resolution, the socket, and the synchronous exchange.
#include "snmp/agent_link.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "snmp/alloc.h"
#include "snmp/diagnostic.h"

std::atomic<int32_t> request_counter{0};

namespace {

// Datagrams drained before a send, at most: a flood must not hold the
// console here.
constexpr int kMaxDrained = 256;

void report_failure(const AgentLink& link, const std::string& text) {
    if (link.report) {
        link.report(text);
    } else {
        print_diagnostic("%s", text.c_str());
    }
}

void set_fault(AgentLink& link, ExchangeFault fault, const std::string& detail = std::string()) {
    link.fault = fault;
    link.fault_detail = detail;
}

constexpr char kBadPort[] = "the port must be a number from 1 to 65535";
constexpr char kBadForm[] =
    "not an address of the form HOST, HOST:PORT, IPv6 address or [IPv6 address]:PORT";
constexpr char kNotDecimal[] =
    "a numeric IPv4 address is four decimal numbers from 0 to 255 separated by dots";

bool only_digits_and_dots(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789.") == std::string::npos;
}

// Whether `host` has the shape of the resolvers' old IPv4 numbers: one to
// four parts between dots, each decimal, octal (a leading 0) or hex (0x),
// such as "0x7f.1". A name lookup would take it for that number rather than
// look it up, on every platform alike.
bool old_ipv4_number(const std::string& host) {
    int parts = 0;
    size_t start = 0;
    for (;;) {
        const size_t dot = std::min(host.find('.', start), host.size());
        const std::string part = host.substr(start, dot - start);
        const bool hex = part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X');
        const size_t digits = hex ? part.find_first_not_of("0123456789abcdefABCDEF", 2)
                                  : part.find_first_not_of("0123456789");
        if (part.empty() || digits != std::string::npos || ++parts > 4) {
            return false;
        }
        if (dot == host.size()) {
            return true;
        }
        start = dot + 1;
    }
}

int32_t next_request_id() {
    // Unsigned arithmetic: no overflow, and 0 stays reserved for "unnumbered".
    int32_t current = request_counter.load();
    int32_t next = 0;
    do {
        const uint32_t after = static_cast<uint32_t>(current) + 1;
        next = static_cast<int32_t>(after == 0 ? 1 : after);
    } while (!request_counter.compare_exchange_weak(current, next));
    return next;
}

bool system_name_lookup(const char* name, int family, SocketAddress* address, std::string* why) {
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int failed = getaddrinfo(name, nullptr, &hints, &found);
    if (failed != 0) {
        *why = lookup_error_text(failed);
        return false;
    }
    bool usable = false;
    for (const addrinfo* a = found; a != nullptr && !usable; a = a->ai_next) {
        usable = (a->ai_family == AF_INET || a->ai_family == AF_INET6) &&
                 a->ai_addrlen <= sizeof *address;
        if (usable) {
            *address = SocketAddress{};
            std::memcpy(address, a->ai_addr, a->ai_addrlen);
        }
    }
    freeaddrinfo(found);
    if (!usable) {
        *why = "no IPv4 or IPv6 address found for this name";
    }
    return usable;
}

// The port in `digits`, 1 to 65535 in plain decimal; 0 when it is none.
uint16_t port_number(const std::string& digits) {
    if (digits.empty() || digits.size() > 5) {
        return 0;
    }
    long value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return 0;
        }
        value = value * 10 + (c - '0');
    }
    return value <= 65535 ? static_cast<uint16_t>(value) : 0;
}

// A socket of `family` bound to the wildcard address and `port`, dual-stack
// when it is AF_INET6; kNoSocket when none could be made (`*made` false) or
// bound (`*made` true).
socket_t open_socket(int family, uint16_t port, bool* made) {
    const socket_t s = socket(family, SOCK_DGRAM, 0);
    *made = s != kNoSocket;
    if (s == kNoSocket) {
        return kNoSocket;
    }
    if (family == AF_INET6 && !allow_both_families(s)) {
        close_socket(s);
        *made = false;
        return kNoSocket;
    }
    ignore_port_unreachable(s);
    SocketAddress local{};
    local.any.sa_family = static_cast<decltype(local.any.sa_family)>(family);
    set_address_port(&local, port);
    if (family == AF_INET) {
        local.v4.sin_addr.s_addr = htonl(INADDR_ANY);
    }
    if (bind(s, &local.any, address_length(local)) != 0) {
        close_socket(s);
        return kNoSocket;
    }
    return s;
}

NameLookup name_lookup = system_name_lookup;

bool is_sendable(int32_t pdu_type) {
    return pdu_type == kPduGetRequest || pdu_type == kPduGetNextRequest ||
           pdu_type == kPduGetResponse || pdu_type == kPduSetRequest ||
           pdu_type == kPduGetBulkRequest;
}

// Throws away whatever already waits on the socket, such as an answer that
// came after its request gave up, so it cannot pass for the next answer.
void drain_socket(const AgentLink& link) {
    char sink[kMaxDatagram + 1];
    for (int i = 0; i < kMaxDrained; ++i) {
        if (!take_waiting_datagram(link.socket_handle, sink, sizeof sink)) {
            break;
        }
    }
}

}  // namespace

void set_name_lookup(NameLookup lookup) {
    name_lookup = lookup != nullptr ? lookup : system_name_lookup;
}

AgentLink::AgentLink()
    : host{},
      agent_port(kDefaultAgentPort),
      local_port(0),
      version(0),
      community_length(sizeof kDefaultCommunity - 1),
      community{},
      socket_handle(kNoSocket),
      socket_family(0),
      agent_address{} {
    std::memcpy(community, kDefaultCommunity, sizeof kDefaultCommunity);
}

bool split_agent_address(const std::string& text, uint16_t default_port, std::string* host,
                         uint16_t* port, bool* ipv6, std::string* why) {
    std::string unused;
    std::string& cause = why != nullptr ? *why : unused;
    cause = kBadForm;
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos || text.find(':') > close) {
            return false;
        }
        uint16_t number = default_port;
        if (close + 1 < text.size()) {
            if (text[close + 1] != ':') {
                return false;
            }
            number = port_number(text.substr(close + 2));
            if (number == 0) {
                cause = kBadPort;
                return false;
            }
        }
        *host = text.substr(1, close - 1);
        *port = number;
        *ipv6 = true;
        return true;
    }
    if (text.find_first_of("[]") != std::string::npos) {
        return false;
    }
    const size_t colon = text.find(':');
    if (colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
        const uint16_t number = port_number(text.substr(colon + 1));
        if (colon == 0) {
            return false;
        }
        if (number == 0) {
            cause = kBadPort;
            return false;
        }
        *host = text.substr(0, colon);
        *port = number;
        *ipv6 = false;
        cause.clear();
        return true;
    }
    *host = text;
    *port = default_port;
    *ipv6 = colon != std::string::npos;
    cause.clear();
    return true;
}

std::string parse_dotted_quad(const std::string& host, SocketAddress* address) {
    if (!only_digits_and_dots(host)) {
        return kNotDecimal;
    }
    const auto numbers = std::count(host.begin(), host.end(), '.') + 1;
    if (numbers != 4) {
        return "an IPv4 address has four numbers, not " + std::to_string(numbers);
    }
    uint32_t value = 0;
    size_t start = 0;
    for (;;) {
        const size_t dot = std::min(host.find('.', start), host.size());
        const std::string number = host.substr(start, dot - start);
        if (number.empty()) {
            return "a number is missing between the dots";
        }
        if (number.size() > 1 && number[0] == '0') {
            return number + " has a leading zero, which some systems read as octal";
        }
        if (number.size() > 3 || std::stoi(number) > 255) {
            return number + " is over 255";
        }
        value = value << 8 | static_cast<uint32_t>(std::stoi(number));
        if (dot == host.size()) {
            break;
        }
        start = dot + 1;
    }
    *address = SocketAddress{};
    address->v4.sin_family = AF_INET;
    address->v4.sin_addr.s_addr = htonl(value);
    return std::string();
}

std::string destination_fault(const SocketAddress& address) {
    const SocketAddress a = plain_address(address);
    if (address_family(a) == AF_INET) {
        const uint32_t v4 = ntohl(a.v4.sin_addr.s_addr);
        if ((v4 >> 28) == 0xE) {
            return "a multicast address, which reaches every device that listens on it";
        }
        if (v4 == 0xFFFFFFFF) {
            return "the broadcast address, which reaches every device on the network";
        }
        if (v4 == 0) {
            return "the unspecified address, which names no device";
        }
    } else if (address_family(a) == AF_INET6) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(&a.v6.sin6_addr);
        if (bytes[0] == 0xFF) {
            return "a multicast address, which reaches every device that listens on it";
        }
        static const uint8_t kUnspecified[16] = {};
        if (std::memcmp(bytes, kUnspecified, sizeof kUnspecified) == 0) {
            return "the unspecified address, which names no device";
        }
    }
    return std::string();
}

int resolve_agent(AgentLink& link) {
    start_socket_library();
    const std::string text(link.host, strnlen(link.host, sizeof link.host));
    std::string host;
    uint16_t port = 0;
    bool ipv6 = false;
    SocketAddress address{};
    std::string why;
    bool resolved = split_agent_address(text, link.agent_port, &host, &port, &ipv6, &why);
    if (!resolved) {
        // `why` says what is wrong with the form.
    } else if (host.empty()) {
        // Not every platform's lookup answers an empty name; the local
        // computer is meant.
        address.v4.sin_family = AF_INET;
        address.v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    } else if (ipv6) {
        // A bracketed or many-colon text that is no IPv6 address is not
        // looked up: a name has no colon.
        resolved = numeric_address(host, &address) && address_family(address) == AF_INET6;
        why = resolved ? std::string() : "not an IPv6 address";
    } else if (only_digits_and_dots(host)) {
        why = parse_dotted_quad(host, &address);
        resolved = why.empty();
    } else if (old_ipv4_number(host)) {
        why = kNotDecimal;
        resolved = false;
    } else {
        const int family = link.socket_family == AF_INET ? AF_INET : AF_UNSPEC;
        resolved = name_lookup(host.c_str(), family, &address, &why);
        if (!resolved && why.empty()) {
            why = "no address found for this name";
        }
    }
    address = plain_address(address);
    if (resolved) {
        why = destination_fault(address);
        resolved = why.empty();
    }
    if (resolved && address_family(address) == AF_INET6 && link.socket_family == AF_INET) {
        why = "IPv6 is not available on this system";
        resolved = false;
    }
    if (!resolved) {
        // The old address would send this command, a Set included, to
        // another device than the one the operator now names.
        link.agent_address = SocketAddress{};
        report_failure(link, why.empty() ? kResolveFailure : kResolveFailure + (": " + why));
        return 0;
    }
    set_address_port(&address, port);
    link.agent_address = address;
    return 1;
}

int open_link(AgentLink& link) {
    resolve_agent(link);
    if (link.socket_handle != kNoSocket) {
        return 1;
    }
    start_socket_library();
    // Dual-stack first; IPv4 alone where the system has no IPv6 (or will not
    // let one socket serve both).
    bool made = false;
    for (const int family : {AF_INET6, AF_INET}) {
        bool made_now = false;
        const socket_t s = open_socket(family, link.local_port, &made_now);
        made = made || made_now;
        if (s != kNoSocket) {
            link.socket_handle = s;
            link.socket_family = family;
            link.timed_receive = set_receive_wait(s, kCancelCheckMs);
            break;
        }
    }
    if (link.socket_handle == kNoSocket) {
        report_failure(link, made ? "Can't bind socket" : "Can't create socket");
        return 0;
    }
    if (link.socket_family == AF_INET && address_family(link.agent_address) == AF_INET6) {
        resolve_agent(link);  // refuses the IPv6 agent now that it cannot be reached
    }
    return 1;
}

bool has_agent(const AgentLink& link) {
    return address_family(link.agent_address) == AF_INET ||
           address_family(link.agent_address) == AF_INET6;
}

bool link_cancelled(const AgentLink& link) {
    return link.cancel != nullptr && link.cancel->load();
}

void close_link(AgentLink& link) {
    if (link.socket_handle != kNoSocket) {
        close_socket(link.socket_handle);
        link.socket_handle = kNoSocket;
        link.socket_family = 0;
        link.timed_receive = false;
    }
}

std::string exchange_fault_text(const AgentLink& link) {
    const std::string detail = link.fault_detail.empty() ? "" : ": " + link.fault_detail;
    switch (link.fault) {
        case ExchangeFault::kNone:
            return std::string();
        case ExchangeFault::kNotSent:
            return "nothing was sent: no usable agent address";
        case ExchangeFault::kBuildFailed:
            return "the request could not be built";
        case ExchangeFault::kSendFailed:
            return "the request could not be sent" + detail;
        case ExchangeFault::kNoAnswer:
            break;
        case ExchangeFault::kTooLong:
            return "the answer was too long";
        case ExchangeFault::kReceiveFailed:
            return "the answer could not be received" + detail;
        case ExchangeFault::kMangled:
            return "the answer could not be decoded";
        case ExchangeFault::kOutOfMemory:
            return "out of memory";
        case ExchangeFault::kCancelled:
            return "cancelled";
    }
    return "no answer";
}

int32_t send_request(AgentLink& link, SnmpMessage* request) {
    set_fault(link, ExchangeFault::kNotSent);
    if (request == nullptr || !is_sendable(request->pdu_type) || !has_agent(link)) {
        return 0;
    }
    if (request->request_id == 0) {
        request->request_id = next_request_id();
    }
    if (request->error_status == -1) {
        request->error_status = 0;
    }
    if (request->error_index == -1) {
        request->error_index = 0;
    }
    request->peer = link.agent_address;
    uint8_t buffer[kMaxDatagram];
    int32_t length = kMaxDatagram;
    if (msg_encode(link, request, buffer, &length) < 0) {
        set_fault(link, ExchangeFault::kBuildFailed);
        report_failure(link, "Error building packet");
        return 0;
    }
    if (link.socket_handle == kNoSocket) {
        set_fault(link, ExchangeFault::kSendFailed, "the link has no socket");
        return 0;
    }
    const SocketAddress to = address_for_socket(link.agent_address, link.socket_family);
    const auto sent = sendto(link.socket_handle, reinterpret_cast<const char*>(buffer), length, 0,
                             &to.any, address_length(to));
    if (sent < 0) {
        set_fault(link, ExchangeFault::kSendFailed, socket_error_text());
        return 0;
    }
    set_fault(link, ExchangeFault::kNone);
    return request->request_id;
}

SnmpMessage* accept_datagram(AgentLink& link, int32_t request_id, const uint8_t* data, int32_t size,
                             int32_t capacity, const SocketAddress& source, bool* dropped) {
    *dropped = false;
    if (!same_endpoint(source, link.agent_address)) {
        *dropped = true;
        return nullptr;
    }
    if (size > kMaxDatagram || size > capacity) {
        print_diagnostic("recvfrom: Message too long");
        set_fault(link, ExchangeFault::kTooLong);
        return nullptr;
    }
    // A readable request id that is not ours marks a late answer: not this
    // exchange's business.
    int32_t id = 0;
    if (msg_peek_request_id(data, size, &id) == 0 && id != request_id) {
        *dropped = true;
        return nullptr;
    }
    auto* answer = static_cast<SnmpMessage*>(snmp_alloc_zeroed(sizeof(SnmpMessage)));
    if (answer == nullptr) {
        set_fault(link, ExchangeFault::kOutOfMemory);
        report_failure(link, "Out of memory!");
        return nullptr;
    }
    answer->peer = plain_address(source);
    const int result = msg_decode(answer, data, size);
    if (result != 0) {
        msg_free(answer);
        const bool memory = result == kDecodeOutOfMemory;
        set_fault(link, memory ? ExchangeFault::kOutOfMemory : ExchangeFault::kMangled);
        report_failure(link, memory ? "Out of memory!" : "Mangled packet");
        return nullptr;
    }
    set_fault(link, ExchangeFault::kNone);
    return answer;
}

namespace {

// As `receive_answer`; `*nothing` tells that no datagram came because the
// socket's receive time-out passed or a signal interrupted the wait, which
// is not reported.
SnmpMessage* receive_or_time_out(AgentLink& link, int32_t request_id, bool* dropped,
                                 bool* nothing) {
    *dropped = false;
    *nothing = false;
    // One octet more than the largest datagram: a longer one shows up as
    // filling it, on platforms that truncate silently.
    uint8_t buffer[kMaxDatagram + 1];
    SocketAddress source{};
    socklen_arg source_length = sizeof source;
    auto received = recvfrom(link.socket_handle, reinterpret_cast<char*>(buffer), sizeof buffer, 0,
                             &source.any, &source_length);
    if (received < 0 && datagram_was_cut()) {
        received = sizeof buffer;  // as POSIX reports it: the buffer filled
    }
    if (received < 0 && (receive_wait_passed() || interrupted_call())) {
        *nothing = true;
        return nullptr;
    }
    if (received < 0) {
        const std::string error = socket_error_text();
        print_diagnostic("recvfrom: %s", error.c_str());
        set_fault(link, ExchangeFault::kReceiveFailed, error);
        return nullptr;
    }
    const auto size = static_cast<int32_t>(received);
    return accept_datagram(link, request_id, buffer, size, kMaxDatagram, source, dropped);
}

}  // namespace

SnmpMessage* receive_answer(AgentLink& link, int32_t request_id, bool* dropped) {
    *dropped = false;
    if (link.socket_handle == kNoSocket) {
        return nullptr;
    }
    bool nothing = false;
    SnmpMessage* answer = receive_or_time_out(link, request_id, dropped, &nothing);
    if (nothing) {
        const std::string error = socket_error_text();
        print_diagnostic("recvfrom: %s", error.c_str());
        set_fault(link, ExchangeFault::kReceiveFailed, error);
    }
    return answer;
}

int32_t begin_exchange(AgentLink& link, SnmpMessage* request) {
    set_fault(link, link_cancelled(link) ? ExchangeFault::kCancelled : ExchangeFault::kNotSent);
    if (request == nullptr || link_cancelled(link)) {
        return 0;
    }
    if (link.socket_handle != kNoSocket) {
        drain_socket(link);
    }
    return send_request(link, request);
}

SnmpMessage* take_answer(AgentLink& link, int32_t request_id, bool* pending) {
    *pending = true;
    // Strangers' datagrams are dropped, but a flood must not hold the owner.
    for (int i = 0; i < kMaxDrained; ++i) {
        if (link.socket_handle == kNoSocket || wait_readable(link.socket_handle, 0) != 1) {
            return nullptr;
        }
        bool dropped = false;
        SnmpMessage* answer = receive_answer(link, request_id, &dropped);
        if (!dropped) {
            *pending = false;
            return answer;
        }
    }
    return nullptr;
}

SnmpMessage* exchange_request(AgentLink& link, SnmpMessage* request) {
    const int32_t id = begin_exchange(link, request);
    if (id == 0) {
        return nullptr;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + link.answer_wait;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 && !link_cancelled(link)) {
            // An answer that came as the wait ran out is still taken.
            bool pending = false;
            SnmpMessage* answer = take_answer(link, id, &pending);
            if (!pending) {
                return answer;
            }
        }
        if (left.count() <= 0 || link_cancelled(link)) {
            set_fault(link,
                      left.count() <= 0 ? ExchangeFault::kNoAnswer : ExchangeFault::kCancelled);
            return nullptr;
        }
        // Round up so the last fraction of a millisecond is still waited; a
        // link that can be cancelled waits in short slices, since a signal
        // may reach another thread or come just before the wait begins.
        int slice = static_cast<int>(left.count()) + 1;
        if (link.cancel != nullptr && slice > kCancelCheckMs) {
            slice = kCancelCheckMs;
        }
        bool dropped = false;
        if (link.timed_receive && left.count() > 2 * kCancelCheckMs) {
            // The socket's own receive time-out is the slice: one system
            // call per answer instead of poll() and recvfrom(). The system
            // may round that time-out up, so the last two slices of the
            // wait go through poll() and the wait still ends on time.
            bool nothing = false;
            SnmpMessage* answer = receive_or_time_out(link, id, &dropped, &nothing);
            if (!nothing && !dropped) {
                return answer;
            }
            continue;
        }
        const int ready = wait_readable(link.socket_handle, slice);
        if (ready == 0 && slice <= left.count()) {
            continue;
        }
        if (ready < 0 && interrupted_call()) {
            continue;
        }
        if (ready == 0) {
            set_fault(link, ExchangeFault::kNoAnswer);
            return nullptr;
        }
        if (ready != 1) {
            set_fault(link, ExchangeFault::kReceiveFailed, socket_error_text());
            return nullptr;
        }
        SnmpMessage* answer = receive_answer(link, id, &dropped);
        if (!dropped) {
            return answer;
        }
    }
}
