#include "vxctl/watched_device.h"

#include <string_view>

namespace vx::ctl {

namespace {
// The live exchange's command text, which the link writes as one block.
constexpr std::string_view kExchangeCommand = "B00I";
}  // namespace

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
    if (block.starts_with(kExchangeCommand))
        ++exchangesSent_;
    PassThroughDevice::Write(data, count);
}

}  // namespace vx::ctl
