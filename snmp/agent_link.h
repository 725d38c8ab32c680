// The console's one connection to the device's SNMP agent: host and port,
// community and version for every message, one UDP socket and the resolved
// address, and the strictly synchronous exchange over it: one datagram out,
// one wait of at most `answer_wait` (two seconds unless the owner changes
// it), at most one answer in, no resend.
//
// Failures the operator must see ("Can't resolve hostname", "Can't create
// socket", "Can't bind socket", "Error building packet", "Out of memory!",
// "Mangled packet") go to the link's `report` callback, which the window
// supplies; without one they are written to the standard error stream.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "snmp/message.h"
#include "snmp/net.h"

using FailureReporter = std::function<void(const std::string& text)>;

// The failure of `resolve_agent`, which a cause may follow (": ...").
constexpr char kResolveFailure[] = "Can't resolve hostname";

constexpr uint16_t kDefaultAgentPort = 161;
constexpr char kDefaultCommunity[] = "quolen";
constexpr int32_t kLinkTextSize = 1000;  // host and community, terminator included
constexpr int kAnswerWaitSeconds = 2;
// While an owner can cancel, the wait for an answer looks at the flag at
// least this often.
constexpr int kCancelCheckMs = 20;
// Why an exchange ended without an answer.
enum class ExchangeFault {
    kNone,           // an answer came
    kNotSent,        // nothing sent: no agent (its address was refused), or no sendable request
    kBuildFailed,    // the request could not be encoded ("Error building packet")
    kSendFailed,     // the system refused the datagram, or the link has no socket
    kNoAnswer,       // nothing came within the wait
    kTooLong,        // an answer came but was longer than kMaxDatagram
    kReceiveFailed,  // the wait or the receive failed
    kMangled,        // the answer could not be decoded ("Mangled packet")
    kOutOfMemory,    // "Out of memory!"
    kCancelled,      // the owner cancelled it
};

struct AgentLink {
    // As typed: IPv4, a host name or IPv6, each optionally with ":PORT"
    // (IPv6 then in brackets: "[2001:db8::7]:1161").
    char host[kLinkTextSize];
    uint16_t agent_port;  // when `host` names none; the owner may change it

    uint16_t local_port;  // 0: the system chooses
    int32_t version;      // 0: SNMP version 1
    int32_t community_length;
    char community[kLinkTextSize];
    socket_t socket_handle;  // kNoSocket while not open
    // AF_INET6 for the dual-stack socket (IPv4 agents through v4-mapped
    // addresses), AF_INET where the system has no IPv6; 0 while not open.
    int socket_family;
    // True when a blocking receive on the socket gives up after
    // kCancelCheckMs, so the answer wait needs no poll() before it.
    bool timed_receive = false;
    // Destination of every request, IPv4 agents as plain AF_INET; family
    // 0: no agent.
    SocketAddress agent_address;
    FailureReporter report;
    // Set by the owner (a stop signal, a closing window) to give up at once:
    // an exchange that finds it set sends nothing, and one waiting for its
    // answer ends within kCancelCheckMs with none. Null: never cancelled.
    const std::atomic<bool>* cancel = nullptr;
    // How long an exchange waits for its answer, in all; zero or less sends
    // the request and awaits nothing. The console keeps the default; tests
    // that only need "no answer came" shorten it.
    std::chrono::milliseconds answer_wait = std::chrono::seconds(kAnswerWaitSeconds);
    // Why the last exchange gave no answer, so the owner can say what
    // happened instead of "no answer"; kNone after an answer. Each exchange
    // sets it.
    ExchangeFault fault = ExchangeFault::kNone;
    std::string fault_detail;  // the system's reason, for kSendFailed and kReceiveFailed

    AgentLink();
};

// Process-wide request numbering: 1, 2, 3, ... across every request sent.
// After 2147483647 it goes on through the negative numbers and skips 0, which
// means "not yet numbered". Atomic: links on several threads (the exporter's
// scrapes) number their requests from it at once.
extern std::atomic<int32_t> request_counter;

// The name lookup behind `resolve_agent` (the system's resolver by default).
// Returns true and the first address of `name` whose family is `family`
// (AF_UNSPEC: either), in the resolver's order, port 0; else false and, in
// `why`, the resolver's reason. Tests put their own in its place to stay off
// the network; null restores the system's.
using NameLookup = bool (*)(const char* name, int family, SocketAddress* address, std::string* why);
void set_name_lookup(NameLookup lookup);

// Splits an agent address as typed into host and port: "HOST", "HOST:PORT",
// a bare IPv6 address (never split: "::1:161" is an address), "[IPv6]" or
// "[IPv6]:PORT". A port is 1 to 65535 in decimal; without one the port is
// `default_port`. `*ipv6` tells that the host must be a numeric IPv6
// address. Returns false, leaving the outputs alone, for any other form,
// and then says why in `*why` when given.
bool split_agent_address(const std::string& text, uint16_t default_port, std::string* host,
                         uint16_t* port, bool* ipv6, std::string* why = nullptr);

