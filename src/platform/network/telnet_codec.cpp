#include "platform/network/telnet_codec.h"

namespace vx::platform::telnet {
namespace {

// The longest subnegotiation a com port server sends is a baud rate: a
// command byte and four value bytes. Anything far longer is kept short, so
// that a hostile server cannot make the client hoard memory.
constexpr std::size_t kMaxSubnegotiation = 64;

bool WeOffer(std::uint8_t option) {
    return option == kComPortOption || option == kBinary || option == kSuppressGoAhead;
}

bool WeRequest(std::uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead;
}

}  // namespace

ClientCodec::ClientCodec() {
    subBytes_.reserve(kMaxSubnegotiation);
}

std::vector<std::uint8_t> ClientCodec::Greeting() {
    for (const std::uint8_t option : {kComPortOption, kBinary, kSuppressGoAhead}) {
        us_[option] = Side::WantYes;
        Answer(kWill, option);
    }
    for (const std::uint8_t option : {kBinary, kSuppressGoAhead}) {
        him_[option] = Side::WantYes;
        Answer(kDo, option);
    }
    return TakeAnswers();
}

bool ClientCodec::ComPortAgreed() const {
    return us_[kComPortOption] == Side::Yes;
}

void ClientCodec::Answer(std::uint8_t verb, std::uint8_t option) {
    answers_.insert(answers_.end(), {kIac, verb, option});
}

std::vector<std::uint8_t> ClientCodec::TakeAnswers() {
    std::vector<std::uint8_t> taken;
    taken.swap(answers_);
    return taken;
}

// An answer goes out only when a state changes, so two ends that both
// follow this rule can never answer each other in a loop.
void ClientCodec::Negotiate(std::uint8_t verb, std::uint8_t option) {
    const bool aboutUs = verb == kDo || verb == kDont;
    Side& side = aboutUs ? us_[option] : him_[option];
    const bool wanted = aboutUs ? WeOffer(option) : WeRequest(option);
    const bool enable = verb == kDo || verb == kWill;
    const std::uint8_t agree = aboutUs ? kWill : kDo;
    const std::uint8_t refuse = aboutUs ? kWont : kDont;
    if (enable) {
        if (side == Side::Yes)
            return;
        if (side == Side::No && !wanted) {
            Answer(refuse, option);
            return;
        }
        if (side == Side::No)
            Answer(agree, option);
        side = Side::Yes;
        return;
    }
    if (side == Side::Yes)
        Answer(refuse, option);
    if (aboutUs && option == kComPortOption && side != Side::No)
        comPortRefused_ = true;
    if (option == kBinary && side != Side::No)
        binaryRefused_ = true;
    side = Side::No;
}

void ClientCodec::KeepSubByte(std::uint8_t byte) {
    if (subBytes_.size() < kMaxSubnegotiation) {
        subBytes_.push_back(byte);
    } else {
        subTooLong_ = true;
    }
}

void ClientCodec::EndSubnegotiation(Receiver& receiver) {
    if (subOption_ == kComPortOption && !subBytes_.empty() && !subTooLong_) {
        const std::uint8_t command = subBytes_.front();
        const std::vector<std::uint8_t> value(subBytes_.begin() + 1, subBytes_.end());
        receiver.ComPort(command, value);
    }
    subBytes_.clear();
    subTooLong_ = false;
}

void ClientCodec::Feed(const std::uint8_t* bytes, std::size_t count, Receiver& receiver) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t byte = bytes[i];
        switch (state_) {
            case State::Data:
                if (byte == kIac) {
                    state_ = State::Iac;
                } else {
                    receiver.Data(byte);
                }
                break;
            case State::Iac:
                state_ = State::Data;
                if (byte == kIac) {
                    receiver.Data(byte);
                } else if (byte >= kWill) {
                    verb_ = byte;
                    state_ = State::Verb;
                } else if (byte == kSb) {
                    state_ = State::Sub;
                }
                // Any other command (NOP, GA, a data mark...) means nothing
                // to a serial line and is dropped.
                break;
            case State::Verb:
                Negotiate(verb_, byte);
                state_ = State::Data;
                break;
            case State::Sub:
                subOption_ = byte;
                state_ = State::SubData;
                break;
            case State::SubData:
                if (byte == kIac) {
                    state_ = State::SubIac;
                } else {
                    KeepSubByte(byte);
                }
                break;
            case State::SubIac:
                if (byte == kIac) {
                    state_ = State::SubData;
                    KeepSubByte(byte);
                } else {
                    // IAC SE ends it; so does any other command, which a
                    // sender that broke the rules meant as the end. A
                    // negotiation verb still takes its option byte with it,
                    // which must not reach the serial data.
                    EndSubnegotiation(receiver);
                    verb_ = byte;
                    state_ = byte >= kWill ? State::Verb : State::Data;
                }
                break;
        }
    }
}

void ClientCodec::AppendData(std::vector<std::uint8_t>& out, const std::uint8_t* data,
                             std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(data[i]);
        if (data[i] == kIac)
            out.push_back(kIac);
    }
}

std::vector<std::uint8_t> ClientCodec::ComPortCommand(std::uint8_t command,
                                                      const std::vector<std::uint8_t>& value) {
    std::vector<std::uint8_t> out{kIac, kSb, kComPortOption};
    AppendData(out, &command, 1);
    AppendData(out, value.data(), value.size());
    out.insert(out.end(), {kIac, kSe});
    return out;
}

}  // namespace vx::platform::telnet
