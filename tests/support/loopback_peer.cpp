#include "loopback_peer.h"

LoopbackPeer::LoopbackPeer() {
    start_socket_library();
    socket_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof local);
    socklen_arg length = sizeof address_;
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address_), &length);
}

LoopbackPeer::~LoopbackPeer() {
    close_socket(socket_);
}

bool LoopbackPeer::receive(std::vector<uint8_t>* datagram, sockaddr_in* from, int timeout_ms) {
    if (wait_readable(socket_, timeout_ms) != 1) {
        return false;
    }
    // Larger than any datagram the console sends, so nothing is cut.
    uint8_t buffer[8192];
    socklen_arg length = sizeof *from;
    const auto got = recvfrom(socket_, reinterpret_cast<char*>(buffer), sizeof buffer, 0,
                              reinterpret_cast<sockaddr*>(from), &length);
    if (got < 0) {
        return false;
    }
    datagram->assign(buffer, buffer + got);
    return true;
}

bool LoopbackPeer::send_to(const sockaddr_in& to, const std::vector<uint8_t>& datagram) {
    const auto sent = sendto(socket_, reinterpret_cast<const char*>(datagram.data()),
                             datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent >= 0 && static_cast<size_t>(sent) == datagram.size();
}