// A host of only digits and dots is an IPv4 address, and only as a dotted
// quad: four decimal numbers 0 to 255 without leading zeros. Returns empty
// and sets `*address` (port 0) for one; else says why it is none ("010 has
// a leading zero ..."), leaving `*address` alone. The resolver's older forms
// ("10.1", "010.0.0.1" read as octal) would reach another device.
std::string parse_dotted_quad(const std::string& host, SocketAddress* address);

// Why no request may be sent to `address`: a multicast, broadcast or
// unspecified destination reaches many devices or none. Empty for an
// address of one device.
std::string destination_fault(const SocketAddress& address);

// Sets `agent_address` from `host` and `agent_port` (see
// `split_agent_address`): a numeric address used directly (IPv4 only as a
// dotted quad), else a name lookup. An empty host is the local computer,
// 127.0.0.1. Refused: a form `split_agent_address` refuses, a text the
// system would read as an IPv4 number of another form, a destination that
// `destination_fault` names, and an IPv6 address on a link whose socket is
// IPv4 only. Returns 1, or 0 after reporting "Can't resolve hostname",
// followed by ": " and the cause when there is one more precise than an
// unknown name; the link then has no agent (`agent_address` all zero) and
// sends nothing until a later resolution succeeds, so no request reaches
// the device named before.
int resolve_agent(AgentLink& link);

// Resolves, then creates and binds the UDP socket unless it is already open:
// dual-stack where the system allows, else IPv4 only. Returns 1 when the link has a bound socket, 0
// after reporting "Can't create socket" or "Can't bind socket".
int open_link(AgentLink& link);

// Closes the link's socket, if open; the link can be opened again.
void close_link(AgentLink& link);

// True while the link has an agent to send to.
bool has_agent(const AgentLink& link);
// True once the owner has cancelled the link's exchanges.
bool link_cancelled(const AgentLink& link);

// What the operator is told for `link.fault`: empty for kNone, "no answer"
// for silence, else the cause ("the request could not be sent: Permission
// denied", "the answer was too long", ...).
std::string exchange_fault_text(const AgentLink& link);

// Numbers the request (when its id is 0), turns error status and index of -1
// into 0, sets its peer, encodes and sends it. Returns the request id, or 0
// when nothing was sent (unsendable PDU type; no agent, silently; "Error
// building packet" reported when encoding fails; a failed send is silent),
// with `link.fault` saying which.
int32_t send_request(AgentLink& link, SnmpMessage* request);

// Reads one datagram and decodes it if it is the answer to `request_id`: from
// the agent's address and port, carrying that request id. A datagram from
// anyone else, or with another readable request id, is dropped and
// `*dropped` set, so the caller goes on waiting. Otherwise the result is the
// answer (owned by the caller), or none after a receive error (the "recvfrom"
// diagnostic; a datagram over 4500 octets counts as one, kTooLong), "Out of
// memory!" or "Mangled packet", with `link.fault` saying which.
SnmpMessage* receive_answer(AgentLink& link, int32_t request_id, bool* dropped);

// Judges one received datagram as `receive_answer` does, without a socket:
// `size` is the datagram's full length (it may exceed `capacity`, the octets
// held at `data`).
SnmpMessage* accept_datagram(AgentLink& link, int32_t request_id, const uint8_t* data, int32_t size,
                             int32_t capacity, const SocketAddress& source, bool* dropped);

// The two halves of an exchange for an owner whose event loop does the
// waiting. `begin_exchange` discards datagrams already queued and sends the
// request: it returns the request id, or 0 when nothing was sent (none at
// once when the link has no agent or is cancelled), with `link.fault` saying
// why. The owner then waits for the socket to become readable, and at most
// the link's `answer_wait` from the send.
int32_t begin_exchange(AgentLink& link, SnmpMessage* request);
// Takes what waits on the socket now, never waiting: the answer to
// `request_id` (owned by the caller); else null, with `*pending` true while
// nothing of the exchange has come (nothing waits, or a datagram that is not
// its answer was dropped), false when the exchange ended without an answer
// (`link.fault` says why). Called once more when the wait is over, so an
// answer that came just before is taken rather than missed.
SnmpMessage* take_answer(AgentLink& link, int32_t request_id, bool* pending);

// Discards datagrams already queued, sends the request, and waits at most the
// link's `answer_wait` in all for its answer. Returns the answer (owned by the
// caller) or none, with `link.fault` saying why; none at once when the link
// has no agent or is cancelled. The request stays the caller's.
SnmpMessage* exchange_request(AgentLink& link, SnmpMessage* request);
