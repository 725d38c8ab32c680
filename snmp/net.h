// A thin shim over the platform's socket interface, so that the transport
// reads the same on POSIX and Winsock.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
// After these two: it needs their types.
#include <mswsock.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
using socket_t = SOCKET;
constexpr socket_t kNoSocket = INVALID_SOCKET;
using socklen_arg = int;
inline int close_socket(socket_t s) {
    return closesocket(s);
}
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
using socket_t = int;
constexpr socket_t kNoSocket = -1;
using socklen_arg = socklen_t;
inline int close_socket(socket_t s) {
    return ::close(s);
}
#endif

// Starts the platform's socket library (Winsock 2.2) the first time it is
// called, and never again; nothing elsewhere. Returns whether it runs. The
// link calls it before it resolves or opens anything, so no caller has to.
inline bool start_socket_library() {
#ifdef _WIN32
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
#else
    return true;
#endif
}

// Waits until `s` is readable or `timeout_ms` passes. Returns 1 when
// readable, 0 on time-out, -1 on failure. poll() has no descriptor-number
// limit, unlike select().
#ifdef _WIN32
inline int wait_readable(socket_t s, int timeout_ms) {
    WSAPOLLFD p{s, POLLRDNORM, 0};
    const int r = WSAPoll(&p, 1, timeout_ms);
    return r > 0 ? 1 : r;
}
inline bool interrupted_call() {
    return false;
}

// Winsock leaves a socket in an undefined state after a receive time-out,
// so a timed blocking receive is not used there: waits go through
// wait_readable.
inline bool set_receive_wait(socket_t, int) {
    return false;
}
inline bool receive_wait_passed() {
    return false;
}

// Whether the last recvfrom() failed only because the datagram was longer
// than the buffer: Winsock fills the buffer, drops the rest and fails with
// WSAEMSGSIZE, where POSIX cuts the datagram silently.
inline bool datagram_was_cut() {
    return WSAGetLastError() == WSAEMSGSIZE;
}

// Takes one datagram that already waits on `s` into `buffer` (a longer one
// cut to `size` octets), without waiting. Returns false when none waits or
// the receive fails. Winsock has no per-call non-blocking flag: it asks
// first.
inline bool take_waiting_datagram(socket_t s, char* buffer, int size) {
    return wait_readable(s, 0) == 1 && (recv(s, buffer, size, 0) >= 0 || datagram_was_cut());
}

// Windows fails the next recvfrom() on a UDP socket with WSAECONNRESET once
// an earlier datagram drew an ICMP port-unreachable: a device whose agent is
// down would show a receive failure instead of no answer. Switched off, as
// POSIX never reports it on an unconnected socket. A system that refuses
// leaves the socket usable, so the result is only informative.
inline bool ignore_port_unreachable(socket_t s) {
#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif
    BOOL report = FALSE;
    DWORD returned = 0;
    return WSAIoctl(s, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr,
                    nullptr) == 0;
}

// Why the last socket call failed (Winsock does not set errno).
inline std::string socket_error_text() {
    return "Winsock error " + std::to_string(WSAGetLastError());
}
// What getaddrinfo()'s result `code` (a Winsock error) means, in the
// system's words, without the closing full stop.
inline std::string lookup_error_text(int code) {
    char text[256] = {};
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
        nullptr, static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    std::string said(text, length);
    while (!said.empty() && (said.back() == ' ' || said.back() == '.' || said.back() == '\r' ||
                             said.back() == '\n')) {
        said.pop_back();
    }
    return said.empty() ? "Winsock error " + std::to_string(code) : said;
}
#else
inline int wait_readable(socket_t s, int timeout_ms) {
    pollfd p{s, POLLIN, 0};
    const int r = ::poll(&p, 1, timeout_ms);
    return r > 0 ? 1 : r;
}
inline bool interrupted_call() {
    return errno == EINTR;
}

// Makes a blocking recvfrom() on `s` give up after `timeout_ms` (0: never).
// Returns false when the system refuses.
inline bool set_receive_wait(socket_t s, int timeout_ms) {
    timeval timeout{};
    timeout.tv_sec = timeout_ms / 1000;
    timeout.tv_usec = (timeout_ms % 1000) * 1000;
    return setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) == 0;
}
// Whether the last recvfrom() failed because its receive time-out passed.
inline bool receive_wait_passed() {
    return errno == EAGAIN || errno == EWOULDBLOCK;
}
inline bool datagram_was_cut() {
    return false;
}
// One system call: a receive that does not wait.
inline bool take_waiting_datagram(socket_t s, char* buffer, int size) {
    return recv(s, buffer, static_cast<size_t>(size), MSG_DONTWAIT) >= 0;
}
inline bool ignore_port_unreachable(socket_t) {
    return true;
}
inline std::string socket_error_text() {
    return std::strerror(errno);
}
// What getaddrinfo()'s result `code` means, in the system's words.
inline std::string lookup_error_text(int code) {
    return code == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(code);
}
#endif

