#include "delaying_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vx::test {
namespace {

constexpr std::size_t kChunk = 4096;

int ConnectLocal(int port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(s);
        return -1;
    }
    return s;
}

void NoDelay(int s) {
    const int on = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

DelayingProxy::DelayingProxy(int upstreamPort, std::chrono::milliseconds roundTrip)
    : upstream_(upstreamPort), oneWay_(roundTrip / 2) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, SOMAXCONN);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { Accept(); });
}

DelayingProxy::~DelayingProxy() {
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    acceptor_.join();
    {
        std::lock_guard lock(mutex_);
        for (const int s : sockets_) shutdown(s, SHUT_RDWR);
    }
    for (auto& thread : threads_) thread.join();
    for (const int s : sockets_) close(s);
}

void DelayingProxy::Accept() {
    for (;;) {
        const int client = accept(listener_, nullptr, nullptr);
        if (client < 0)
            return;
        ++accepted_;
        const int server = ConnectLocal(upstream_);
        if (server < 0) {
            close(client);
            continue;
        }
        NoDelay(client);
        NoDelay(server);
        std::lock_guard lock(mutex_);
        sockets_.insert(sockets_.end(), {client, server});
        for (const auto& [from, to] : {std::pair{client, server}, std::pair{server, client}}) {
            auto pipe = std::make_unique<Pipe>();
            pipe->from = from;
            pipe->to = to;
            pipe->towardClient = to == client;
            Pipe& p = *pipe;
            pipes_.push_back(std::move(pipe));
            threads_.emplace_back([this, &p] { Read(p); });
            threads_.emplace_back([&p] { Write(p); });
        }
    }
}

void DelayingProxy::Read(Pipe& pipe) {
    std::vector<std::uint8_t> chunk(kChunk);
    for (ssize_t got; (got = recv(pipe.from, chunk.data(), chunk.size(), 0)) > 0;) {
        if (stalled_)
            continue;
        std::vector<std::uint8_t> bytes(chunk.begin(), chunk.begin() + got);
        if (pipe.towardClient) {
            std::lock_guard lock(mutex_);
            bytes.insert(bytes.begin() + got / 2, inject_.begin(), inject_.end());
        }
        std::lock_guard lock(pipe.mutex);
        pipe.held.push_back({std::chrono::steady_clock::now() + oneWay_, std::move(bytes)});
        pipe.changed.notify_one();
    }
    std::lock_guard lock(pipe.mutex);
    pipe.ended = true;
    pipe.changed.notify_one();
}

// A close travels as late as the bytes before it.
void DelayingProxy::Write(Pipe& pipe) {
    std::unique_lock lock(pipe.mutex);
    for (;;) {
        pipe.changed.wait(lock, [&] { return pipe.ended || !pipe.held.empty(); });
        if (pipe.held.empty()) {
            shutdown(pipe.to, SHUT_WR);
            return;
        }
        const Held next = pipe.held.front();
        pipe.held.pop_front();
        lock.unlock();
        std::this_thread::sleep_until(next.due);
        send(pipe.to, next.bytes.data(), next.bytes.size(), MSG_NOSIGNAL);
        lock.lock();
    }
}

}  // namespace vx::test
