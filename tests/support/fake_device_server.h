#pragma once

// Device servers that misbehave, each in one way, played by the tests on
// 127.0.0.1.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace vx::test {

// A device server that speaks Telnet but misbehaves in one way.
enum class Misbehaviour {
    NeverAcknowledges,         // agrees to com port control, answers no command
    AcknowledgesOnlyControl,   // answers the flow control commands, no line settings
    RefusesComPort,            // DONT COM-PORT-OPTION
    HangsUp,                   // closes every connection at once
    NeverAccepts,              // its backlog is full: a connect never completes
    Silent,                    // accepts, then says nothing
    KeepsFlowControl,          // answers SET-CONTROL with XON/XOFF
    KeepsInboundFlowControl,   // answers the inbound SET-CONTROL with inbound XON/XOFF
    RefusesBinary,             // WONT BINARY, DONT BINARY
    LeavesSubnegotiationOpen,  // IAC SB COM-PORT-OPTION ... and never IAC SE
    VerbInsideSubnegotiation,  // ends its answers with IAC WILL BINARY instead of IAC SE
    WrongBaudEcho,             // answers SET-BAUDRATE with half the rate asked
    FloodsData,                // once the line is set, sends data without end
    StopsReading,              // once the line is set, reads and answers nothing more
    HoldsStaleBytes,           // answers a purge with a stale byte, the confirmation, a new byte
    ConfirmsFirstPurgeLate,    // the same, the first confirmation after the client's wait
};

class FakeServer {
public:
    // What a server that holds bytes sends around its purge confirmation.
    static constexpr char kStaleByte = 'S';
    static constexpr char kNewByte = 'N';
    // Well past the client's purge wait on loopback.
    static constexpr std::chrono::milliseconds kLateConfirmation{400};

    explicit FakeServer(Misbehaviour how) : how_(how) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        address_.sin_family = AF_INET;
        address_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address_;
        bind(listener_, reinterpret_cast<sockaddr*>(&address_), sizeof address_);
        listen(listener_, how == Misbehaviour::NeverAccepts ? 0 : 1);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address_), &length);
        if (how == Misbehaviour::NeverAccepts) {
            FillBacklog();
            return;
        }
        thread_ = std::thread([this] { Serve(); });
    }
    ~FakeServer() {
        stopping_ = true;
        shutdown(listener_, SHUT_RDWR);
        // A client that still holds its connection must not keep the
        // conversation, and the test, waiting.
        shutdown(client_.load(), SHUT_RDWR);
        close(listener_);
        if (thread_.joinable())
            thread_.join();
        for (const int filler : fillers_) close(filler);
    }
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    std::string Url() const {
        return "rfc2217://127.0.0.1:" + std::to_string(ntohs(address_.sin_port));
    }

