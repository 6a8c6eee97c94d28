#include "vxctl/watched_device.h"

#include <string_view>

#include "protocol/commands.h"

namespace vx::ctl {
namespace {

// How much a refusal tells, least first.
enum class Telling { NumberOfNothing, MissingPort, Reason };

Telling TellingOf(const RefusedOpen& refused) {
    if (refused.open.failure != platform::PortFailure::Missing)
        return Telling::Reason;
    return refused.device.empty() ? Telling::NumberOfNothing : Telling::MissingPort;
}

}  // namespace

platform::PortOpen WatchedDevice::Open(const std::string& comName) {
    ++opensTried_;
    if (abandoned_)
        return {platform::PortFailure::Missing};
    platform::PortOpen result = PassThroughDevice::Open(comName);
    if (result.Opened()) {
        ++opened_;
    } else {
        Note({comName, resolve_ ? resolve_(comName) : std::string{}, result});
    }
    return result;
}

void WatchedDevice::Note(const RefusedOpen& refused) {
    if (!refused_ || TellingOf(refused) > TellingOf(*refused_))
        refused_ = refused;
}

void WatchedDevice::Absorb(const WatchedDevice& other) {
    opensTried_ += other.opensTried_;
    opened_ += other.opened_;
    if (other.refused_)
        Note(*other.refused_);
}

void WatchedDevice::Write(const std::uint8_t* data, std::size_t count) {
    const std::string_view block(reinterpret_cast<const char*>(data), count);
    // The link writes the command text as one block.
    if (block.starts_with(protocol::cmd::Exchange))
        ++exchangesSent_;
    PassThroughDevice::Write(data, count);
}

}  // namespace vx::ctl
