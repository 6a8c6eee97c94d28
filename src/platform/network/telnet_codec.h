#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vx::platform::telnet {

// Telnet commands and options (RFC 854 to 858) and the com port control
// option (RFC 2217) as far as a client of a serial device server needs them.
inline constexpr std::uint8_t kSe = 240;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kIac = 255;

inline constexpr std::uint8_t kBinary = 0;
inline constexpr std::uint8_t kSuppressGoAhead = 3;
inline constexpr std::uint8_t kComPortOption = 44;

// Client commands of the com port option; the server answers each with the
// same code plus kServerOffset.
inline constexpr std::uint8_t kSetBaudRate = 1;
inline constexpr std::uint8_t kSetDataSize = 2;
inline constexpr std::uint8_t kSetParity = 3;
inline constexpr std::uint8_t kSetStopSize = 4;
inline constexpr std::uint8_t kSetControl = 5;
inline constexpr std::uint8_t kPurgeData = 12;
inline constexpr std::uint8_t kServerOffset = 100;

inline constexpr std::uint8_t kControlNoFlowControl = 1;
inline constexpr std::uint8_t kControlNoInboundFlowControl = 14;
inline constexpr std::uint8_t kPurgeReceiveBuffer = 1;

// What a client that drives a com port through the server receives.
class Receiver {
public:
    virtual ~Receiver() = default;
    // One byte from the serial line.
    virtual void Data(std::uint8_t byte) = 0;
    // A com port subnegotiation from the server: its command code (a client
    // code plus kServerOffset for an answer) and the value that follows.
    virtual void ComPort(std::uint8_t command, const std::vector<std::uint8_t>& value) = 0;
};

// The client side of a Telnet connection to a serial device server: it
// offers the com port option, binary transmission and no go-ahead in both
// directions, refuses every other option, keeps the serial bytes apart from
// the Telnet commands, and answers the server's negotiation. Bytes only, no
// input or output of its own; a connection is fed through it piece by
// piece, split wherever the network split it.
class ClientCodec {
public:
    ClientCodec();

    // What the client sends first: its offers and requests.
    std::vector<std::uint8_t> Greeting();

    // Decodes received bytes: serial bytes and com port subnegotiations go to
    // `receiver` in the order they came; answers to the server's negotiation
    // are kept for TakeAnswers().
    void Feed(const std::uint8_t* bytes, std::size_t count, Receiver& receiver);

    // Answers owed to the server, oldest first; empty afterwards.
    std::vector<std::uint8_t> TakeAnswers();

    // Whether the server has agreed to, or refused, the com port option.
    bool ComPortAgreed() const;
    bool ComPortRefused() const { return comPortRefused_; }
    // Whether the server has refused binary transmission in either direction.
    bool BinaryRefused() const { return binaryRefused_; }

    // Serial bytes for the wire: every IAC doubled.
    static void AppendData(std::vector<std::uint8_t>& out, const std::uint8_t* data,
                           std::size_t count);
    // IAC SB COM-PORT-OPTION command value... IAC SE, IACs in the value doubled.
    static std::vector<std::uint8_t> ComPortCommand(std::uint8_t command,
                                                    const std::vector<std::uint8_t>& value);

private:
    enum class State { Data, Iac, Verb, Sub, SubData, SubIac };
    // RFC 1143's states without its queues: a request is never withdrawn.
    enum class Side : std::uint8_t { No, WantYes, Yes };

    void Negotiate(std::uint8_t verb, std::uint8_t option);
    void Answer(std::uint8_t verb, std::uint8_t option);
    void KeepSubByte(std::uint8_t byte);
    void EndSubnegotiation(Receiver& receiver);

    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    std::uint8_t subOption_ = 0;
    std::vector<std::uint8_t> subBytes_;
    bool subTooLong_ = false;
    // Per option: whether we perform it, and whether the server does.
    std::array<Side, 256> us_{};
    std::array<Side, 256> him_{};
    bool comPortRefused_ = false;
    bool binaryRefused_ = false;
    std::vector<std::uint8_t> answers_;
};

}  // namespace vx::platform::telnet
