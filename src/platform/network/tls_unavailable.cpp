#include "platform/network/tls_connection.h"

namespace vx::platform {

bool TlsAvailable() {
    return false;
}

TcpConnect StartTls(std::unique_ptr<TcpConnection>, const NetworkUrl&, SteadyTime) {
    return {nullptr, {PortFailure::Other, 0, "this build cannot open secure ports"}};
}

}  // namespace vx::platform
