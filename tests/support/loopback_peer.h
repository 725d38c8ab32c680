// A UDP socket on an ephemeral loopback port, for tests that play the
// agent, a stranger on the network, or hold a port so nobody else gets it.
#pragma once

#include <cstdint>
#include <vector>

#include "snmp/net.h"

class LoopbackPeer {
public:
    LoopbackPeer();
    ~LoopbackPeer();
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    uint16_t port() const { return ntohs(address_.sin_port); }
    const sockaddr_in& address() const { return address_; }
    socket_t handle() const { return socket_; }

    // The next datagram within `timeout_ms`, or false.
    bool receive(std::vector<uint8_t>* datagram, sockaddr_in* from, int timeout_ms = 3000);
    // True when the whole datagram went out.
    bool send_to(const sockaddr_in& to, const std::vector<uint8_t>& datagram);

private:
    socket_t socket_;
    sockaddr_in address_{};
};
