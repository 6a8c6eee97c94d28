#pragma once

#include <cstddef>
#include <cstdint>

#include "link/transaction.h"
#include "platform/passthrough_device.h"

namespace vx::doubles {

// A serial device counting the command frames written through it: the link
// writes the lead byte of every frame on its own.
class FrameCountingDevice final : public platform::PassThroughDevice {
public:
    using PassThroughDevice::PassThroughDevice;
    void Write(const std::uint8_t* data, std::size_t count) override {
        frames += count == 1 && data[0] == link::kCommandLead ? 1 : 0;
        PassThroughDevice::Write(data, count);
    }

    int frames = 0;
};

}  // namespace vx::doubles
