// Arbitrary bytes from the line through the reply wait, on virtual time. The
// first input byte is the delay in milliseconds from the first frame's CR to
// the first byte, the second the gap between bytes in tens of microseconds;
// the rest arrive one after the other while two commands are sent in a row.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "link/comm_port.h"
#include "link/transaction.h"
#include "platform/event_pump.h"
#include "platform/serial_device.h"
#include "sim/sim_bus.h"

namespace {

constexpr std::uint64_t kUsPerMs = 1000;
constexpr std::uint64_t kGapUnitUs = 10;
constexpr std::size_t kHeaderBytes = 2;
// Write pauses, the reply window, the last read and one tick of rounding.
constexpr std::uint32_t kLongestTransactionMs = 9 + vx::link::kReplyWindowMs + 2;

void Check(bool holds) {
    if (!holds)
        __builtin_trap();
}

// A port whose line carries the given bytes, timed from the first CR written.
class StreamPort final : public vx::platform::SerialDevice {
public:
    StreamPort(vx::sim::VirtualClock& clock, std::string bytes, std::uint64_t delayUs,
               std::uint64_t gapUs)
        : clock_(clock), bytes_(std::move(bytes)), delayUs_(delayUs), gapUs_(gapUs) {}

    bool Open(const std::string&) override { return open_ = true; }
    bool ApplyLineSettings(const std::string&) override { return true; }
    void Write(const std::uint8_t* data, std::size_t count) override {
        if (!startUs_ && count > 0 && data[count - 1] == vx::link::kFrameEnd)
            startUs_ = clock_.NowUs() + delayUs_;
    }
    std::optional<std::uint8_t> ReadByte() override {
        constexpr std::uint64_t kReadWaitUs = 1000;
        if (Arrived(clock_.NowUs() + kReadWaitUs)) {
            clock_.AdvanceUs(DueUs() > clock_.NowUs() ? DueUs() - clock_.NowUs() : 0);
            return static_cast<std::uint8_t>(bytes_[next_++]);
        }
        clock_.AdvanceUs(kReadWaitUs);
        return std::nullopt;
    }
    void DiscardInput() override {
        while (Arrived(clock_.NowUs())) ++next_;
    }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }

private:
    std::uint64_t DueUs() const { return *startUs_ + next_ * gapUs_; }
    bool Arrived(std::uint64_t byUs) const {
        return startUs_ && next_ < bytes_.size() && DueUs() <= byUs;
    }

    vx::sim::VirtualClock& clock_;
    std::string bytes_;
    std::uint64_t delayUs_;
    std::uint64_t gapUs_;
    std::optional<std::uint64_t> startUs_;
    std::size_t next_ = 0;
    bool open_ = false;
};

void Transact(vx::sim::VirtualClock& clock, const std::string& command) {
    const std::uint32_t start = clock.TickMs();
    const bool accepted = vx::link::SendCommand(command);
    Check(clock.TickMs() - start <= kLongestTransactionMs);
    Check(vx::link::ReplyLength >= 0 && vx::link::ReplyLength < vx::link::kRecvBufferSize);
    if (accepted) {
        Check(vx::link::CheckReplyChecksum());
        Check(!vx::link::ReplyText.empty() && vx::link::ReplyText.front() == '\n');
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderBytes)
        return 0;
    vx::sim::VirtualClock clock;
    StreamPort port(
        clock, std::string(reinterpret_cast<const char*>(data + kHeaderBytes), size - kHeaderBytes),
        data[0] * kUsPerMs, data[1] * kGapUnitUs);
    vx::platform::InstallableEventPump events;
    vx::link::AttachPlatform(port, clock, events);
    Check(vx::link::OpenCommPort(1, "115200,n,8,1"));
    Transact(clock, "B00B");
    Transact(clock, "B00V");
    vx::link::CloseCommPort();
    return 0;
}
