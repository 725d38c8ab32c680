// Agent addresses as typed, or as read back from the history file: the link
// parses and resolves any text without reading past it, and either has an
// agent with a port or reports the one failure and has none. Names are never
// looked up (no network). A host of digits and dots is never a name: it
// resolves exactly when it is a dotted quad in its one decimal spelling and
// names one device, and then to that address. No agent is ever a multicast,
// broadcast or unspecified address.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "snmp/agent_link.h"

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_address: %s\n", what);
        std::abort();
    }
}

bool only_digits_and_dots(const std::string& text) {
    return text.find_first_not_of("0123456789.") == std::string::npos;
}

bool no_names(const char* name, int, SocketAddress*, std::string*) {
    require(!only_digits_and_dots(name), "digits and dots looked up as a name");
    return false;
}

// The four numbers of `host` when it is exactly "A.B.C.D" in decimal, each
// 0 to 255 and written without leading zeros; read independently of the
// link's own parser.
bool canonical_quad(const std::string& host, uint8_t quad[4]) {
    unsigned n[4] = {};
    if (std::sscanf(host.c_str(), "%3u.%3u.%3u.%3u", &n[0], &n[1], &n[2], &n[3]) != 4) {
        return false;
    }
    char again[32];
    std::snprintf(again, sizeof again, "%u.%u.%u.%u", n[0], n[1], n[2], n[3]);
    for (int i = 0; i < 4; ++i) {
        quad[i] = static_cast<uint8_t>(n[i]);
    }
    return n[0] < 256 && n[1] < 256 && n[2] < 256 && n[3] < 256 && host == again;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= static_cast<size_t>(kLinkTextSize)) {
        return -1;
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (text.find('\0') != std::string::npos) {
        return -1;  // the address box holds no terminator
    }
    set_name_lookup(no_names);
    std::string host;
    uint16_t port = 0;
    bool ipv6 = false;
    const bool split = split_agent_address(text, 161, &host, &port, &ipv6);
    if (split) {
        require(port != 0, "a split without a port");
        require(text.find(host) != std::string::npos, "a host that is not part of the text");
    }

    AgentLink link;
    std::memcpy(link.host, text.data(), size);
    link.host[size] = '\0';
    link.socket_family = (size & 1) != 0 ? AF_INET : AF_INET6;
    int reports = 0;
    link.report = [&reports](const std::string& failure) {
        require(failure.rfind(kResolveFailure, 0) == 0, "an unexpected report");
        ++reports;
    };
    const int resolved = resolve_agent(link);
    require(resolved == (has_agent(link) ? 1 : 0), "the result disagrees with the agent");
    require(reports == 1 - resolved, "not exactly one report for a failure");
    if (resolved == 1) {
        require(address_port(link.agent_address) != 0, "an agent without a port");
        require(!is_v4_mapped(link.agent_address), "an IPv4 agent kept v4-mapped");
        require(link.socket_family == AF_INET6 || address_family(link.agent_address) == AF_INET,
                "an IPv6 agent on an IPv4 socket");
        require(destination_fault(link.agent_address).empty(), "an agent of many devices or none");
    }
    if (split && !ipv6 && !host.empty() && only_digits_and_dots(host)) {
        uint8_t quad[4] = {};
        const bool canonical = canonical_quad(host, quad);
        SocketAddress typed{};
        typed.v4.sin_family = AF_INET;
        std::memcpy(&typed.v4.sin_addr, quad, sizeof quad);
        require(resolved == (canonical && destination_fault(typed).empty()),
                "digits and dots resolved other than as a dotted quad");
        require(
            resolved == 0 || std::memcmp(&link.agent_address.v4.sin_addr, quad, sizeof quad) == 0,
            "a dotted quad resolved to another address");
    }
    return 0;
}