// A socket address of either family. `v6`, the largest, comes first, so
// that zero-initialising the union zeroes all of it; family 0 is no address.
union SocketAddress {
    sockaddr_in6 v6;
    sockaddr_in v4;
    sockaddr any;
};

inline int address_family(const SocketAddress& a) {
    return a.any.sa_family;
}

// The length that sendto() and bind() take for `a`.
inline socklen_arg address_length(const SocketAddress& a) {
    return address_family(a) == AF_INET6 ? sizeof a.v6 : sizeof a.v4;
}

// The port of `a` in host order; 0 for no address.
inline uint16_t address_port(const SocketAddress& a) {
    return ntohs(address_family(a) == AF_INET6  ? a.v6.sin6_port
                 : address_family(a) == AF_INET ? a.v4.sin_port
                                                : 0);
}

inline void set_address_port(SocketAddress* a, uint16_t port) {
    if (address_family(*a) == AF_INET6) {
        a->v6.sin6_port = htons(port);
    } else {
        a->v4.sin_port = htons(port);
    }
}

// "HOST:PORT", an IPv6 host in brackets: "[::1]:161".
inline std::string endpoint_text(const std::string& host, uint16_t port) {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

inline bool is_v4_mapped(const SocketAddress& a) {
    static const uint8_t kPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    return address_family(a) == AF_INET6 &&
           std::memcmp(&a.v6.sin6_addr, kPrefix, sizeof kPrefix) == 0;
}

// An IPv4 address that came as a v4-mapped IPv6 address (a dual-stack
// socket reports IPv4 peers so) as plain IPv4; anything else unchanged.
inline SocketAddress plain_address(const SocketAddress& a) {
    if (!is_v4_mapped(a)) {
        return a;
    }
    SocketAddress plain{};
    plain.v4.sin_family = AF_INET;
    plain.v4.sin_port = a.v6.sin6_port;
    std::memcpy(&plain.v4.sin_addr, reinterpret_cast<const uint8_t*>(&a.v6.sin6_addr) + 12, 4);
    return plain;
}

// `a` as a socket of `socket_family` sends to it: an IPv4 address becomes
// v4-mapped for an AF_INET6 socket.
inline SocketAddress address_for_socket(const SocketAddress& a, int socket_family) {
    if (socket_family != AF_INET6 || address_family(a) != AF_INET) {
        return a;
    }
    SocketAddress mapped{};
    mapped.v6.sin6_family = AF_INET6;
    mapped.v6.sin6_port = a.v4.sin_port;
    auto* bytes = reinterpret_cast<uint8_t*>(&mapped.v6.sin6_addr);
    bytes[10] = 0xFF;
    bytes[11] = 0xFF;
    std::memcpy(bytes + 12, &a.v4.sin_addr, 4);
    return mapped;
}

// Whether `a` and `b` are the same address and port, IPv4 compared with
// its v4-mapped form. A zone (scope id) counts only when both name one.
inline bool same_endpoint(const SocketAddress& a, const SocketAddress& b) {
    const SocketAddress x = plain_address(a);
    const SocketAddress y = plain_address(b);
    if (address_family(x) != address_family(y)) {
        return false;
    }
    if (address_family(x) == AF_INET) {
        return x.v4.sin_port == y.v4.sin_port && x.v4.sin_addr.s_addr == y.v4.sin_addr.s_addr;
    }
    if (address_family(x) != AF_INET6) {
        return false;
    }
    return x.v6.sin6_port == y.v6.sin6_port &&
           std::memcmp(&x.v6.sin6_addr, &y.v6.sin6_addr, sizeof x.v6.sin6_addr) == 0 &&
           (x.v6.sin6_scope_id == 0 || y.v6.sin6_scope_id == 0 ||
            x.v6.sin6_scope_id == y.v6.sin6_scope_id);
}

// Parses a numeric address of either family: dotted IPv4 (four decimal
// parts, nothing shorter) or IPv6 with an optional zone ("fe80::1%eth0").
// The port is left 0. Returns whether `text` was one.
inline bool numeric_address(const std::string& text, SocketAddress* address) {
    SocketAddress parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed.v4.sin_addr) == 1) {
        parsed.v4.sin_family = AF_INET;
        *address = parsed;
        return true;
    }
    if (text.find(':') == std::string::npos) {
        return false;
    }
    // getaddrinfo rather than inet_pton: it reads the zone too.
    addrinfo hints{};
    hints.ai_family = AF_INET6;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    if (getaddrinfo(text.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return false;
    }
    const bool fits = found->ai_family == AF_INET6 && found->ai_addrlen <= sizeof parsed;
    if (fits) {
        std::memcpy(&parsed, found->ai_addr, found->ai_addrlen);
    }
    freeaddrinfo(found);
    if (fits) {
        *address = parsed;
    }
    return fits;
}

// Makes an AF_INET6 socket take IPv4 peers too (v4-mapped). Returns
// whether it does.
inline bool allow_both_families(socket_t s) {
    int v6_only = 0;
    return setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&v6_only),
                      sizeof v6_only) == 0;
}
