#pragma once

#include <memory>
#include <utility>

#include "platform/serial_device.h"

namespace vx::platform {

// A serial device that hands every call to another one. Devices that watch
// the traffic derive from it and override just what they look at.
class PassThroughDevice : public SerialDevice {
public:
    explicit PassThroughDevice(std::unique_ptr<SerialDevice> inner) : inner_(std::move(inner)) {}

    PortOpen Open(const std::string& comName) override { return inner_->Open(comName); }
    bool ApplyLineSettings(const std::string& text) override {
        return inner_->ApplyLineSettings(text);
    }
    void Write(const std::uint8_t* data, std::size_t count) override { inner_->Write(data, count); }
    std::optional<std::uint8_t> ReadByte() override { return inner_->ReadByte(); }
    std::optional<std::uint8_t> ReadByteWithin(std::uint32_t waitMs) override {
        return inner_->ReadByteWithin(waitMs);
    }
    void DiscardInput() override { inner_->DiscardInput(); }
    void Close() override { inner_->Close(); }
    bool IsOpen() const override { return inner_->IsOpen(); }
    void WhileWaiting(std::function<void()> runPending) override {
        inner_->WhileWaiting(std::move(runPending));
    }
    std::uint32_t ReplyAllowanceMs() const override { return inner_->ReplyAllowanceMs(); }
    bool Gone() const override { return inner_->Gone(); }
    void HoldConnection(bool hold) override { inner_->HoldConnection(hold); }
    void Abandon() override { inner_->Abandon(); }

private:
    std::unique_ptr<SerialDevice> inner_;
};

}  // namespace vx::platform
