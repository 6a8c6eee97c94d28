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
constexpr std::size_t kPathLength = 128;
constexpr std::uint32_t kRestingBaud = 1200;

constexpr std::array<std::pair<std::uint32_t, speed_t>, 9> kSpeeds = {{
    {1200, B1200},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
}};

std::uint64_t NowUs() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(now).count());
}

std::optional<speed_t> SpeedOf(std::uint32_t baud) {
    for (const auto& [rate, speed] : kSpeeds) {
        if (rate == baud)
            return speed;
    }
    return std::nullopt;
}

std::uint32_t BaudOf(speed_t speed) {
    for (const auto& [rate, each] : kSpeeds) {
        if (each == speed)
            return rate;
    }
    return 0;
}

tcflag_t DataBitsFlag(unsigned bits) {
    switch (bits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

// Raw bytes at the given line settings, no flow control.
bool ApplyLine(int fd, const protocol::LineSettings& line) {
    using protocol::Parity;
    termios settings{};
    const auto speed = SpeedOf(line.baudRate);
    if (!speed || tcgetattr(fd, &settings) != 0)
        return false;
    cfmakeraw(&settings);
    settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    settings.c_cflag |= CLOCAL | CREAD | DataBitsFlag(line.dataBits);
    if (line.parity != Parity::None)
        settings.c_cflag |= PARENB;
    if (line.parity == Parity::Odd || line.parity == Parity::Mark)
        settings.c_cflag |= PARODD;
    if (line.parity == Parity::Mark || line.parity == Parity::Space)
        settings.c_cflag |= CMSPAR;
    if (line.stopBits != protocol::StopBits::One)
        settings.c_cflag |= CSTOPB;
    cfsetispeed(&settings, *speed);
    cfsetospeed(&settings, *speed);
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

std::string Describe(const std::string& what, const std::string& path) {
    std::ostringstream text;
    text << what << " " << path << ": " << std::strerror(errno);
    return text.str();
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
        if (IsDevice() && model)
            return ModuleBaud();
        termios settings{};
        return fd >= 0 && tcgetattr(fd, &settings) == 0 ? BaudOf(cfgetospeed(&settings)) : 0;
    }

    void RemoveLink() const {
        if (IsDevice() || slavePath.empty())
            return;
        std::array<char, kPathLength> target{};
        const ssize_t length = readlink(portSpec.path.c_str(), target.data(), target.size() - 1);
        if (length > 0 &&
            std::string(target.data(), static_cast<std::size_t>(length)) == slavePath) {
            unlink(portSpec.path.c_str());
        }
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

namespace {

std::string OpenPty(const std::string& linkPath, int& fd, std::string& slavePath) {
    fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    std::array<char, kPathLength> name{};
    if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0 ||
        ptsname_r(fd, name.data(), name.size()) != 0) {
        return Describe("cannot create a pseudo-terminal for", linkPath);
    }
    slavePath = name.data();
    // Raw, and at a speed none of the twelve line settings uses: a client
    // whose settings the terminal refuses keeps this one and reaches nobody.
    const int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave >= 0) {
        constexpr unsigned kRestingDataBits = 8;
        ApplyLine(slave, {kRestingBaud, protocol::Parity::None, kRestingDataBits,
                          protocol::StopBits::One});
        close(slave);
    }
    struct stat existing {};
    if (lstat(linkPath.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode))
            return linkPath + " exists and is not a symbolic link";
        unlink(linkPath.c_str());
    }
    if (symlink(slavePath.c_str(), linkPath.c_str()) != 0)
        return Describe("cannot create", linkPath);
    return "";
}

}  // namespace

std::string PtyFrontend::Start() {
    startUs_ = NowUs();
    if (!options_.logPath.empty()) {
        log_.open(options_.logPath, std::ios::app);
        if (!log_)
            return "cannot open the log " + options_.logPath;
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

        std::ostringstream line;
        line << "baud=" << clientBaud << " command=" << frame->command
             << " checksum=" << (frame->checksumOk ? "ok" : "bad") << " ";
        if (!port.model) {
            line << "silent port";
        } else if (!hears) {
            line << "ignored: the module listens at " << port.ModuleBaud() << " baud";
        } else if (!reply) {
            line << (frame->checksumOk ? "no reply" : "ignored");
        } else {
            const Fault fault = port.faults.Next(frame->command);
            line << (fault == Fault::None ? "answered" : "fault " + FaultName(fault));
            Log(port, line.str());
            std::vector<TimedByte> timed;
            if (!port.transmitter.Send(*port.model, *reply, fault, NowUs(), timed)) {
                HangUp(port);
                return;
            }
            port.outgoing.insert(port.outgoing.end(), timed.begin(), timed.end());
            continue;
        }
        Log(port, line.str());
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
