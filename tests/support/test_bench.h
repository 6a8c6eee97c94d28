#pragma once

#include <map>
#include <string>
#include <vector>

#include "doubles/fake_window.h"
#include "doubles/recording_tone.h"
#include "doubles/scripted_event_pump.h"
#include "operations/operations.h"
#include "protocol/line_settings.h"
#include "sim/sim_bus.h"

namespace vx::ops::testing {

using doubles::FakeWindow;

inline constexpr int kChannels = protocol::kChannelCount;

// The operations' test bench: one machine on virtual time, with its bus,
// clock, event pump, tone and window, the window in the given language.
struct Bench {
    explicit Bench(int languageNo = ui::kLanguageEnglish) : window(clock, languageNo) {}

    sim::VirtualClock clock;
    sim::SimBus bus{clock};
    doubles::ScriptedEventPump pump;
    doubles::RecordingTone tone{clock};
    FakeWindow window;
    link::Link link{bus, clock, pump};
    OperationContext ctx{window, link, clock, pump, tone};

    // The state a scan leaves after finding the module at `com` and `line`.
    void Found(int com, int line) {
        window.state = {com, protocol::LineSettingsList.at(line), line, true, false};
    }
    std::vector<unsigned> BeepHz() const {
        std::vector<unsigned> hz;
        for (const auto& b : tone.Beeps()) hz.push_back(b.frequencyHz);
        return hz;
    }
    std::vector<std::uint32_t> FrameTimes() const {
        std::vector<std::uint32_t> at;
        for (const auto& f : bus.Frames()) at.push_back(f.atMs);
        return at;
    }
};

// A port that answers each listed command with the framed text (or nothing),
// the n-th time with the n-th text.
inline sim::Responder Replies(std::map<std::string, std::vector<std::string>> texts) {
    auto sent = std::make_shared<std::map<std::string, std::size_t>>();
    return [texts, sent](const std::string& command) -> std::vector<sim::TimedBytes> {
        const auto it = texts.find(command.substr(0, 4));
        if (it == texts.end())
            return {};
        const std::size_t n = std::min((*sent)[it->first]++, it->second.size() - 1);
        return {{0, sim::FrameReply(it->second[n])}};
    };
}

}  // namespace vx::ops::testing
