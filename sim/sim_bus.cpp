#include "sim/sim_bus.h"

#include <algorithm>
#include <deque>

#include "protocol/com_names.h"
#include "protocol/line_settings.h"
#include "sim/transmitter.h"
#include "sim/wire.h"

namespace vx::sim {

namespace {

constexpr std::uint64_t kUsPerMs = 1000;
constexpr std::uint64_t kReadWaitUs = 1000;
// What a port is set to before anybody applies line settings to it.
constexpr const char* kPowerOnLineSettings = "9600,n,8,1";

}  // namespace

VirtualClock::VirtualClock(std::uint32_t startMs) : nowUs_(std::uint64_t{startMs} * kUsPerMs) {}

std::uint32_t VirtualClock::TickMs() {
    return static_cast<std::uint32_t>(nowUs_ / kUsPerMs);
}

void VirtualClock::SleepMs(std::uint32_t ms) {
    nowUs_ += std::uint64_t{ms} * kUsPerMs;
}

std::uint64_t VirtualClock::NowUs() const {
    return nowUs_;
}

void VirtualClock::AdvanceUs(std::uint64_t us) {
    nowUs_ += us;
}

struct SimBus::Impl {
    enum class Kind { Module, Silent, Busy, Scripted };

    struct Port {
        Kind kind = Kind::Silent;
        std::unique_ptr<ModuleModel> model;
        Responder responder;
        std::string lineSettings = kPowerOnLineSettings;
        bool unplugged = false;
        CommandFrameReader reader;
        std::deque<TimedByte> incoming;  // in order of arrival
        Transmitter transmitter;
    };

    explicit Impl(VirtualClock& clock) : clock(clock) {}

    Port& Add(int comNumber, Kind kind) {
        Port& port = ports[comNumber];
        port = Port{};
        port.kind = kind;
        return port;
    }

    Port* OpenPort() {
        if (!openCom)
            return nullptr;
        const auto it = ports.find(*openCom);
        return it == ports.end() ? nullptr : &it->second;
    }

    // Lets each module notice the replies that have left its wire by now.
    void Settle() {
        for (auto& [com, port] : ports) {
            if (port.model)
                port.transmitter.Settle(*port.model, clock.NowUs());
        }
    }

    void Arrive(Port& port, const std::vector<TimedByte>& bytes) {
        for (const TimedByte& timed : bytes) {
            const auto later = [](const TimedByte& a, const TimedByte& b) {
                return a.atUs < b.atUs;
            };
            port.incoming.insert(
                std::upper_bound(port.incoming.begin(), port.incoming.end(), timed, later), timed);
        }
    }

    void Unplug(int comNumber) {
        const auto it = ports.find(comNumber);
        if (it == ports.end())
            return;
        it->second.unplugged = true;
        it->second.incoming.clear();
    }

    void Answer(int comNumber, Port& port, const std::string& command, const ModuleReply& reply) {
        std::vector<TimedByte> timed;
        const Fault fault = faults[comNumber].Next(command);
        if (!port.transmitter.Send(*port.model, reply, fault, clock.NowUs(), timed)) {
            Unplug(comNumber);
            return;
        }
        Arrive(port, timed);
    }

    void Script(Port& port, const std::string& command) {
        const auto line = protocol::ParseLineSettings(port.lineSettings);
        std::vector<TimedByte> timed;
        const std::uint64_t frameEnd = clock.NowUs();
        std::uint64_t free = frameEnd;
        for (const TimedBytes& part : port.responder(command)) {
            free = PutOnWire(std::max(free, frameEnd + part.delayMs * kUsPerMs), part.bytes, *line,
                             timed);
        }
        Arrive(port, timed);
    }

    void Receive(int comNumber, Port& port, std::uint8_t byte) {
        const auto frame = port.reader.Feed(byte);
        // A module only makes sense of bytes sent at its own line settings.
        std::optional<ModuleReply> reply;
        if (port.kind == Kind::Module && SameLine(port.lineSettings, port.model->LineSettings())) {
            reply = port.model->Receive(byte);
        }
        if (!frame)
            return;
        frames.push_back(
            {clock.TickMs(), comNumber, port.lineSettings, frame->command, frame->checksumOk});
        if (reply)
            Answer(comNumber, port, frame->command, *reply);
        if (port.kind == Kind::Scripted)
            Script(port, frame->command);
    }

