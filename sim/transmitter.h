#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "sim/faults.h"
#include "sim/module_model.h"
#include "sim/wire.h"

namespace vx::sim {

// A module's sending side, shared by both front ends: it turns a reply and
// its fault into timed bytes, one reply after the other on the wire, and lets
// the model know once a reply has gone out (a new line setting waits for it).
class Transmitter {
public:
    // Appends the reply's bytes to `out`, timed from `nowUs` at the module's
    // line settings. False when the fault is a hang-up: nothing is sent then.
    bool Send(const ModuleModel& model, const ModuleReply& reply, Fault fault, std::uint64_t nowUs,
              std::vector<TimedByte>& out);

    // Calls ReplySent for every reply whose last byte has arrived by `nowUs`.
    void Settle(ModuleModel& model, std::uint64_t nowUs);
    std::optional<std::uint64_t> NextSettleUs() const;

private:
    struct Pending {
        std::uint64_t sentUs;
        ModuleReply reply;
    };
    std::uint64_t wireFreeUs_ = 0;
    std::deque<Pending> pending_;
};

}  // namespace vx::sim
