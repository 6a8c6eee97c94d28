#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "link/transaction.h"
#include "platform/clock.h"
#include "platform/event_pump.h"
#include "platform/serial_device.h"

namespace vx::link {

// The link to the module over one port: the port's device, the clock that
// times its pauses and its reply window, the pump that lets window events run
// while it waits, and the reply state of its transactions. A program that
// talks to several ports at once has one Link per port; each is used by one
// thread at a time.
class Link {
public:
    // How the reply wait passes the time between bytes. A window reads for
    // 1 ms at a time and lets its events run after every empty read; a
    // program without one blocks on the device until a byte arrives or the
    // reply window closes. Both end the wait at the same moments.
    enum class ReplyWait { WithEvents, OnDevice };

    Link(platform::SerialDevice& port, platform::Clock& clock, platform::EventPump& events);
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Opens "COM<n>" and applies the line-settings text. Only the open itself
    // decides the result; a text the port refuses leaves its settings as they
    // were. LastOpen() tells why an open failed.
    bool OpenCommPort(int portNumber, const std::string& lineSettings);
    const platform::PortOpen& LastOpen() const { return lastOpen_; }
    void CloseCommPort();
    // The open port has gone, rather than the module fallen silent.
    bool PortGone() const { return port_.Gone(); }
    // See SerialDevice::HoldConnection; ConnectionHold is the usual way.
    void HoldConnection(bool hold) { port_.HoldConnection(hold); }

    // One byte (the low 8 bits of value), then a 1 ms pause.
    void CommWriteByte(int value);
    // One write of `count` bytes, then a 5 ms pause.
    void CommWriteBlock(const std::uint8_t* data, int count);

    // Frames and sends the command, then collects and verifies the reply
    // within the reply window. True only for a complete frame with a
    // matching checksum.
    bool SendCommand(const std::string& command);
    void SetReplyWait(ReplyWait wait) { wait_ = wait; }

    // Verifies the frame held in RecvBuffer, ReplyLength bytes long.
    bool CheckReplyChecksum() const;

    // The receive position (after a verified reply, the frame's length) and
    // the last complete reply frame, LF through CR.
    int ReplyLength() const { return replyLength_; }
    const std::string& ReplyText() const { return replyText_; }

private:
    void WriteFrame(const std::string& command);
    bool StoreByte(std::uint8_t byte);
    void KeepFrame();
    bool AwaitReply();
    std::optional<std::uint8_t> ReadNext(std::uint32_t elapsedMs, std::uint32_t windowMs);

    platform::SerialDevice& port_;
    platform::Clock& clock_;
    platform::EventPump& events_;
    platform::PortOpen lastOpen_;
    ReplyWait wait_ = ReplyWait::WithEvents;
    std::array<std::uint8_t, kRecvBufferSize> recvBuffer_{};
    int replyLength_ = 0;
    std::string replyText_;
    // The text of the last command sent since the port was opened: a late
    // reply to it still answers the same command sent again.
    std::string previousCommand_;
};

// Keeps a network port's connection from one open of an operation to the
// next, and closes it when the operation ends, as a local port is closed.
class ConnectionHold {
public:
    explicit ConnectionHold(Link& link) : link_(link) { link_.HoldConnection(true); }
    ~ConnectionHold() { link_.HoldConnection(false); }
    ConnectionHold(const ConnectionHold&) = delete;
    ConnectionHold& operator=(const ConnectionHold&) = delete;

private:
    Link& link_;
};

}  // namespace vx::link
