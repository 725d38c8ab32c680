// Which targets the exporter may probe, and with which community.
//
// Whoever can reach the exporter chooses the target of a probe, and a probe
// sends the community string to it; so only targets the operator allowed
// are probed: addresses inside an --allow CIDR, hosts named by --allow HOST
// (by name: names are not resolved to be checked), and the targets listed
// in a targets file. Communities are read from a file, never from a request.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A target as a probe names it, split: HOST, HOST:PORT, [IPv6] or
// [IPv6]:PORT (the port 161 when none), a bare IPv6 address on port 161.
struct TargetName {
    std::string host;  // lower case; an address as inet_ntop writes it, IPv6 without brackets
    uint16_t port = 0;
    bool numeric = false;  // an IPv4 or IPv6 address, not a name
    uint8_t address[16] = {};
    int address_length = 0;  // 4 or 16 when numeric

    // HOST:PORT or [IPv6]:PORT: what is sent to, the record's key.
    std::string endpoint() const;
};
// Returns false for anything else, an empty or overlong host, or a text
// with octets no address, name or port has (a NUL, an escape, a control).
// A numeric host is written the one way (inet_ntop's), and an IPv4-mapped
// IPv6 address becomes the IPv4 address it is sent to.
bool parse_target(const std::string& text, TargetName* target);

// One --allow: a CIDR ("192.0.2.0/24", "2001:db8::/32", a bare address is
// its own /32 or /128) or a host name.
struct AllowRule {
    bool network = false;
    uint8_t address[16] = {};
    int address_length = 0;
    int prefix = 0;
    std::string host;  // lower case, when not a network
};
bool parse_allow_rule(const std::string& text, AllowRule* rule);

class TargetPolicy {
public:
    void allow(const AllowRule& rule) { rules_.push_back(rule); }
    // A target of the targets file: exactly that host and port.
    void allow_target(const TargetName& target) { targets_.push_back(target); }
    bool empty() const { return rules_.empty() && targets_.empty(); }
    bool allows(const TargetName& target) const;

private:
    std::vector<AllowRule> rules_;
    std::vector<TargetName> targets_;
};

// Reads a targets file: one target a line, blank lines and lines starting
// with '#' skipped. Returns false with `*error` naming the file and line of
// the first line that is not a target.
bool read_targets_file(const std::string& path, TargetPolicy* policy, std::string* error);

// The communities: a line with one word is the community of every target
// without a line of its own; "TARGET COMMUNITY" gives one target its own.
// Blank lines and lines starting with '#' are skipped, and a UTF-8 byte
// order mark before the first. Refused, with the line named: a second
// line for every target or for one target, a lone HOST:PORT (a target
// without its community), a community with a control character or too
// long for a message, more than two words.
class Communities {
public:
    explicit Communities(std::string fallback) : fallback_(std::move(fallback)) {}
    bool parse(const std::string& text, std::string* error);
    const std::string& of(const TargetName& target) const;

private:
    std::string fallback_;
    std::map<std::pair<std::string, uint16_t>, std::string> per_target_;
};
// Also refuses a file that group or others have any access to.
bool read_communities_file(const std::string& path, Communities* communities, std::string* error);

// A whole small file; false when it cannot be read or is over `limit` octets.
bool read_small_file(const std::string& path, size_t limit, std::string* text, std::string* error);
