#pragma once

namespace vx::ctl {

class Session;

// The scan with every present port searched at once, one worker thread per
// port, and the outcome shown in the session's window as if it had scanned.
void ParallelScan(Session& session);

}  // namespace vx::ctl
