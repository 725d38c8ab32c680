// A thin shim over the platform's socket interface, so that the transport
// reads the same on POSIX and Winsock.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
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
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
using socket_t = int;
constexpr socket_t kNoSocket = -1;
using socklen_arg = socklen_t;
inline int close_socket(socket_t s) {
    return ::close(s);
}
#endif

// Starts the platform's socket library (Winsock 2.2); nothing elsewhere.
// The result is ignored by the console: a failure shows up at `open_link`.
inline void start_socket_library() {
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
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
#else
#include <poll.h>

#include <cerrno>
inline int wait_readable(socket_t s, int timeout_ms) {
    pollfd p{s, POLLIN, 0};
    const int r = ::poll(&p, 1, timeout_ms);
    return r > 0 ? 1 : r;
}
inline bool interrupted_call() {
    return errno == EINTR;
}
#endif
