#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <string>

#include "platform/network/network_url.h"
#include "platform/serial_device.h"

namespace vx::platform {

using SteadyTime = std::chrono::steady_clock::time_point;

// One TCP connection, with Nagle's delay off so that every send leaves at
// once. Sockets of Linux and of Winsock behind one face.
class TcpConnection {
public:
    virtual ~TcpConnection() = default;

    // Hands all the bytes to the network. False when the connection is gone,
    // or the peer has taken nothing for a second.
    virtual bool Send(const std::uint8_t* data, std::size_t count) = 0;

    // Waits until bytes arrive or the deadline passes; the number of bytes
    // received (0 when the time ran out), or nothing when the peer closed or
    // the connection broke.
    virtual std::optional<std::size_t> Receive(std::uint8_t* buffer, std::size_t capacity,
                                               SteadyTime deadline) = 0;

    // The far end as "address:port" (IPv6 in brackets), an IPv4 address
    // reached as IPv4-mapped IPv6 written as IPv4: one server, one text,
    // however its URL was spelled.
    virtual std::string Endpoint() const = 0;
};

// Runs the caller's events during a wait; false once the caller gives the
// wait up, which then ends as if its time had run out.
using KeepWaiting = std::function<bool()>;

struct TcpConnect {
    std::unique_ptr<TcpConnection> connection;  // none when it failed
    PortOpen failure;                           // why, when it failed
};

// Resolves the host (once, within `resolveLimit`) and connects to the first
// of its addresses that accepts; each address gets an equal share of what is
// left of `connectLimit`, so one that never answers leaves time for the
// others. A server that refuses or a name that does not exist is a port that
// is missing; a resolution or a connection that takes too long is another
// failure, and says so. `whileWaiting` runs every few milliseconds of the
// wait. The connection sends keepalives and gives up on a peer that
// acknowledges nothing for a few seconds, so a pulled cable breaks it.
TcpConnect ConnectTcp(const NetworkUrl& url, std::chrono::milliseconds resolveLimit,
                      std::chrono::milliseconds connectLimit, const KeepWaiting& whileWaiting);

}  // namespace vx::platform
