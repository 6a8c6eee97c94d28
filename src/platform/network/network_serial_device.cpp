#include "platform/network/network_serial_device.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <deque>
#include <initializer_list>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "platform/network/com_port_line.h"
#include "platform/network/telnet_codec.h"
#include "protocol/line_settings.h"

namespace vx::platform {
namespace {

using Clock = std::chrono::steady_clock;
using protocol::ParseLineSettings;
using telnet::ClientCodec;

constexpr auto kReadWait = std::chrono::milliseconds(1);
// The caller's events run at least this often while the port opens.
constexpr auto kEventSlice = std::chrono::milliseconds(10);
constexpr std::size_t kChunk = 512;
// Bytes nobody reads yet are dropped beyond this, as a UART overruns; a
// server that floods the line cannot make the client hoard memory.
constexpr std::size_t kMaxPending = 64 * 1024;
constexpr std::size_t kCommandCodes = 13;  // SIGNATURE 0 to PURGE-DATA 12

class NetworkSerialDevice final : public SerialDevice, private telnet::Receiver {
public:
    NetworkSerialDevice(std::unique_ptr<PortClaim> claim, NetworkLimits limits,
                        TcpConnector connect)
        : claim_(std::move(claim)), limits_(limits), connect_(std::move(connect)) {}
    ~NetworkSerialDevice() override { CloseNow(); }

    PortOpen Open(const std::string& name) override {
        const auto url = ParseNetworkUrl(name);
        if (url && TakeUpKept(url->Canonical()))
            return {};
        CloseNow();
        if (!url)
            return {PortFailure::Missing};
        url_ = url->Canonical();
        telnet_ = url->kind == NetworkUrl::Kind::Rfc2217;
        roundTrip_.reset();
        const auto giveUp = Clock::now() + limits_.connect;
        auto pause = limits_.reconnectPause;
        for (;;) {
            const PortOpen opened = OpenOnce(*url);
            if (abandoned_) {
                CloseNow();
                return Failed(": the wait was given up");
            }
            if (opened.Opened() || !closedWhileOpening_ || Clock::now() + pause >= giveUp)
                return opened;
            WaitRunningEvents(Clock::now() + pause);
            pause *= 2;
        }
    }

    void Abandon() override { abandoned_ = true; }

    void WhileWaiting(std::function<void()> runPending) override {
        whileWaiting_ = runPending ? std::move(runPending) : [] {};
    }

    std::uint32_t ReplyAllowanceMs() const override {
        if (!roundTrip_)
            return 0;
        return static_cast<std::uint32_t>(std::min(*roundTrip_, limits_.maxAllowance).count());
    }

    bool ApplyLineSettings(const std::string& text) override {
        const auto settings = ParseLineSettings(text);
        if (!settings || !telnet_ || !Usable())
            return false;
        const auto asked = telnet::LineCommands(*settings);
        // All four in one segment; the server answers each in turn.
        std::vector<std::uint8_t> commands;
        for (const telnet::LineCommand& line : asked) {
            const auto encoded = ClientCodec::ComPortCommand(line.command, line.value);
            commands.insert(commands.end(), encoded.begin(), encoded.end());
        }
        if (!Exchange(commands,
                      {telnet::kSetBaudRate, telnet::kSetDataSize, telnet::kSetParity,
                       telnet::kSetStopSize},
                      limits_.acknowledge)) {
            return false;
        }
        return std::ranges::all_of(asked, [this](const telnet::LineCommand& line) {
            return telnet::AnswerMatches(line, *acks_[line.command]);
        });
    }

    void Write(const std::uint8_t* data, std::size_t count) override {
        if (!Usable())
            return;
        if (!telnet_) {
            Send(data, count);
            return;
        }
        outgoing_.clear();
        ClientCodec::AppendData(outgoing_, data, count);
        Send(outgoing_.data(), outgoing_.size());
    }

    std::optional<std::uint8_t> ReadByte() override { return ReadByteWithin(kReadWait.count()); }

    std::optional<std::uint8_t> ReadByteWithin(std::uint32_t waitMs) override {
        // Telnet commands alone do not end the wait, but its time does, even
        // for a server that never stops sending them.
        const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
        while (pending_.empty() && Usable() && Pump(deadline) && Clock::now() < deadline) {
        }
        if (!pending_.empty()) {
            const std::uint8_t byte = pending_.front();
            pending_.pop_front();
            return byte;
        }
        std::this_thread::sleep_until(deadline);
        return std::nullopt;
    }

