#include "vxctl/watched_device.h"

#include <string_view>

#include "protocol/commands.h"

namespace vx::ctl {

platform::PortOpen WatchedDevice::Open(const std::string& comName) {
    ++opensTried_;
    if (abandoned_)
        return {platform::PortFailure::Missing};
    platform::PortOpen result = PassThroughDevice::Open(comName);
    if (result.Opened())
        ++opened_;
    return result;
}

void WatchedDevice::Write(const std::uint8_t* data, std::size_t count) {
    const std::string_view block(reinterpret_cast<const char*>(data), count);
    // The link writes the command text as one block.
    if (block.starts_with(protocol::cmd::Exchange))
        ++exchangesSent_;
    PassThroughDevice::Write(data, count);
}

}  // namespace vx::ctl
