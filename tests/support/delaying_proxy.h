#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vx::test {

// A TCP proxy on 127.0.0.1 in front of a local port that holds every byte
// for half the round trip in each direction, as a slow network does. It can
// also fall silent without closing anything, as a pulled cable does.
class DelayingProxy {
public:
    DelayingProxy(int upstreamPort, std::chrono::milliseconds roundTrip);
    ~DelayingProxy();
    DelayingProxy(const DelayingProxy&) = delete;
    DelayingProxy& operator=(const DelayingProxy&) = delete;

    int Port() const { return port_; }
    // Connections accepted so far.
    int Accepted() const { return accepted_; }
    // From now on no byte passes either way, and no connection closes.
    void Stall() { stalled_ = true; }
    // Puts these bytes into the middle of every later chunk from the server,
    // as a server's notices land inside the data it passes on.
    void InjectTowardClient(std::string bytes) {
        std::lock_guard lock(mutex_);
        inject_ = std::move(bytes);
    }

private:
    struct Held {
        std::chrono::steady_clock::time_point due;
        std::vector<std::uint8_t> bytes;
    };
    // One direction of one connection.
    struct Pipe {
        int from = -1;
        int to = -1;
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<Held> held;
        bool ended = false;
        bool towardClient = false;
    };

    void Accept();
    void Read(Pipe& pipe);
    static void Write(Pipe& pipe);

    int upstream_;
    std::atomic<int> accepted_{0};
    std::atomic<bool> stalled_{false};
    std::chrono::milliseconds oneWay_;
    int listener_ = -1;
    int port_ = 0;
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Pipe>> pipes_;
    std::vector<std::thread> threads_;
    std::vector<int> sockets_;
    std::string inject_;
};

}  // namespace vx::test
