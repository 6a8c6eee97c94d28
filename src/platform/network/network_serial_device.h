#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "platform/network/network_url.h"
#include "platform/network/routing_serial_device.h"
#include "platform/network/tcp_connection.h"
#include "platform/network/tls_connection.h"
#include "platform/serial_device.h"

namespace vx::platform {

// Keeps a second program of ours off a network port while one has it open.
class PortClaim {
public:
    virtual ~PortClaim() = default;
    // 0 when the port is ours now; otherwise the process that holds it
    // (-1 when that is not known).
    // The key is the server's endpoint as the connection reached it, so two
    // spellings of one server exclude each other.
    virtual long Take(const std::string& endpoint) = 0;
    virtual void Release() = 0;
};

// How long the network may take, by step.
struct NetworkLimits {
    std::chrono::milliseconds resolve{2000};
    std::chrono::milliseconds connect{3000};
    // For each acknowledgement of a com port command, and for the server's
    // agreement to the com port option at the start.
    std::chrono::milliseconds acknowledge{1000};
    // An input discard waits this long plus the measured round trip for the
    // server to confirm the purge, so that no byte the server sent before it
    // can pass for a later one.
    std::chrono::milliseconds purge{100};
    // A server that closes the connection while it opens (one that still
    // lets the last session go) is tried again after this pause, doubled each
    // time, for as long as the connect limit lasts.
    std::chrono::milliseconds reconnectPause{50};
    // The most a network's round trip adds to the module's reply window.
    std::chrono::milliseconds maxAllowance{850};
};

using TcpConnector = std::function<TcpConnect(
    const NetworkUrl& url, std::chrono::milliseconds resolveLimit,
    std::chrono::milliseconds connectLimit, const KeepWaiting& whileWaiting)>;

// A serial port behind a device server, opened by its URL (the name handed
// to Open is the URL itself). rfc2217:// speaks Telnet with com port control
// (RFC 2217): line settings and purges reach the server's port and wait for
// its acknowledgement. socket:// is a raw stream: bytes only, so a change of
// line settings cannot reach the port and is refused. A connection that
// drops is a port that has gone, as an unplugged adapter is. The round trip
// measured while the port opens is added to the module's reply window.
std::unique_ptr<SerialDevice> CreateNetworkSerialDevice(std::unique_ptr<PortClaim> claim,
                                                        NetworkLimits limits = {},
                                                        TcpConnector connect = ConnectNetwork);

}  // namespace vx::platform
