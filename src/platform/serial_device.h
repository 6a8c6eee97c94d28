#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace vx::platform {

// Why a port did not open. Scripts and the terminal tool tell these apart;
// the window's texts do not.
enum class PortFailure {
    None,              // it opened
    Missing,           // no device under that name
    PermissionDenied,  // the device exists, but this user may not open it
    Busy,              // another program holds it
    NotSerial,         // it opened, but it is no serial port (a file, a pipe)
    Other,             // anything else the system reported
};

// The outcome of opening a port, with what the system told about a failure.
struct PortOpen {
    PortOpen() = default;
    PortOpen(PortFailure why, long pid = 0, std::string what = {})
        : failure(why), ownerPid(pid), detail(std::move(what)) {}

    PortFailure failure = PortFailure::None;
    // Busy: the process that its lock file names; 0 when none is named.
    long ownerPid = 0;
    // PermissionDenied: the group that may use the device, where known.
    // Other: the system's own description of the error.
    std::string detail;

    bool Opened() const { return failure == PortFailure::None; }
};

// One serial port, opened by its "COMn" name. Every failure of the operating
// system is absorbed here and becomes a return value: nothing above this seam
// ever sees an errno, a HANDLE or an exception.
class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Opens the named port for exclusive read/write and saves whatever state
    // Close() must restore. On failure no port is open afterwards, and the
    // result says why.
    virtual PortOpen Open(const std::string& comName) = 0;

    // Applies a line-settings text such as "19200,e,8,1" (baud, parity
    // n/e/o/m/s, data bits 5..8, stop bits 1/1.5/2). False when the text is
    // malformed or the driver refuses it; the port then keeps the settings it
    // had. Meaningful only while open.
    virtual bool ApplyLineSettings(const std::string& text) = 0;

    // Hands the bytes to the driver; the result is not reported, as the link
    // never examines it. Does nothing while no port is open.
    virtual void Write(const std::uint8_t* data, std::size_t count) = 0;

    // Returns one received byte, or nothing after waiting about 1 ms.
    // A closed or vanished port still waits its millisecond, so a polling
    // caller can never spin.
    virtual std::optional<std::uint8_t> ReadByte() = 0;

    // Returns one received byte as soon as it arrives, or nothing once about
    // `waitMs` milliseconds have passed without one: a caller that runs no
    // events in between waits on the device instead of spinning. A device
    // that cannot block that long may return sooner, after its 1 ms read.
    virtual std::optional<std::uint8_t> ReadByteWithin(std::uint32_t waitMs) {
        static_cast<void>(waitMs);
        return ReadByte();
    }

    // Drops every byte received but not yet read, so that a reply that came
    // too late for one command cannot pass for the reply to the next. Does
    // nothing while no port is open.
    virtual void DiscardInput() = 0;

    // Restores the state saved at Open() and releases the port. Harmless when
    // nothing is open.
    virtual void Close() = 0;

    virtual bool IsOpen() const = 0;

    // Called at least every 20 ms while an open or a line change waits on
    // something slower than a local driver (a network, say), so that the
    // caller's window keeps running its events.
    virtual void WhileWaiting(std::function<void()> runPending) { (void)runPending; }

    // How much longer than the module's own reply time a reply takes to come
    // back through this port: the round trip of a network, 0 for a local port.
    virtual std::uint32_t ReplyAllowanceMs() const { return 0; }

    // True once the open port itself has gone: an adapter pulled out, a
    // device hung up, a connection that the server or the network dropped.
    // A module that merely stopped answering leaves it false.
    virtual bool Gone() const { return false; }

    // While held, Close() of a port that a network reaches keeps its
    // connection, and the next Open() of the same port takes it up again
    // with a purge instead of a new connection and negotiation; the line
    // settings then change through the server. Releasing the hold closes a
    // connection kept that way. A local port opens and closes as always.
    virtual void HoldConnection(bool hold) { (void)hold; }

    // Ends a wait inside Open() (a name lookup, a connect, a handshake, a
    // negotiation) at once as a failure, now and in every later Open(): for
    // a caller whose user gave up, or a search that no longer needs the
    // port. May be called from another thread or from WhileWaiting's call.
    virtual void Abandon() {}
};

// Maps a "COMn" name to the path or name the operating system opens.
using PortResolver = std::function<std::string(const std::string& comName)>;

// The machine's serial ports (termios on Linux, the Win32 comm calls on
// Windows), reached through `resolve`.
std::unique_ptr<SerialDevice> CreateSystemSerialDevice(PortResolver resolve);

}  // namespace vx::platform
