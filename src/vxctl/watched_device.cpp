#include "vxctl/watched_device.h"

#include <string_view>

#include "protocol/commands.h"

namespace vx::ctl {

bool WatchedDevice::Open(const std::string& comName) {
    ++opensTried_;
    if (abandoned_ || !inner_->Open(comName))
        return false;
    ++opened_;
    return true;
}

void WatchedDevice::Write(const std::uint8_t* data, std::size_t count) {
    const std::string_view block(reinterpret_cast<const char*>(data), count);
    // The link writes the command text as one block.
    if (block.starts_with(protocol::cmd::Exchange))
        ++exchangesSent_;
    inner_->Write(data, count);
}

}  // namespace vx::ctl
