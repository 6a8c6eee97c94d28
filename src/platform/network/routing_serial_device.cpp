#include "platform/network/routing_serial_device.h"

#include <string>
#include <utility>

#include "platform/network/network_url.h"

namespace vx::platform {
namespace {

class RoutingSerialDevice final : public SerialDevice {
public:
    RoutingSerialDevice(PortResolver resolve,
                        const std::function<std::unique_ptr<SerialDevice>(PortResolver)>& local,
                        std::unique_ptr<SerialDevice> network)
        : resolve_(std::move(resolve)),
          local_(local([this](const std::string&) { return resolved_; })),
          network_(std::move(network)),
          active_(local_.get()) {}

    PortOpen Open(const std::string& comName) override {
        Close();
        resolved_ = resolve_ ? resolve_(comName) : std::string{};
        const bool networked = IsNetworkPortText(resolved_);
        active_ = networked ? network_.get() : local_.get();
        return active_->Open(networked ? resolved_ : comName);
    }
    bool ApplyLineSettings(const std::string& text) override {
        return active_->ApplyLineSettings(text);
    }
    void Write(const std::uint8_t* data, std::size_t count) override {
        active_->Write(data, count);
    }
    std::optional<std::uint8_t> ReadByte() override { return active_->ReadByte(); }
    std::optional<std::uint8_t> ReadByteWithin(std::uint32_t waitMs) override {
        return active_->ReadByteWithin(waitMs);
    }
    void DiscardInput() override { active_->DiscardInput(); }
    void Close() override { active_->Close(); }
    bool IsOpen() const override { return active_->IsOpen(); }
    void WhileWaiting(std::function<void()> runPending) override {
        local_->WhileWaiting(runPending);
        network_->WhileWaiting(std::move(runPending));
    }
    std::uint32_t ReplyAllowanceMs() const override { return active_->ReplyAllowanceMs(); }
    bool Gone() const override { return active_->Gone(); }
    void HoldConnection(bool hold) override { network_->HoldConnection(hold); }
    void Abandon() override { network_->Abandon(); }

private:
    PortResolver resolve_;
    std::string resolved_;
    std::unique_ptr<SerialDevice> local_;
    std::unique_ptr<SerialDevice> network_;
    SerialDevice* active_;
};

}  // namespace

std::unique_ptr<SerialDevice> CreateRoutingSerialDevice(
    PortResolver resolve, const std::function<std::unique_ptr<SerialDevice>(PortResolver)>& local,
    std::unique_ptr<SerialDevice> network) {
    return std::make_unique<RoutingSerialDevice>(std::move(resolve), local, std::move(network));
}

}  // namespace vx::platform
