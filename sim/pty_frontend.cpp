#include "sim/pty_frontend.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <iomanip>
#include <sstream>
#include <utility>

#include "protocol/line_settings.h"
#include "sim/terminal.h"
#include "sim/transmitter.h"
#include "sim/wire.h"

namespace vx::sim {

namespace {

constexpr std::uint64_t kUsPerMs = 1000;
constexpr std::uint64_t kUsPerSecond = 1'000'000;
// While no client has the pseudo-terminal open its master reports a hang-up
// on every poll, so it is looked at on this beat instead.
constexpr std::uint64_t kClientCheckUs = 2000;
constexpr std::uint64_t kLongestWaitUs = 500'000;
constexpr std::size_t kReadChunk = 256;
// What the module made of a frame, as the log and the events tell it.
Verdict VerdictOf(bool hasModule, bool hears, const CommandFrame& frame,
                  const std::optional<ModuleReply>& reply, Fault fault) {
    if (!hasModule)
        return Verdict::SilentPort;
    if (!hears)
        return Verdict::OtherBaud;
    if (!reply)
        return frame.checksumOk ? Verdict::Unanswered : Verdict::BadChecksum;
    return fault == Fault::None ? Verdict::Answered : Verdict::Faulted;
}

std::uint64_t NowUs() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(now).count());
}

}  // namespace

struct PtyFrontend::Port {
    PortSpec portSpec;
    std::unique_ptr<ModuleModel> model;  // none behind a silent port
    FaultPlan faults;
    Transmitter transmitter;
    CommandFrameReader reader;  // for the log, whatever the module makes of the bytes
    int fd = -1;
    std::string slavePath;
    std::string deviceLine;  // line settings a real device is set to
    bool clientPresent = true;
    std::uint64_t nextClientCheckUs = 0;
    std::deque<TimedByte> outgoing;

    bool IsDevice() const { return portSpec.kind == PortKind::Device; }

    std::uint32_t ModuleBaud() const {
        const auto line = protocol::ParseLineSettings(model->LineSettings());
        return line ? line->baudRate : 0;
    }

    // On a pseudo-terminal the master sees the termios the client set.
    std::uint32_t ClientBaud() const {
        return IsDevice() && model ? ModuleBaud() : TerminalBaud(fd);
    }

    void RemoveLink() const {
        if (!IsDevice() && !slavePath.empty())
            RemoveLinkTo(portSpec.path, slavePath);
    }
};

PtyFrontend::PtyFrontend(VxsimOptions options, std::ostream& out)
    : options_(std::move(options)), out_(out) {}

PtyFrontend::~PtyFrontend() {
    for (const auto& port : ports_) {
        if (port->fd >= 0)
            close(port->fd);
        port->RemoveLink();
    }
}