    // Whatever the server sent before it confirms the purge of its own
    // buffer is stale; what comes after is new.
    void DiscardInput() override {
        if (!Usable())
            return;
        pending_.clear();
        discarding_ = true;
        if (telnet_ && purgeConfirmed_) {
            awaitingPurge_ = true;
            purgeConfirmed_ = Exchange(
                ClientCodec::ComPortCommand(telnet::kPurgeData, {telnet::kPurgeReceiveBuffer}),
                {telnet::kPurgeData},
                limits_.purge + roundTrip_.value_or(std::chrono::milliseconds{0}));
        } else {
            if (telnet_) {
                Send(
                    ClientCodec::ComPortCommand(telnet::kPurgeData, {telnet::kPurgeReceiveBuffer}));
            }
            const auto until = Clock::now() + kReadWait;
            while (Usable() && Pump(Clock::now()) && Clock::now() < until) {
            }
        }
        discarding_ = false;
        awaitingPurge_ = false;
    }

    void Close() override {
        if (kept_)
            return;
        if (held_ && Usable()) {
            kept_ = true;
            pending_.clear();
            return;
        }
        CloseNow();
    }

    bool IsOpen() const override { return connection_ != nullptr && !kept_; }
    bool Gone() const override { return IsOpen() && gone_; }

    void HoldConnection(bool hold) override {
        held_ = hold;
        if (!held_ && kept_)
            CloseNow();
    }

private:
    bool Usable() const { return IsOpen() && !gone_; }

    void CloseNow() {
        kept_ = false;
        if (!connection_)
            return;
        connection_.reset();
        claim_->Release();
        pending_.clear();
    }

    // A connection kept for the same port serves it again, once a purge has
    // shown that the server still has it and dropped what came meanwhile.
    bool TakeUpKept(const std::string& url) {
        if (!kept_ || url != url_)
            return false;
        kept_ = false;
        DiscardInput();
        return Usable();
    }

    PortOpen OpenOnce(const NetworkUrl& url) {
        closedWhileOpening_ = false;
        wrongEcho_.reset();
        TcpConnect connected =
            connect_(url, limits_.resolve, limits_.connect, [this] { return KeepWaiting(); });
        if (!connected.connection)
            return connected.failure;
        const std::string endpoint = connected.connection->Endpoint();
        if (const long holder = claim_->Take(endpoint.empty() ? url_ : endpoint); holder != 0)
            return {PortFailure::Busy, holder > 0 ? holder : 0};
        connection_ = std::move(connected.connection);
        codec_ = ClientCodec{};
        gone_ = false;
        purgeConfirmed_ = true;
        if (!telnet_)
            return {};
        const PortOpen started = StartComPort();
        closedWhileOpening_ = gone_;
        if (!started.Opened())
            CloseNow();
        return started;
    }

    void WaitRunningEvents(Clock::time_point until) {
        while (Clock::now() < until) {
            if (!KeepWaiting())
                return;
            std::this_thread::sleep_until(std::min(until, Clock::now() + kEventSlice));
        }
    }

    // One com port command whose echo must be the value sent; the time of
    // the exchange is a round trip through the server.
    bool Confirm(std::uint8_t command, std::uint8_t value) {
        const auto sent = Clock::now();
        if (!Exchange(ClientCodec::ComPortCommand(command, {value}), {command},
                      limits_.acknowledge)) {
            return false;
        }
        const auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent);
        roundTrip_ = roundTrip_ ? std::min(*roundTrip_, took) : took;
        if (const auto& echo = *acks_[command];
            !wrongEcho_ && (echo.size() != 1 || echo.front() != value)) {
            wrongEcho_ = echo.empty() ? 0 : echo.front();
        }
        return true;
    }

    void Data(std::uint8_t byte) override {
        if (!discarding_ && pending_.size() < kMaxPending)
            pending_.push_back(byte);
    }

    void ComPort(std::uint8_t command, const std::vector<std::uint8_t>& value) override {
        // Line and modem state notices are not asked for and mean nothing here.
        const std::size_t code = static_cast<std::size_t>(command) - telnet::kServerOffset;
        if (command < telnet::kServerOffset || code >= kCommandCodes)
            return;
        acks_[code] = value;
        // A confirmation that comes at all is waited for again next time.
        if (code == telnet::kPurgeData)
            purgeConfirmed_ = true;
        if (code == telnet::kPurgeData && awaitingPurge_) {
            discarding_ = false;
            awaitingPurge_ = false;
        }
    }

    void Send(const std::uint8_t* data, std::size_t count) {
        if (!connection_->Send(data, count))
            gone_ = true;
    }
    void Send(const std::vector<std::uint8_t>& bytes) { Send(bytes.data(), bytes.size()); }

