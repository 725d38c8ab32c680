// The agent link: resolution, the socket, and the synchronous exchange.
#include "snmp/agent_link.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "snmp/alloc.h"

int32_t request_counter = 0;

namespace {

// Datagrams drained before a send, at most: a flood must not hold the
// console here.
constexpr int kMaxDrained = 256;

void report_failure(const AgentLink& link, const char* text) {
    if (link.report) {
        link.report(text);
    } else {
        std::fprintf(stderr, "%s\n", text);
    }
}

int32_t next_request_id() {
    // Unsigned arithmetic: no overflow, and 0 stays reserved for "unnumbered".
    uint32_t next = static_cast<uint32_t>(request_counter) + 1;
    if (next == 0) {
        next = 1;
    }
    request_counter = static_cast<int32_t>(next);
    return request_counter;
}

bool system_name_lookup(const char* name, in_addr* address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) {
        return false;
    }
    *address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
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
    uint8_t sink[kMaxDatagram + 1];
    for (int i = 0; i < kMaxDrained && wait_readable(link.socket_handle, 0) == 1; ++i) {
        sockaddr_in from{};
        socklen_arg from_length = sizeof from;
        if (recvfrom(link.socket_handle, reinterpret_cast<char*>(sink), sizeof sink, 0,
                     reinterpret_cast<sockaddr*>(&from), &from_length) < 0 &&
            !datagram_was_cut()) {
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
      agent_address{} {
    std::memcpy(community, kDefaultCommunity, sizeof kDefaultCommunity);
}

int resolve_agent(AgentLink& link) {
    start_socket_library();
    const std::string host(link.host, strnlen(link.host, sizeof link.host));
    in_addr address{};
    if (host.empty()) {
        // Not every platform's lookup answers an empty name; the local
        // computer is meant.
        address.s_addr = htonl(INADDR_LOOPBACK);
    } else if (inet_pton(AF_INET, host.c_str(), &address) != 1 &&
               !name_lookup(host.c_str(), &address)) {
        // The old address would send this command, a Set included, to
        // another device than the one the operator now names.
        link.agent_address = sockaddr_in{};
        report_failure(link, "Can't resolve hostname");
        return 0;
    }
    link.agent_address.sin_family = AF_INET;
    link.agent_address.sin_port = htons(link.agent_port);
    link.agent_address.sin_addr = address;
    return 1;
}

int open_link(AgentLink& link) {
    resolve_agent(link);
    if (link.socket_handle != kNoSocket) {
        return 1;
    }
    start_socket_library();
    const socket_t s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s == kNoSocket) {
        report_failure(link, "Can't create socket");
        return 0;
    }
    ignore_port_unreachable(s);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(link.local_port);
    if (bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        close_socket(s);
        report_failure(link, "Can't bind socket");
        return 0;
    }
    link.socket_handle = s;
    return 1;
}

bool has_agent(const AgentLink& link) {
    return link.agent_address.sin_family == AF_INET;
}

bool link_cancelled(const AgentLink& link) {
    return link.cancel != nullptr && link.cancel->load();
}

void close_link(AgentLink& link) {
    if (link.socket_handle != kNoSocket) {
        close_socket(link.socket_handle);
        link.socket_handle = kNoSocket;
    }
}

int32_t send_request(AgentLink& link, SnmpMessage* request) {
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
        report_failure(link, "Error building packet");
        return 0;
    }
    if (link.socket_handle == kNoSocket) {
        return 0;
    }
    const auto sent =
        sendto(link.socket_handle, reinterpret_cast<const char*>(buffer), length, 0,
               reinterpret_cast<const sockaddr*>(&link.agent_address), sizeof link.agent_address);
    if (sent < 0) {
        return 0;
    }
    return request->request_id;
}

SnmpMessage* accept_datagram(AgentLink& link, int32_t request_id, const uint8_t* data, int32_t size,
                             int32_t capacity, const sockaddr_in& source, bool* dropped) {
    *dropped = false;
    if (source.sin_addr.s_addr != link.agent_address.sin_addr.s_addr ||
        source.sin_port != link.agent_address.sin_port) {
        *dropped = true;
        return nullptr;
    }
    if (size > kMaxDatagram || size > capacity) {
        std::fprintf(stderr, "recvfrom: Message too long\n");
        link.answer_too_long = true;
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
        report_failure(link, "Out of memory!");
        return nullptr;
    }
    answer->peer = source;
    const int result = msg_decode(answer, data, size);
    if (result != 0) {
        msg_free(answer);
        report_failure(link, result == kDecodeOutOfMemory ? "Out of memory!" : "Mangled packet");
        return nullptr;
    }
    return answer;
}

SnmpMessage* receive_answer(AgentLink& link, int32_t request_id, bool* dropped) {
    *dropped = false;
    if (link.socket_handle == kNoSocket) {
        return nullptr;
    }
    // One octet more than the largest datagram: a longer one shows up as
    // filling it, on platforms that truncate silently.
    uint8_t buffer[kMaxDatagram + 1];
    sockaddr_in source{};
    socklen_arg source_length = sizeof source;
    auto received = recvfrom(link.socket_handle, reinterpret_cast<char*>(buffer), sizeof buffer, 0,
                             reinterpret_cast<sockaddr*>(&source), &source_length);
    if (received < 0 && datagram_was_cut()) {
        received = sizeof buffer;  // as POSIX reports it: the buffer filled
    }
    if (received < 0) {
        print_socket_error("recvfrom");
        return nullptr;
    }
    const auto size = static_cast<int32_t>(received);
    return accept_datagram(link, request_id, buffer, size, kMaxDatagram, source, dropped);
}

SnmpMessage* exchange_request(AgentLink& link, SnmpMessage* request) {
    link.answer_too_long = false;
    if (request == nullptr || link_cancelled(link)) {
        return nullptr;
    }
    if (link.socket_handle != kNoSocket) {
        drain_socket(link);
    }
    const int32_t id = send_request(link, request);
    if (id == 0) {
        return nullptr;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + link.answer_wait;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || link_cancelled(link)) {
            return nullptr;
        }
        // Round up so the last fraction of a millisecond is still waited; a
        // link that can be cancelled waits in short slices, since a signal
        // may reach another thread or come just before the wait begins.
        int slice = static_cast<int>(left.count()) + 1;
        if (link.cancel != nullptr && slice > kCancelCheckMs) {
            slice = kCancelCheckMs;
        }
        const int ready = wait_readable(link.socket_handle, slice);
        if (ready == 0 && slice <= left.count()) {
            continue;
        }
        if (ready < 0 && interrupted_call()) {
            continue;
        }
        if (ready != 1) {
            return nullptr;
        }
        bool dropped = false;
        SnmpMessage* answer = receive_answer(link, id, &dropped);
        if (!dropped) {
            return answer;
        }
    }
}
