#include "platform/network/tls_connection.h"

namespace vx::platform {

TcpConnect StartTls(std::unique_ptr<TcpConnection>, const NetworkUrl&, SteadyTime,
                    const std::function<void()>&) {
    return {nullptr, {PortFailure::Other, 0, "this build cannot open secure ports"}};
}

}  // namespace vx::platform
