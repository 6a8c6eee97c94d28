// The Linux serial device on a pseudo-terminal, as the tests of its seams
// share it: COM1 is the terminal's slave side.
#pragma once

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/serial_device.h"
#include "pseudo_terminal.h"

namespace vx::platform {

inline std::unique_ptr<SerialDevice> DeviceFor(const std::string& path) {
    return CreateSystemSerialDevice(
        [path](const std::string& name) { return name == "COM1" ? path : std::string{}; });
}

class SerialDeviceOnPty : public ::testing::Test {
protected:
    testing::PseudoTerminal pty;
    std::unique_ptr<SerialDevice> device = DeviceFor(pty.SlavePath());
};

}  // namespace vx::platform
