#pragma once

#include <csignal>
#include <cstdint>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "sim/frame_events.h"
#include "sim/vxsim_options.h"

namespace vx::sim {

// The module model on pseudo-terminals or serial devices, in real time.
class PtyFrontend {
public:
    PtyFrontend(VxsimOptions options, std::ostream& out);
    ~PtyFrontend();  // closes every port and removes the symlinks

    PtyFrontend(const PtyFrontend&) = delete;
    PtyFrontend& operator=(const PtyFrontend&) = delete;

    // Brings every port up and prints the "ready" lines. Returns what went
    // wrong, or an empty text.
    std::string Start();

    // Serves the ports until `stop` is set. A set `hangUp` hangs up every
    // port and is cleared. Signals are let in only while waiting, with
    // `waitMask` as the signal mask, so a flag set by a handler is never missed.
    void Run(const volatile std::sig_atomic_t& stop, volatile std::sig_atomic_t& hangUp,
             const sigset_t& waitMask);

private:
    struct Port;

    void Serve(Port& port, short events);
    void Handle(Port& port, const std::string& bytes);
    // Tells the log and the events what became of a frame.
    void Record(const Port& port, const CommandFrame& frame, std::uint32_t clientBaud,
                Verdict verdict, Fault fault);
    void Flush(Port& port, std::uint64_t nowUs);
    void CheckClient(Port& port);
    void ClientLeft(Port& port);
    void HangUp(Port& port);
    void HangUpAll();
    void Log(const Port& port, const std::string& text);
    std::uint64_t WaitUs(std::uint64_t nowUs) const;

    VxsimOptions options_;
    std::ostream& out_;
    std::ofstream log_;
    std::ofstream events_;
    std::vector<std::unique_ptr<Port>> ports_;
    std::uint64_t startUs_ = 0;
    bool unplugDone_ = false;
};

}  // namespace vx::sim
