// The targets a probe may name, and their communities.
#include "exporter/access.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "snmp/agent_link.h"
#include "snmp/net.h"

namespace {

// Longest host name (RFC 1035's 253, and its dot).
constexpr size_t kLongestHost = 254;
// Files the exporter reads at start are small; anything larger is a mistake.
constexpr size_t kLongestFile = 1 << 20;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool name_char(unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '.' || c == '_';
}

// Sets the octets of a numeric IPv4 or IPv6 address.
bool numeric_address(const std::string& host, uint8_t* address, int* length) {
    in_addr v4{};
    in6_addr v6{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1) {
        std::memcpy(address, &v4, 4);
        *length = 4;
        return true;
    }
    if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
        std::memcpy(address, &v6, 16);
        *length = 16;
        return true;
    }
    return false;
}

bool prefix_matches(const uint8_t* a, const uint8_t* b, int bits) {
    const int whole = bits / 8;
    if (std::memcmp(a, b, static_cast<size_t>(whole)) != 0) {
        return false;
    }
    const int rest = bits % 8;
    if (rest == 0) {
        return true;
    }
    const auto mask = static_cast<uint8_t>(0xFF << (8 - rest));
    return (a[whole] & mask) == (b[whole] & mask);
}

// The lines that carry something: no blank lines, no comments, no CR, no
// UTF-8 byte order mark before the first (an editor's, not the text's).
std::vector<std::pair<int, std::string>> content_lines(const std::string& text) {
    std::vector<std::pair<int, std::string>> lines;
    constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
    std::istringstream in(text.compare(0, 3, kByteOrderMark) == 0 ? text.substr(3) : text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') {
            continue;
        }
        const size_t last = line.find_last_not_of(" \t");
        lines.emplace_back(number, line.substr(first, last - first + 1));
    }
    return lines;
}

}  // namespace

bool parse_target(const std::string& text, TargetName* target) {
    // Only the octets a host name, an address and a port are made of: a NUL
    // or a control would otherwise end the text early where it is used,
    // and the target checked would not be the one sent to.
    if (text.empty() || text.size() > kLongestHost + 8 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) {
            return name_char(c) || c == ':' || c == '[' || c == ']';
        })) {
        return false;
    }
    std::string host;
    uint16_t port = 0;
    bool ipv6 = false;
    if (!split_agent_address(text, kDefaultAgentPort, &host, &port, &ipv6) || host.empty() ||
        host.size() > kLongestHost) {
        return false;
    }
    TargetName t;
    t.port = port;
    t.numeric = numeric_address(host, t.address, &t.address_length);
    if (ipv6 && (!t.numeric || t.address_length != 16)) {
        return false;
    }
    if (t.numeric) {
        // An IPv4-mapped IPv6 address is sent to as IPv4, so it is that
        // IPv4 address, checked by the IPv4 rules.
        static const uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
        if (t.address_length == 16 && std::memcmp(t.address, kMapped, sizeof kMapped) == 0) {
            std::memmove(t.address, t.address + 12, 4);
            std::memset(t.address + 4, 0, 12);
            t.address_length = 4;
        }
        // One spelling per address: the record, the community and the rules
        // all see the address that is sent to.
        char shown[INET6_ADDRSTRLEN] = {};
        inet_ntop(t.address_length == 4 ? AF_INET : AF_INET6, t.address, shown, sizeof shown);
        t.host = shown;
    } else {
        // A name never has a colon, and digits and dots alone that are no
        // dotted quad are a number the lookup would read its own way.
        t.host = lower(host);
        if (host.find(':') != std::string::npos ||
            host.find_first_not_of("0123456789.") == std::string::npos) {
            return false;
        }
    }
    *target = t;
    return true;
}

std::string TargetName::endpoint() const {
    return endpoint_text(host, port);
}

bool parse_allow_rule(const std::string& text, AllowRule* rule) {
    AllowRule r;
    const size_t slash = text.find('/');
    const std::string host = lower(text.substr(0, slash));
    if (numeric_address(host, r.address, &r.address_length)) {
        r.network = true;
        r.prefix = r.address_length * 8;
        if (slash != std::string::npos) {
            const std::string bits = text.substr(slash + 1);
            if (bits.empty() || bits.size() > 3 ||
                !std::all_of(bits.begin(), bits.end(),
                             [](unsigned char c) { return std::isdigit(c); })) {
                return false;
            }
            r.prefix = std::stoi(bits);
            if (r.prefix > r.address_length * 8) {
                return false;
            }
        }
    } else {
        if (slash != std::string::npos || host.empty() || host.size() > kLongestHost ||
            !std::all_of(host.begin(), host.end(), [](unsigned char c) { return name_char(c); })) {
            return false;
        }
        r.host = host;
    }
    *rule = r;
    return true;
}

