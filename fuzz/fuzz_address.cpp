// Agent addresses as typed, or as read back from the history file: the link
// parses and resolves any text without reading past it, and either has an
// agent with a port or reports the one failure and has none. Names are never
// looked up (no network); numeric forms are parsed by the system's own
// functions.
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

bool no_names(const char*, int, SocketAddress*) {
    return false;
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
    if (split_agent_address(text, 161, &host, &port, &ipv6)) {
        require(port != 0, "a split without a port");
        require(text.find(host) != std::string::npos, "a host that is not part of the text");
    }

    AgentLink link;
    std::memcpy(link.host, text.data(), size);
    link.host[size] = '\0';
    link.socket_family = (size & 1) != 0 ? AF_INET : AF_INET6;
    int reports = 0;
    link.report = [&reports](const std::string& failure) {
        require(failure == "Can't resolve hostname", "an unexpected report");
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
    }
    return 0;
}