std::string PtyFrontend::Start() {
    startUs_ = NowUs();
    if (!options_.logPath.empty()) {
        log_.open(options_.logPath, std::ios::app);
        if (!log_)
            return "cannot open the log " + options_.logPath;
    }
    if (!options_.eventsPath.empty()) {
        events_.open(options_.eventsPath, std::ios::app);
        if (!events_)
            return "cannot open the events file " + options_.eventsPath;
    }
    for (const auto& portSpec : options_.ports) {
        auto port = std::make_unique<Port>();
        port->portSpec = portSpec;
        if (portSpec.kind != PortKind::Silent)
            port->model = std::make_unique<ModuleModel>(portSpec.state);
        for (const auto& queued : portSpec.faults) {
            port->faults.Queue(queued.command, queued.fault, queued.times);
        }
        if (portSpec.randomFaultProbability > 0.0) {
            port->faults.SetRandom(portSpec.randomFaultProbability, portSpec.randomFaultSeed);
        }
        Port& added = *ports_.emplace_back(std::move(port));
        if (added.IsDevice()) {
            added.fd = open(portSpec.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            if (added.fd < 0)
                return Describe("cannot open", portSpec.path);
            added.deviceLine = added.model->LineSettings();
            if (!ApplyLine(added.fd, *protocol::ParseLineSettings(added.deviceLine))) {
                return Describe("cannot set the line settings of", portSpec.path);
            }
        } else if (auto error = OpenPty(portSpec.path, added.fd, added.slavePath); !error.empty()) {
            return error;
        }
    }
    for (const auto& port : ports_) {
        out_ << "ready " << port->portSpec.path;
        if (!port->IsDevice())
            out_ << " -> " << port->slavePath;
        out_ << "\n";
    }
    out_.flush();
    return "";
}

void PtyFrontend::Run(const volatile std::sig_atomic_t& stop, volatile std::sig_atomic_t& hangUp,
                      const sigset_t& waitMask) {
    while (!stop) {
        if (hangUp) {
            hangUp = 0;
            HangUpAll();
        }
        const std::uint64_t now = NowUs();
        if (options_.unplugAfterMs && !unplugDone_ &&
            now >= startUs_ + *options_.unplugAfterMs * kUsPerMs) {
            unplugDone_ = true;
            HangUpAll();
        }
        std::vector<pollfd> waits;
        std::vector<Port*> waiting;
        for (const auto& port : ports_) {
            Flush(*port, now);
            if (port->fd >= 0 && !port->clientPresent)
                CheckClient(*port);
            if (port->fd >= 0 && port->clientPresent) {
                waits.push_back({port->fd, POLLIN, 0});
                waiting.push_back(port.get());
            }
        }
        const std::uint64_t waitUs = WaitUs(NowUs());
        const timespec timeout{static_cast<time_t>(waitUs / kUsPerSecond),
                               static_cast<long>((waitUs % kUsPerSecond) * kUsPerMs)};
        if (ppoll(waits.data(), waits.size(), &timeout, &waitMask) <= 0)
            continue;
        for (std::size_t k = 0; k < waits.size(); ++k) {
            if (waits[k].revents != 0)
                Serve(*waiting[k], waits[k].revents);
        }
    }
}

void PtyFrontend::Serve(Port& port, short events) {
    std::string bytes;
    bool gone = (events & (POLLHUP | POLLERR)) != 0;
    if (events & POLLIN) {
        std::array<char, kReadChunk> chunk{};
        for (;;) {
            const ssize_t count = read(port.fd, chunk.data(), chunk.size());
            if (count > 0) {
                bytes.append(chunk.data(), static_cast<std::size_t>(count));
                continue;
            }
            if (count < 0 && (errno == EAGAIN || errno == EINTR))
                break;
            gone = true;  // end of file, or EIO once the client has closed
            break;
        }
    }
    Handle(port, bytes);
    if (!gone || port.fd < 0)
        return;
    if (port.IsDevice()) {
        HangUp(port);  // the adapter itself went away
    } else {
        ClientLeft(port);
    }
}

void PtyFrontend::Handle(Port& port, const std::string& bytes) {
    const std::uint32_t clientBaud = port.ClientBaud();
    const bool hears = port.model && (port.IsDevice() || clientBaud == port.ModuleBaud());
    for (char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        const auto frame = port.reader.Feed(byte);
        const auto reply = hears ? port.model->Receive(byte) : std::nullopt;
        if (!frame)
            continue;
        const Fault fault = reply ? port.faults.Next(frame->command) : Fault::None;
        Record(port, *frame, clientBaud,
               VerdictOf(port.model != nullptr, hears, *frame, reply, fault), fault);
        if (!reply)
            continue;
        std::vector<TimedByte> timed;
        if (!port.transmitter.Send(*port.model, *reply, fault, NowUs(), timed)) {
            HangUp(port);
            return;
        }
        port.outgoing.insert(port.outgoing.end(), timed.begin(), timed.end());
    }
}

void PtyFrontend::Record(const Port& port, const CommandFrame& frame, std::uint32_t clientBaud,
                         Verdict verdict, Fault fault) {
    std::ostringstream line;
    line << "baud=" << clientBaud << " command=" << frame.command
         << " checksum=" << (frame.checksumOk ? "ok" : "bad") << " ";
    switch (verdict) {
        case Verdict::SilentPort:
            line << "silent port";
            break;
        case Verdict::OtherBaud:
            line << "ignored: the module listens at " << port.ModuleBaud() << " baud";
            break;
        case Verdict::Unanswered:
            line << "no reply";
            break;
        case Verdict::BadChecksum:
            line << "ignored";
            break;
        case Verdict::Answered:
            line << "answered";
            break;
        case Verdict::Faulted:
            line << "fault " << FaultName(fault);
            break;
    }
    Log(port, line.str());
    if (events_.is_open()) {
        events_ << EventLine({NowUs() - startUs_, port.portSpec.path, frame.command, verdict})
                << std::endl;
    }
}

void PtyFrontend::Flush(Port& port, std::uint64_t nowUs) {
    std::string due;
    while (!port.outgoing.empty() && port.outgoing.front().atUs <= nowUs) {
        due += static_cast<char>(port.outgoing.front().byte);
        port.outgoing.pop_front();
    }
    // A full buffer on the client's side drops bytes, as a real line would.
    if (!due.empty() && port.fd >= 0 && port.clientPresent) {
        [[maybe_unused]] const ssize_t written = write(port.fd, due.data(), due.size());
    }
    if (!port.model)
        return;
    port.transmitter.Settle(*port.model, nowUs);
    if (port.IsDevice() && port.fd >= 0 && port.model->LineSettings() != port.deviceLine) {
        tcdrain(port.fd);
        port.deviceLine = port.model->LineSettings();
        ApplyLine(port.fd, *protocol::ParseLineSettings(port.deviceLine));
    }
}

void PtyFrontend::CheckClient(Port& port) {
    if (NowUs() < port.nextClientCheckUs)
        return;
    pollfd probe{port.fd, POLLIN, 0};
    poll(&probe, 1, 0);
    port.clientPresent = (probe.revents & POLLHUP) == 0;
    port.nextClientCheckUs = NowUs() + kClientCheckUs;
}

// No slave descriptor is held open here: one that were would keep an
// exclusive-use flag set by the client alive after its close, and its next
// open would then fail. So the master sees each close as a hang-up.
void PtyFrontend::ClientLeft(Port& port) {
    port.clientPresent = false;
    port.nextClientCheckUs = NowUs() + kClientCheckUs;
    port.outgoing.clear();
    // Bytes already written but not read die with the client's handle too.
    const int slave = open(port.slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave >= 0) {
        tcflush(slave, TCIFLUSH);
        close(slave);
    }
}

void PtyFrontend::HangUp(Port& port) {
    if (port.fd < 0)
        return;
    close(port.fd);
    port.fd = -1;
    port.outgoing.clear();
    port.RemoveLink();
    Log(port, "hang-up");
    out_ << "hangup " << port.portSpec.path << "\n";
    out_.flush();
}

void PtyFrontend::HangUpAll() {
    for (const auto& port : ports_) HangUp(*port);
}

void PtyFrontend::Log(const Port& port, const std::string& text) {
    if (!log_.is_open())
        return;
    const double seconds = static_cast<double>(NowUs() - startUs_) / kUsPerSecond;
    log_ << "[" << std::fixed << std::setprecision(6) << std::setw(12) << seconds << "] "
         << port.portSpec.path << " " << text << "\n";
    log_.flush();
}

std::uint64_t PtyFrontend::WaitUs(std::uint64_t nowUs) const {
    std::uint64_t until = nowUs + kLongestWaitUs;
    for (const auto& port : ports_) {
        if (!port->outgoing.empty())
            until = std::min(until, port->outgoing.front().atUs);
        if (const auto settle = port->transmitter.NextSettleUs())
            until = std::min(until, *settle);
        if (port->fd >= 0 && !port->clientPresent)
            until = std::min(until, port->nextClientCheckUs);
    }
    if (options_.unplugAfterMs && !unplugDone_) {
        until = std::min(until, startUs_ + *options_.unplugAfterMs * kUsPerMs);
    }
    return until > nowUs ? until - nowUs : 0;
}

}  // namespace vx::sim
