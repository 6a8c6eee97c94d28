#include "sim/timed_port.h"

#include "sim/frame_codec.h"

namespace vx::sim {

namespace {
constexpr std::uint64_t kUsPerMs = 1000;
constexpr std::uint64_t kMicrosPerMs = 1000;
constexpr std::uint64_t kReadLimitUs = kMicrosPerMs;
}  // namespace

void TimedPort::Arrive(const std::string& bytes, std::uint32_t delayMs, std::uint64_t gapUs) {
    std::uint64_t due = clock_.NowUs() + delayMs * kUsPerMs;
    for (const char c : bytes) {
        arrivals_.push_back({due, static_cast<std::uint8_t>(c)});
        due += gapUs;
    }
}

void TimedPort::ReplyAfterCr(std::string bytes, std::uint32_t delayMs, std::uint64_t gapUs) {
    pendingReply_ = std::move(bytes);
    replyDelayMs_ = delayMs;
    replyGapUs_ = gapUs;
}

platform::PortOpen TimedPort::Open(const std::string& comName) {
    openedName_ = comName;
    open_ = true;
    return {};
}

void TimedPort::Write(const std::uint8_t* data, std::size_t count) {
    if (!open_)
        return;
    written_.push_back({clock_.TickMs(), std::string(data, data + count)});
    if (count > 0 && data[count - 1] == kFrameEndByte && !pendingReply_.empty()) {
        Arrive(pendingReply_, replyDelayMs_, replyGapUs_);
        pendingReply_.clear();
    }
}

std::optional<std::uint8_t> TimedPort::ReadByte() {
    return ReadWithin(kReadLimitUs);
}

std::optional<std::uint8_t> TimedPort::ReadByteWithin(std::uint32_t waitMs) {
    return ReadWithin(std::uint64_t{waitMs} * kMicrosPerMs);
}

std::optional<std::uint8_t> TimedPort::ReadWithin(std::uint64_t limitUs) {
    ++reads_;
    if (!arrivals_.empty() && arrivals_.front().dueUs <= clock_.NowUs() + limitUs) {
        if (arrivals_.front().dueUs > clock_.NowUs())
            clock_.AdvanceUs(arrivals_.front().dueUs - clock_.NowUs());
        const std::uint8_t byte = arrivals_.front().byte;
        arrivals_.pop_front();
        return byte;
    }
    clock_.AdvanceUs(limitUs);
    return std::nullopt;
}

void TimedPort::DiscardInput() {
    while (!arrivals_.empty() && arrivals_.front().dueUs <= clock_.NowUs()) arrivals_.pop_front();
}

std::string TimedPort::AllWritten() const {
    std::string all;
    for (const auto& w : written_) all += w.bytes;
    return all;
}

}  // namespace vx::sim
