// Start-up as a user sees it: from exec to the program's window being mapped
// and painted on the X display named by DISPLAY (run it under xvfb-run), for
// each program given, median of N runs, with the program's resident memory at
// that moment. The first program is the yardstick the others are compared to.
//
// Usage: vx_startup_bench [-n RUNS] PROGRAM...
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "process_stats.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kDefaultRuns = 20;
constexpr auto kRunBound = std::chrono::seconds(20);
constexpr auto kStopBound = std::chrono::seconds(30);
constexpr auto kStopPoll = std::chrono::milliseconds(10);

struct Sample {
    double ms;
    long rssKiB;
};

// Ends the program with a signal it may outlive in part: a profiler that
// wraps it (see `bench/startup-instructions`) writes its counts on the way
// out. Only a program that ignores the signal is killed.
void Stop(pid_t pid) {
    kill(pid, SIGTERM);
    const Clock::time_point asked = Clock::now();
    while (waitpid(pid, nullptr, WNOHANG) == 0) {
        if (Clock::now() - asked > kStopBound) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            return;
        }
        std::this_thread::sleep_for(kStopPoll);
    }
}

class Display {
public:
    Display() : connection_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(connection_))
            Fail("cannot open the display (run under xvfb-run)");
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        const auto* damage = xcb_get_extension_data(connection_, &xcb_damage_id);
        if (damage == nullptr || !damage->present)
            Fail("the display has no DAMAGE extension");
        damageEvent_ = damage->first_event + XCB_DAMAGE_NOTIFY;
        xcb_discard_reply(connection_, xcb_damage_query_version(connection_, 1, 1).sequence);
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection_);
    }
    ~Display() { xcb_disconnect(connection_); }
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    // Starts the program and waits for its first drawing into a mapped
    // top-level window. Every new top-level window is watched from its
    // creation, before the program can map or draw it.
    std::optional<Sample> Run(const std::string& program) {
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        const Clock::time_point start = Clock::now();
        pid_t pid = 0;
        if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0)
            Fail("cannot start " + program);
        std::set<xcb_window_t> mapped;
        std::optional<Sample> sample;
        while (!sample && Clock::now() - start < kRunBound) {
            std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event(
                xcb_wait_for_event(connection_), &std::free);
            if (!event)
                break;
            const uint8_t type = event->response_type & 0x7f;
            if (type == XCB_CREATE_NOTIFY) {
                const auto* created = reinterpret_cast<xcb_create_notify_event_t*>(event.get());
                xcb_damage_create(connection_, xcb_generate_id(connection_), created->window,
                                  XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                xcb_flush(connection_);
            } else if (type == XCB_MAP_NOTIFY) {
                mapped.insert(reinterpret_cast<xcb_map_notify_event_t*>(event.get())->window);
            } else if (type == damageEvent_) {
                const auto* damaged = reinterpret_cast<xcb_damage_notify_event_t*>(event.get());
                if (mapped.contains(damaged->drawable)) {
                    const std::chrono::duration<double, std::milli> took = Clock::now() - start;
                    sample = Sample{took.count(), vx::bench::ResidentKiB(std::to_string(pid))};
                }
            }
        }
        Stop(pid);
        return sample;
    }

    [[noreturn]] static void Fail(const std::string& why) {
        std::fprintf(stderr, "vx_startup_bench: %s\n", why.c_str());
        std::exit(1);
    }

private:
    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
    uint8_t damageEvent_ = 0;
};

template <typename T>
T Median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int runs = kDefaultRuns;
    std::vector<std::string> programs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-n" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            programs.push_back(arg);
        }
    }
    if (programs.empty()) {
        std::fprintf(stderr, "usage: %s [-n RUNS] PROGRAM...\n", argv[0]);
        return 2;
    }
    // A desktop session has a runtime folder; without one Qt complains on
    // every start.
    char runtime[] = "/tmp/vx-startup-XXXXXX";
    if (std::getenv("XDG_RUNTIME_DIR") == nullptr && mkdtemp(runtime) != nullptr)
        setenv("XDG_RUNTIME_DIR", runtime, 1);
    Display display;
    // The programs take turns, so that a change in the machine's load falls
    // on all of them alike.
    std::vector<std::vector<Sample>> samples(programs.size());
    for (int run = 0; run < runs; ++run) {
        for (std::size_t p = 0; p < programs.size(); ++p) {
            const auto sample = display.Run(programs[p]);
            if (!sample)
                Display::Fail(programs[p] + " never painted a window");
            samples[p].push_back(*sample);
        }
    }
    double baseMs = 0;
    long baseKiB = 0;
    for (std::size_t p = 0; p < programs.size(); ++p) {
        std::vector<double> ms;
        std::vector<long> kib;
        for (const Sample& s : samples[p]) {
            ms.push_back(s.ms);
            kib.push_back(s.rssKiB);
        }
        const double medianMs = Median(ms);
        const long medianKiB = Median(kib);
        if (p == 0) {
            baseMs = medianMs;
            baseKiB = medianKiB;
        }
        std::printf("%-36s median %6.1f ms (min %6.1f, max %6.1f) %5.2fx  RSS %5.1f MiB (%+5.1f)\n",
                    programs[p].c_str(), medianMs, *std::min_element(ms.begin(), ms.end()),
                    *std::max_element(ms.begin(), ms.end()), medianMs / baseMs, medianKiB / 1024.0,
                    (medianKiB - baseKiB) / 1024.0);
    }
    return 0;
}