bool TargetPolicy::allows(const TargetName& target) const {
    for (const AllowRule& rule : rules_) {
        if (rule.network ? target.numeric && target.address_length == rule.address_length &&
                               prefix_matches(target.address, rule.address, rule.prefix)
                         : target.host == rule.host) {
            return true;
        }
    }
    for (const TargetName& listed : targets_) {
        if (listed.port == target.port &&
            (listed.numeric && target.numeric
                 ? listed.address_length == target.address_length &&
                       std::memcmp(listed.address, target.address,
                                   static_cast<size_t>(listed.address_length)) == 0
                 : listed.host == target.host)) {
            return true;
        }
    }
    return false;
}

bool read_small_file(const std::string& path, size_t limit, std::string* text, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": cannot be read";
        return false;
    }
    std::string content;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        content.append(buffer, static_cast<size_t>(in.gcount()));
        if (content.size() > limit) {
            *error = path + ": larger than " + std::to_string(limit) + " octets";
            return false;
        }
    }
    *text = content;
    return true;
}

bool read_targets_file(const std::string& path, TargetPolicy* policy, std::string* error) {
    std::string text;
    if (!read_small_file(path, kLongestFile, &text, error)) {
        return false;
    }
    for (const auto& [number, line] : content_lines(text)) {
        TargetName target;
        if (!parse_target(line, &target)) {
            *error = path + ":" + std::to_string(number) + ": not a target (HOST or HOST:PORT)";
            return false;
        }
        policy->allow_target(target);
    }
    return true;
}

bool Communities::parse(const std::string& text, std::string* error) {
    // Where each community was given, so that a second one names the first.
    int fallback_line = 0;
    std::map<std::pair<std::string, uint16_t>, int> target_lines;
    for (const auto& [number, line] : content_lines(text)) {
        const std::string at = "line " + std::to_string(number) + ": ";
        const size_t blank = line.find_first_of(" \t");
        const std::string community =
            blank == std::string::npos ? line : line.substr(line.find_first_not_of(" \t", blank));
        if (community.find_first_of(" \t") != std::string::npos) {
            *error = at + "more than TARGET COMMUNITY";
            return false;
        }
        if (!std::all_of(community.begin(), community.end(),
                         [](unsigned char c) { return c > ' ' && c != 0x7F; })) {
            *error = at + "the community holds a control character";
            return false;
        }
        if (community.size() >= static_cast<size_t>(kLinkTextSize)) {
            *error = at + "the community is longer than " + std::to_string(kLinkTextSize - 1) +
                     " octets";
            return false;
        }
        TargetName target;
        if (blank == std::string::npos) {
            // A lone HOST:PORT is a target whose community was left out,
            // not every target's community.
            if (community.find(':') != std::string::npos && parse_target(community, &target)) {
                *error = at + community + " is a target without its community";
                return false;
            }
            if (fallback_line != 0) {
                *error = at + "a second community for every target (the first is on line " +
                         std::to_string(fallback_line) + ")";
                return false;
            }
            fallback_line = number;
            fallback_ = community;
            continue;
        }
        if (!parse_target(line.substr(0, blank), &target)) {
            *error = at + line.substr(0, blank) + " is not a target (HOST, HOST:PORT, [IPv6]:PORT)";
            return false;
        }
        const auto key = std::make_pair(target.host, target.port);
        const auto seen = target_lines.find(key);
        if (seen != target_lines.end()) {
            *error = at + "a second community for " + target.endpoint() +
                     " (the first is on line " + std::to_string(seen->second) + ")";
            return false;
        }
        target_lines[key] = number;
        per_target_[key] = community;
    }
    return true;
}

const std::string& Communities::of(const TargetName& target) const {
    const auto found = per_target_.find({target.host, target.port});
    return found == per_target_.end() ? fallback_ : found->second;
}

bool read_communities_file(const std::string& path, Communities* communities, std::string* error) {
    // A secret that others may read is no longer one: refused, as sshd
    // refuses such a key.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && (info.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        *error = path + ": group or others have access (mode " + mode + "); chmod 600 it";
        return false;
    }
    std::string text;
    if (!read_small_file(path, kLongestFile, &text, error)) {
        return false;
    }
    std::string why;
    if (!communities->parse(text, &why)) {
        *error = path + ": " + why;
        return false;
    }
    return true;
}