    // One wait for bytes; false when the time ran out or the connection went.
    bool Pump(Clock::time_point deadline) {
        std::array<std::uint8_t, kChunk> chunk{};
        const auto got = connection_->Receive(chunk.data(), chunk.size(), deadline);
        if (!got) {
            gone_ = true;
            return false;
        }
        if (*got == 0)
            return false;
        if (!telnet_) {
            for (std::size_t i = 0; i < *got; ++i) Data(chunk[i]);
            return true;
        }
        codec_.Feed(chunk.data(), *got, *this);
        const auto answers = codec_.TakeAnswers();
        if (!answers.empty())
            Send(answers);
        return true;
    }

    // False once the caller gave the wait up.
    bool KeepWaiting() {
        whileWaiting_();
        return !abandoned_;
    }

    bool PumpRunningEvents(Clock::time_point deadline) {
        Pump(std::min(deadline, Clock::now() + kEventSlice));
        return KeepWaiting();
    }

    // Sends com port commands and waits for the server's answer to each.
    bool Exchange(const std::vector<std::uint8_t>& commands,
                  std::initializer_list<std::uint8_t> codes, std::chrono::milliseconds limit) {
        for (const std::uint8_t code : codes) acks_[code].reset();
        Send(commands);
        const auto deadline = Clock::now() + limit;
        auto answered = [&] {
            for (const std::uint8_t code : codes) {
                if (!acks_[code])
                    return false;
            }
            return true;
        };
        while (!answered() && Usable() && Clock::now() < deadline && PumpRunningEvents(deadline)) {
        }
        return answered();
    }

    // The option agreed, then no flow control either way: a server that does
    // not acknowledge that will not acknowledge line settings either, and
    // one that keeps a flow control would hold back the module's bytes.
    PortOpen StartComPort() {
        Send(codec_.Greeting());
        const auto deadline = Clock::now() + limits_.acknowledge;
        while (!codec_.ComPortAgreed() && !codec_.ComPortRefused() && Usable() &&
               Clock::now() < deadline && PumpRunningEvents(deadline)) {
        }
        if (codec_.ComPortRefused())
            return Failed(" refuses com port control (RFC 2217); a raw port is socket://");
        const bool acknowledged =
            codec_.ComPortAgreed() && Confirm(telnet::kSetControl, telnet::kControlNoFlowControl) &&
            Confirm(telnet::kSetControl, telnet::kControlNoInboundFlowControl);
        // A TLS server hangs up on the Telnet greeting without a word.
        if (gone_)
            return Failed(" closed the connection; if the port is secure, name it rfc2217+tls://");
        if (!acknowledged) {
            return Failed(" did not acknowledge com port control within " +
                          std::to_string(limits_.acknowledge.count()) + " ms");
        }
        if (wrongEcho_)
            return Failed(" keeps a flow control on: it answered SET-CONTROL with " +
                          std::to_string(*wrongEcho_));
        // The frames are bytes, not text: in Telnet's text mode a CR would
        // have to travel as CR NUL and the server could alter bytes above 127.
        if (codec_.BinaryRefused())
            return Failed(" refuses binary transmission (RFC 856)");
        return {};
    }

    PortOpen Failed(const std::string& why) const { return {PortFailure::Other, 0, url_ + why}; }

    std::unique_ptr<PortClaim> claim_;
    NetworkLimits limits_;
    TcpConnector connect_;
    std::unique_ptr<TcpConnection> connection_;
    std::string url_;
    bool telnet_ = false;
    bool gone_ = false;
    bool discarding_ = false;
    bool awaitingPurge_ = false;
    // A server that let a purge go unconfirmed is not waited for again until
    // a confirmation arrives.
    bool purgeConfirmed_ = true;
    bool closedWhileOpening_ = false;
    bool held_ = false;
    // Set from another thread, or from the caller's events.
    std::atomic<bool> abandoned_{false};
    // Closed for the caller, but the connection is kept under a hold.
    bool kept_ = false;
    std::optional<std::uint8_t> wrongEcho_;
    std::optional<std::chrono::milliseconds> roundTrip_;
    std::function<void()> whileWaiting_ = [] {};
    ClientCodec codec_;
    std::array<std::optional<std::vector<std::uint8_t>>, kCommandCodes> acks_;
    std::deque<std::uint8_t> pending_;
    std::vector<std::uint8_t> outgoing_;
};

}  // namespace

std::unique_ptr<SerialDevice> CreateNetworkSerialDevice(std::unique_ptr<PortClaim> claim,
                                                        NetworkLimits limits,
                                                        TcpConnector connect) {
    return std::make_unique<NetworkSerialDevice>(std::move(claim), limits, std::move(connect));
}

}  // namespace vx::platform