private:
    // Connections nobody accepts take the queue's places; later ones wait.
    void FillBacklog() {
        constexpr int kFillers = 3;
        for (int i = 0; i < kFillers; ++i) {
            const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            connect(filler, reinterpret_cast<const sockaddr*>(&address_), sizeof address_);
            fillers_.push_back(filler);
        }
    }

    void Serve() {
        for (;;) {
            const int client = accept(listener_, nullptr, nullptr);
            if (client < 0)
                return;
            client_ = client;
            if (how_ != Misbehaviour::HangsUp && !stopping_)
                Converse(client);
            client_ = -1;
            close(client);
        }
    }

    void Send(int client, const std::string& bytes) const {
        send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }

    // Answers the client's offer of the com port option and then each flow
    // control command, as far as its misbehaviour lets it.
    void Converse(int client) const {
        if (how_ == Misbehaviour::Silent) {
            std::uint8_t sink[256];
            while (recv(client, sink, sizeof sink, 0) > 0) {
            }
            return;
        }
        Send(client, how_ == Misbehaviour::RefusesComPort ? "\xFF\xFE\x2C" : "\xFF\xFD\x2C");
        if (how_ == Misbehaviour::RefusesBinary)
            Send(client, std::string("\xFF\xFC\x00\xFF\xFE\x00", 6));
        std::uint8_t chunk[256];
        for (ssize_t got; (got = recv(client, chunk, sizeof chunk, 0)) > 0;) {
            const std::string bytes(reinterpret_cast<char*>(chunk), static_cast<std::size_t>(got));
            const std::string start("\xFF\xFA\x2C", 3);
            for (auto at = bytes.find(start); at != std::string::npos && at + 4 < bytes.size();
                 at = bytes.find(start, at + 1)) {
                const auto end = bytes.find("\xFF\xF0", at);
                if (end == std::string::npos)
                    break;
                Answer(client, bytes[at + 3], bytes.substr(at + 4, end - at - 4));
            }
        }
    }

    // The server's code is the client's plus 100.
    void Answer(int client, char command, std::string value) const {
        constexpr char kSetBaudRate = 1;
        constexpr char kSetStopSize = 4;  // the last of a line's four
        constexpr char kSetControl = 5;
        constexpr char kPurgeData = 12;
        constexpr char kNoInboundFlowControl = 14;  // values of SET-CONTROL
        constexpr char kInboundXonXoff = 15;
        constexpr char kServerOffset = 100;
        const std::string head = std::string("\xFF\xFA\x2C", 3) + char(command + kServerOffset);
        std::string end("\xFF\xF0");
        switch (how_) {
            case Misbehaviour::NeverAcknowledges:
                return;
            case Misbehaviour::AcknowledgesOnlyControl:
                if (command != kSetControl)
                    return;
                break;
            case Misbehaviour::LeavesSubnegotiationOpen:
                end.clear();
                break;
            case Misbehaviour::VerbInsideSubnegotiation:
                end = std::string("\xFF\xFB\x00", 3);
                break;
            case Misbehaviour::KeepsFlowControl:
                if (command == kSetControl)
                    value = "\x02";
                break;
            case Misbehaviour::KeepsInboundFlowControl:
                if (command == kSetControl && value == std::string(1, kNoInboundFlowControl))
                    value = std::string(1, kInboundXonXoff);
                break;
            case Misbehaviour::WrongBaudEcho:
                if (command == kSetBaudRate && value.size() == 4)
                    value = Halved(value);
                break;
            default:
                break;
        }
        if (command == kPurgeData && HoldsBytes()) {
            if (how_ == Misbehaviour::ConfirmsFirstPurgeLate && purges_++ == 0)
                std::this_thread::sleep_for(kLateConfirmation);
            Send(client, kStaleByte + head + value + end + kNewByte);
            return;
        }
        Send(client, head + value + end);
        if (how_ == Misbehaviour::FloodsData && command == kSetStopSize)
            Flood(client);
        while (how_ == Misbehaviour::StopsReading && command == kSetStopSize && !stopping_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    bool HoldsBytes() const {
        return how_ == Misbehaviour::HoldsStaleBytes ||
               how_ == Misbehaviour::ConfirmsFirstPurgeLate;
    }

    static std::string Halved(const std::string& bigEndian) {
        std::uint32_t rate = 0;
        for (const char byte : bigEndian) rate = rate << 8 | static_cast<std::uint8_t>(byte);
        rate /= 2;
        std::string out(4, '\0');
        for (int i = 3; i >= 0; --i, rate >>= 8) out[static_cast<std::size_t>(i)] = char(rate);
        return out;
    }

    // More than the client keeps, and on until it hangs up.
    void Flood(int client) const {
        const std::string chunk(4096, 'x');
        while (send(client, chunk.data(), chunk.size(), MSG_NOSIGNAL) > 0) {
        }
    }

    Misbehaviour how_;
    mutable int purges_ = 0;  // only the serving thread counts
    std::atomic<bool> stopping_{false};
    std::atomic<int> client_{-1};
    int listener_ = -1;
    sockaddr_in address_{};
    std::vector<int> fillers_;
    std::thread thread_;
};

}  // namespace vx::test
