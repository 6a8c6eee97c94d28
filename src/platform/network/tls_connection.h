#pragma once

#include <functional>
#include <memory>

#include "platform/network/tcp_connection.h"

namespace vx::platform {

// Runs the TLS handshake over `plain`, which the connect has just opened to
// `url`, and verifies the server as `url.tls` asks, all before `deadline`;
// `whileWaiting` runs every few milliseconds of the wait.
// The result speaks in the clear to its user and in TLS to the server. A
// failure says what a person can act on: which check the server failed,
// with its certificate's fingerprint and subject where that helps, or the
// library's own words for a handshake that broke.
TcpConnect StartTls(std::unique_ptr<TcpConnection> plain, const NetworkUrl& url,
                    SteadyTime deadline, const KeepWaiting& whileWaiting);

// ConnectTcp, then StartTls for a secure URL, both within `connectLimit`.
TcpConnect ConnectNetwork(const NetworkUrl& url, std::chrono::milliseconds resolveLimit,
                          std::chrono::milliseconds connectLimit, const KeepWaiting& whileWaiting);

}  // namespace vx::platform
