#include "sim/transmitter.h"

#include <algorithm>

namespace vx::sim {

bool Transmitter::Send(const ModuleModel& model, const ModuleReply& reply, Fault fault,
                       std::uint64_t nowUs, std::vector<TimedByte>& out) {
    const FaultedReply faulted = ApplyFault(reply.frame, fault);
    if (faulted.hangUp)
        return false;
    const auto line = protocol::ParseLineSettings(model.LineSettings());
    if (faulted.parts.empty() || !line)
        return true;
    const std::uint64_t start = std::max(nowUs + kTurnaroundUs, wireFreeUs_);
    const auto timed = TimeReply(faulted.parts, start, *line);
    if (timed.empty())
        return true;
    wireFreeUs_ = timed.back().atUs;
    out.insert(out.end(), timed.begin(), timed.end());
    pending_.push_back({wireFreeUs_, reply});
    return true;
}

void Transmitter::Settle(ModuleModel& model, std::uint64_t nowUs) {
    while (!pending_.empty() && pending_.front().sentUs <= nowUs) {
        model.ReplySent(pending_.front().reply);
        pending_.pop_front();
    }
}

std::optional<std::uint64_t> Transmitter::NextSettleUs() const {
    if (pending_.empty())
        return std::nullopt;
    return pending_.front().sentUs;
}

}  // namespace vx::sim
