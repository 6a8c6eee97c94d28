#pragma once

#include "operations/outcome.h"

namespace vx::ctl {

class Session;

// The scan with every present port searched at once, one worker thread per
// port, and the outcome shown in the session's window as if it had scanned;
// answers that outcome.
ops::Outcome ParallelScan(Session& session);

}  // namespace vx::ctl
