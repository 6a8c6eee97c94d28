// How fast the in-process bus runs the reading loops the link puts it through;
// a whole unanswered scan has to cost well under a second of real time.
#include <benchmark/benchmark.h>

#include <string>

#include "link/transaction.h"
#include "protocol/commands.h"
#include "protocol/line_settings.h"
#include "sim/sim_bus.h"

namespace {

constexpr int kPorts = 16;
constexpr int kTriesPerSetting = 2;
constexpr int kQuickTries = 3;
constexpr int kEmptyReadsPerAttempt = 152;  // a reply window of polls
constexpr int kReplyReadLimit = 200;

std::string IdentifyFrame() {
    const std::string text = "B00B";
    const auto sum = vx::link::CommandChecksum(text, static_cast<int>(text.size()));
    return static_cast<char>(vx::link::kCommandLead) + text + vx::link::ByteToHex(sum) +
           static_cast<char>(vx::link::kFrameEnd);
}

int UnansweredAttempt(vx::sim::SimBus& bus, const std::string& frame) {
    bus.Write(reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size());
    int bytes = 0;
    for (int k = 0; k < kEmptyReadsPerAttempt; ++k) bytes += bus.ReadByte().has_value() ? 1 : 0;
    return bytes;
}

void BM_EmptyReplyWindow(benchmark::State& state) {
    vx::sim::VirtualClock clock;
    vx::sim::SimBus bus(clock);
    bus.AddSilentPort(1);
    bus.Open("COM1");
    const std::string frame = IdentifyFrame();
    for (auto _ : state) benchmark::DoNotOptimize(UnansweredAttempt(bus, frame));
}
BENCHMARK(BM_EmptyReplyWindow);

void BM_AnsweredIdentify(benchmark::State& state) {
    vx::sim::VirtualClock clock;
    vx::sim::SimBus bus(clock);
    bus.AddModule(1);
    bus.Open("COM1");
    bus.ApplyLineSettings(vx::protocol::LineSettingsList[vx::protocol::kDefaultLineSettingsIndex]);
    const std::string frame = IdentifyFrame();
    for (auto _ : state) {
        bus.Write(reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size());
        int bytes = 0;
        for (int k = 0; k < kReplyReadLimit && bytes < vx::protocol::kIdentifyReplyLength; ++k) {
            bytes += bus.ReadByte().has_value() ? 1 : 0;
        }
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(BM_AnsweredIdentify);

// Every port present and silent: the longest search there is.
void BM_FullUnansweredScan(benchmark::State& state) {
    const std::string frame = IdentifyFrame();
    for (auto _ : state) {
        vx::sim::VirtualClock clock;
        vx::sim::SimBus bus(clock);
        for (int com = 1; com <= kPorts; ++com) bus.AddSilentPort(com);
        int attempts = 0;
        bus.Open("COM1");
        for (int k = 0; k < kQuickTries; ++k, ++attempts) UnansweredAttempt(bus, frame);
        bus.Close();
        for (int com = 1; com <= kPorts; ++com) {
            for (const auto& line : vx::protocol::LineSettingsList) {
                bus.Open("COM" + std::to_string(com));
                bus.ApplyLineSettings(line);
                for (int k = 0; k < kTriesPerSetting; ++k, ++attempts)
                    UnansweredAttempt(bus, frame);
                bus.Close();
            }
        }
        state.counters["attempts"] = attempts;
    }
}
BENCHMARK(BM_FullUnansweredScan)->Unit(benchmark::kMillisecond);

}  // namespace
