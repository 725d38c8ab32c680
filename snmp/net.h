// A thin shim over the platform's socket interface, so that the transport
// reads the same on POSIX and Winsock.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
// After these two: it needs their types.
#include <mswsock.h>

#include <cstdio>
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

// Whether the last recvfrom() failed only because the datagram was longer
// than the buffer: Winsock fills the buffer, drops the rest and fails with
// WSAEMSGSIZE, where POSIX cuts the datagram silently.
inline bool datagram_was_cut() {
    return WSAGetLastError() == WSAEMSGSIZE;
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
#else
inline int wait_readable(socket_t s, int timeout_ms) {
    pollfd p{s, POLLIN, 0};
    const int r = ::poll(&p, 1, timeout_ms);
    return r > 0 ? 1 : r;
}
inline bool interrupted_call() {
    return errno == EINTR;
}
inline bool datagram_was_cut() {
    return false;
}
inline bool ignore_port_unreachable(socket_t) {
    return true;
}
inline std::string socket_error_text() {
    return std::strerror(errno);
}
#endif

// "WHAT: reason" for the last failed socket call on the standard error
// stream, as perror() prints it.
inline void print_socket_error(const char* what) {
    std::fprintf(stderr, "%s: %s\n", what, socket_error_text().c_str());
}
