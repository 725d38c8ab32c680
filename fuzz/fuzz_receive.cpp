// Fuzzes the transport's receive path without a socket: `accept_datagram`
// judges one datagram exactly as `receive_answer` does after `recvfrom`.
//
// Input: two control octets, then the datagram.
//   octet 0, bits 0-1  source: 0 and 3 the agent itself, 1 the agent's
//                      address from another port, 2 another address on the
//                      agent's port
//   octet 0, bits 2-3  awaited request id: 0 and 3 the datagram's own (1 when
//                      it has none that can be read), 1 one more than that,
//                      2 always 1
//   octet 0, bit 4     the datagram was longer than the octets held, as after
//                      a receive that filled its buffer
//   octet 1            C0 to FF: the (n - BF)-th heap allocation of the
//                      client fails (1 to 64); below C0 none does
//
// Besides crashes and sanitizer reports, the target checks the outcome
// against the contract: an answer is never also dropped or reported, comes
// only from the agent with the awaited id, and carries its source as peer; a
// dropped datagram reports nothing; anything else reports exactly one of
// the transport's texts, unless the datagram was too long to be read.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "snmp/agent_link.h"
#include "snmp/alloc.h"
#include "snmp/message.h"

namespace {

constexpr uint16_t kOtherPort = 1161;
constexpr char kAgentHost[] = "127.0.0.1";
constexpr char kOtherAddress[] = "127.0.0.2";

struct Reports {
    int count = 0;
    bool known_text = true;
};

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_receive: %s\n", what);
        std::abort();
    }
}

// The link the datagrams are judged against: resolved, never opened.
AgentLink& agent_link(Reports* reports) {
    static AgentLink link;
    static bool ready = false;
    if (!ready) {
        std::memcpy(link.host, kAgentHost, sizeof kAgentHost);
        require(resolve_agent(link) == 1, "the agent's address does not resolve");
        ready = true;
    }
    link.report = [reports](const std::string& text) {
        ++reports->count;
        if (text != "Mangled packet" && text != "Out of memory!") {
            reports->known_text = false;
        }
    };
    return link;
}

SocketAddress choose_source(const AgentLink& link, uint8_t control) {
    SocketAddress source = link.agent_address;
    switch (control & 0x03) {
        case 1:
            source.v4.sin_port = htons(kOtherPort);
            break;
        case 2:
            require(inet_pton(AF_INET, kOtherAddress, &source.v4.sin_addr) == 1,
                    "bad address text");
            break;
        case 3:
            // The agent as a dual-stack socket reports it: v4-mapped.
            source = address_for_socket(source, AF_INET6);
            break;
        default:
            break;
    }
    return source;
}

int32_t choose_request_id(uint8_t control, const uint8_t* data, int32_t size) {
    int32_t own = 1;
    msg_peek_request_id(data, size, &own);
    switch ((control >> 2) & 0x03) {
        case 1:
            // Unsigned, so that the largest id wraps instead of overflowing.
            return static_cast<int32_t>(static_cast<uint32_t>(own) + 1);
        case 2:
            return 1;
        default:
            return own;
    }
}

// The answer's peer is its source, IPv4 plain.
bool same_address(const SocketAddress& peer, const SocketAddress& source) {
    return address_family(peer) == AF_INET && same_endpoint(peer, source);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kControlSize = 2;
    if (size < kControlSize || size > static_cast<size_t>(2 * kMaxDatagram)) {
        return -1;
    }
    const uint8_t control = data[0];
    const int failing_allocation = data[1] >= 0xC0 ? data[1] - 0xBF : 0;
    const size_t held = size - kControlSize;
    const auto capacity = static_cast<int32_t>(held);
    const int32_t length = (control & 0x10) != 0 ? capacity + 1 : capacity;
    // An exactly-sized copy, so that AddressSanitizer sees any read past the
    // octets held.
    std::unique_ptr<uint8_t[]> datagram(new uint8_t[held]);
    if (held > 0) {
        std::memcpy(datagram.get(), data + kControlSize, held);
    }

    Reports reports;
    AgentLink& link = agent_link(&reports);
    const SocketAddress source = choose_source(link, control);
    const bool from_agent = (control & 0x03) == 0 || (control & 0x03) == 3;
    const int32_t request_id = choose_request_id(control, datagram.get(), capacity);

    if (failing_allocation > 0) {
        snmp_fail_allocation_after(failing_allocation);
    }
    bool dropped = true;
    SnmpMessage* answer =
        accept_datagram(link, request_id, datagram.get(), length, capacity, source, &dropped);
    snmp_fail_allocation_after(0);
    link.report = nullptr;

    require(reports.known_text, "a report with an unexpected text");
    if (answer != nullptr) {
        require(!dropped, "an answer that is also dropped");
        require(reports.count == 0, "an answer with a report");
        require(from_agent, "an answer from someone other than the agent");
        require(answer->request_id == request_id, "an answer to another request");
        require(same_address(answer->peer, source), "an answer whose peer is not its source");
        msg_free(answer);
    } else if (dropped) {
        require(reports.count == 0, "a dropped datagram with a report");
    } else {
        require(from_agent, "a datagram from someone else is not dropped");
        const bool too_long = length > kMaxDatagram || length > capacity;
        require(reports.count == (too_long ? 0 : 1), "not exactly one report for a lost answer");
    }
    if (!from_agent) {
        require(dropped, "a datagram from someone else is not dropped");
    }
    return 0;
}
