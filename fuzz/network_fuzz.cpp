// What a network port takes from outside: a Ports table entry read as a URL,
// and the bytes a device server sends. A URL's canonical spelling must read
// back as itself; the codec, fed the same bytes in one piece or split at
// every point the input's first byte chooses, must hand on the same things
// and owe the same answers, each a complete refusal or agreement.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "doubles/telnet_transcript.h"
#include "platform/network/network_url.h"
#include "platform/network/telnet_codec.h"

namespace {

namespace telnet = vx::platform::telnet;

using vx::doubles::TelnetTranscript;

std::vector<std::uint8_t> Answers(const std::uint8_t* data, std::size_t size, std::size_t step,
                                  TelnetTranscript& transcript) {
    telnet::ClientCodec codec;
    codec.Greeting();
    for (std::size_t at = 0; at < size; at += step)
        codec.Feed(data + at, std::min(step, size - at), transcript);
    return codec.TakeAnswers();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (const auto url = vx::platform::ParseNetworkUrl(text)) {
        const auto again = vx::platform::ParseNetworkUrl(url->Canonical());
        if (!again || again->Canonical() != url->Canonical())
            __builtin_trap();
    }
    if (size == 0)
        return 0;
    TelnetTranscript whole;
    TelnetTranscript split;
    const auto wholeAnswers = Answers(data + 1, size - 1, size, whole);
    const auto splitAnswers = Answers(data + 1, size - 1, data[0] % 7 + 1, split);
    if (whole.text != split.text || wholeAnswers != splitAnswers || wholeAnswers.size() % 3 != 0)
        __builtin_trap();
    for (std::size_t i = 0; i < wholeAnswers.size(); i += 3) {
        if (wholeAnswers[i] != telnet::kIac || wholeAnswers[i + 1] < telnet::kWill)
            __builtin_trap();
    }
    return 0;
}