    VirtualClock& clock;
    std::map<int, Port> ports;
    std::map<int, FaultPlan> faults;  // apart from the ports, so asking never adds one
    std::optional<int> openCom;
    std::vector<WireFrame> frames;
    int openCount = 0;
    int closeCount = 0;
};

SimBus::SimBus(VirtualClock& clock) : impl_(std::make_unique<Impl>(clock)) {}

SimBus::~SimBus() = default;

ModuleModel& SimBus::AddModule(int comNumber, ModuleState state) {
    auto& port = impl_->Add(comNumber, Impl::Kind::Module);
    port.model = std::make_unique<ModuleModel>(std::move(state));
    return *port.model;
}

FaultPlan& SimBus::Faults(int comNumber) {
    return impl_->faults[comNumber];
}

void SimBus::AddSilentPort(int comNumber) {
    impl_->Add(comNumber, Impl::Kind::Silent);
}

void SimBus::AddBusyPort(int comNumber) {
    impl_->Add(comNumber, Impl::Kind::Busy);
}

void SimBus::AddScriptedPort(int comNumber, Responder responder) {
    impl_->Add(comNumber, Impl::Kind::Scripted).responder = std::move(responder);
}

void SimBus::InjectBytes(int comNumber, const std::string& bytes, std::uint32_t delayMs) {
    const auto it = impl_->ports.find(comNumber);
    if (it == impl_->ports.end() || it->second.unplugged)
        return;
    const std::uint64_t at = impl_->clock.NowUs() + std::uint64_t{delayMs} * kUsPerMs;
    std::vector<TimedByte> timed;
    for (char c : bytes) timed.push_back({at, static_cast<std::uint8_t>(c)});
    impl_->Arrive(it->second, timed);
}

void SimBus::Unplug(int comNumber) {
    impl_->Unplug(comNumber);
}

const std::vector<WireFrame>& SimBus::Frames() const {
    return impl_->frames;
}

std::vector<std::string> SimBus::Commands() const {
    std::vector<std::string> commands;
    for (const auto& frame : impl_->frames) commands.push_back(frame.command);
    return commands;
}

int SimBus::OpenCount() const {
    return impl_->openCount;
}

int SimBus::CloseCount() const {
    return impl_->closeCount;
}

platform::PortOpen SimBus::Open(const std::string& comName) {
    impl_->Settle();
    if (auto* open = impl_->OpenPort())
        open->incoming.clear();
    impl_->openCom.reset();
    const auto number = protocol::ParseComName(comName);
    if (!number)
        return {platform::PortFailure::Missing};
    const auto it = impl_->ports.find(*number);
    if (it == impl_->ports.end() || it->second.unplugged)
        return {platform::PortFailure::Missing};
    if (it->second.kind == Impl::Kind::Busy)
        return {platform::PortFailure::Busy};
    impl_->openCom = *number;
    it->second.reader = CommandFrameReader{};
    ++impl_->openCount;
    return {};
}

bool SimBus::ApplyLineSettings(const std::string& text) {
    auto* port = impl_->OpenPort();
    if (!port || port->unplugged || !protocol::ParseLineSettings(text))
        return false;
    port->lineSettings = text;
    return true;
}

void SimBus::Write(const std::uint8_t* data, std::size_t count) {
    impl_->Settle();
    auto* port = impl_->OpenPort();
    if (!port || port->unplugged)
        return;
    for (std::size_t k = 0; k < count; ++k) impl_->Receive(*impl_->openCom, *port, data[k]);
}

std::optional<std::uint8_t> SimBus::ReadByte() {
    auto& clock = impl_->clock;
    impl_->Settle();
    auto* port = impl_->OpenPort();
    std::optional<std::uint8_t> byte;
    if (port && !port->unplugged && !port->incoming.empty() &&
        port->incoming.front().atUs <= clock.NowUs() + kReadWaitUs) {
        const TimedByte next = port->incoming.front();
        port->incoming.pop_front();
        if (next.atUs > clock.NowUs())
            clock.AdvanceUs(next.atUs - clock.NowUs());
        byte = next.byte;
    } else {
        clock.AdvanceUs(kReadWaitUs);
    }
    impl_->Settle();
    return byte;
}

void SimBus::DiscardInput() {
    impl_->Settle();
    auto* port = impl_->OpenPort();
    if (!port)
        return;
    const std::uint64_t now = impl_->clock.NowUs();
    auto& incoming = port->incoming;
    incoming.erase(incoming.begin(),
                   std::find_if(incoming.begin(), incoming.end(),
                                [now](const TimedByte& timed) { return timed.atUs > now; }));
}

void SimBus::Close() {
    ++impl_->closeCount;
    impl_->Settle();
    // Bytes still waiting, or still on their way, die with the handle.
    if (auto* port = impl_->OpenPort())
        port->incoming.clear();
    impl_->openCom.reset();
}

bool SimBus::IsOpen() const {
    return impl_->openCom.has_value();
}

}  // namespace vx::sim
