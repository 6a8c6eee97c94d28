#include "platform/network/tls_connection.h"

namespace vx::platform {

TcpConnect StartTls(std::unique_ptr<TcpConnection>, const NetworkUrl&, SteadyTime,
                    const KeepWaiting&) {
    return {nullptr, {PortFailure::Other, 0, "this build cannot open secure ports"}};
}

}  // namespace vx::platform
