#include "platform/network/tls_connection.h"

namespace vx::platform {

TcpConnect ConnectNetwork(const NetworkUrl& url, std::chrono::milliseconds resolveLimit,
                          std::chrono::milliseconds connectLimit, const KeepWaiting& whileWaiting) {
    // The handshake is part of connecting: one limit covers both.
    const auto deadline = std::chrono::steady_clock::now() + connectLimit;
    TcpConnect connected = ConnectTcp(url, resolveLimit, connectLimit, whileWaiting);
    if (!url.secure || !connected.connection)
        return connected;
    return StartTls(std::move(connected.connection), url, deadline, whileWaiting);
}

}  // namespace vx::platform
