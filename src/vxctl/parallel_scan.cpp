// The parallel search gives each present port a worker thread that runs the
// whole scan operation unchanged, on a device that reaches that one port
// only: every other port number fails to open, which the search skips at no
// cost. So each worker keeps the order of line settings, the attempts and the
// pauses of the sequential search on its port.
//
// Each worker has a link of its own, over its own device: one port, one
// buffer, one reply per worker. Processes would have needed a spawn-and-pipe
// seam per platform and a way to carry the outcome back; the thread's
// outcome and its copy of the window are simply taken when it ends.
//
// The outcome is the one the sequential scan would reach: the remembered
// port's quick attempt first, then the lowest port number where the module
// answered. Workers that can no longer change the outcome are abandoned:
// their next open fails, so they end after their current combination.
#include "vxctl/parallel_scan.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "operations/operation_support.h"
#include "platform/com_ports.h"
#include "protocol/com_names.h"
#include "vxctl/session.h"

namespace vx::ctl {

namespace {

struct Worker {
    int port = 0;
    bool remembered = false;  // the port of the quick attempt
    std::unique_ptr<WatchedDevice> device;
    std::unique_ptr<HeadlessWindow> window;
    ops::Outcome outcome;
    bool done = false;
    std::thread thread;

    // The identification answered, whether the information then came or not.
    bool FoundAnywhere() const { return outcome.result != ops::Result::NotFound; }
    // Lower wins: the quick attempt before every port of the search.
    int Rank() const { return remembered && !window->Saved() ? 0 : port; }
    int BestPossibleRank() const { return done ? Rank() : (remembered ? 0 : port); }
};

class Coordinator {
public:
    explicit Coordinator(Session& session) : session_(session) {}

    ops::Outcome Run() {
        StartWorkers();
        const Worker* winner = WaitForOutcome();
        for (auto& worker : workers_) worker->device->Abandon();
        for (auto& worker : workers_) {
            worker->thread.join();
            session_.device().Absorb(*worker->device);
        }
        return ShowOutcome(winner);
    }

private:
    void StartWorkers() {
        HeadlessWindow& main = session_.window();
        const ops::SharedState& state = main.State();
        for (int port = protocol::kFirstScanPort; port <= protocol::kLastScanPort; ++port) {
            const std::string device = session_.DeviceOf(port);
            if (device.empty())
                continue;
            auto worker = std::make_unique<Worker>();
            worker->port = port;
            worker->remembered = port == state.ScanCommNo;
            const std::string comName = protocol::ComName(port);
            const platform::PortResolver onlyThis = [comName, device](const std::string& name) {
                return name == comName ? device : std::string{};
            };
            worker->device =
                std::make_unique<WatchedDevice>(session_.machine().makeDevice(onlyThis), onlyThis);
            worker->window = std::make_unique<HeadlessWindow>(main.languageNo, nullptr);
            ops::SharedState& own = worker->window->State();
            own.ScanCommNo = worker->remembered ? state.ScanCommNo : 0;
            own.ScanBaudRate = state.ScanBaudRate;
            own.ScanBaudRateNo = state.ScanBaudRateNo;
            worker->window->lock = main.lock;
            worker->window->WatchStatus(
                [this](const std::string& status) { session_.printer().Progress(status); });
            workers_.push_back(std::move(worker));
        }
        for (auto& worker : workers_) {
            Worker* w = worker.get();
            w->thread = std::thread([this, w] { Search(*w); });
        }
    }

    void Search(Worker& worker) {
        platform::InstallableEventPump noEvents;
        // The outcome beeps once, in the session.
        MutableTone silence(session_.machine().tone);
        silence.muted = true;
        link::Link link(*worker.device, session_.machine().clock, noEvents);
        link.SetReplyWait(link::Link::ReplyWait::OnDevice);
        ops::OperationContext ctx{*worker.window, link, session_.machine().clock, noEvents,
                                  silence};
        const ops::Outcome outcome = ops::btnScanClick(ctx);
        const std::lock_guard lock(mutex_);
        worker.outcome = outcome;
        worker.done = true;
        changed_.notify_all();
    }

    // The winner once no unfinished worker could beat it; none when every
    // worker ended without finding the module.
    const Worker* WaitForOutcome() {
        std::unique_lock lock(mutex_);
        for (;;) {
            const Worker* best = nullptr;
            bool allDone = true;
            for (const auto& worker : workers_) {
                allDone = allDone && worker->done;
                if (worker->done && worker->FoundAnywhere() &&
                    (!best || worker->Rank() < best->Rank()))
                    best = worker.get();
            }
            if (allDone || (best && Decided(*best)))
                return best;
            changed_.wait(lock);
        }
    }

    bool Decided(const Worker& best) const {
        for (const auto& worker : workers_) {
            if (!worker->done && worker->BestPossibleRank() < best.Rank())
                return false;
        }
        return true;
    }

    ops::Outcome ShowOutcome(const Worker* winner) {
        HeadlessWindow& main = session_.window();
        ops::OperationContext& ctx = session_.context();
        if (!winner) {
            main.State().ModuleFound = false;
            ops::ShowModuleNotFound(ctx);
            return ops::Outcome::Of(ops::Result::NotFound);
        }
        main.AdoptScanOf(*winner->window);
        if (winner->outcome.Ok()) {
            ops::BeepSuccess(ctx);
        } else {
            ops::BeepFailure(ctx);
        }
        return winner->outcome;
    }

    Session& session_;
    std::vector<std::unique_ptr<Worker>> workers_;
    std::mutex mutex_;
    std::condition_variable changed_;
};

}  // namespace

ops::Outcome ParallelScan(Session& session) {
    return Coordinator(session).Run();
}

}  // namespace vx::ctl
