#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/clock.h"
#include "platform/event_pump.h"
#include "platform/serial_device.h"

namespace vx::link {

// The link runs over one port, one clock and one event pump for the whole run
// of the program; the program (or a test) attaches them before the first call.
// The attachment holds for the calling thread only.
void AttachPlatform(platform::SerialDevice& port, platform::Clock& clock,
                    platform::EventPump& events);

// Opens "COM<n>" and applies the line-settings text. Only the open itself
// decides the result; a text the port refuses leaves its settings as they were.
bool OpenCommPort(int portNumber, const std::string& lineSettings);
void CloseCommPort();

// One byte (the low 8 bits of value), then a 1 ms pause.
void CommWriteByte(int value);
// One write of `count` bytes, then a 5 ms pause.
void CommWriteBlock(const std::uint8_t* data, int count);

// The attached platform pieces, for the transaction.
platform::SerialDevice& Port();
platform::Clock& LinkClock();
platform::EventPump& LinkEvents();

}  // namespace vx::link
