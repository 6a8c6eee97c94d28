#include "platform/network/tcp_connection.h"

#include "platform/network/socket_calls.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

namespace vx::platform {
namespace {

using namespace sockets;

class SocketConnection final : public TcpConnection {
public:
    explicit SocketConnection(Socket s) : socket_(s) {}
    ~SocketConnection() override { CloseSocket(socket_); }
    SocketConnection(const SocketConnection&) = delete;
    SocketConnection& operator=(const SocketConnection&) = delete;

    bool Send(const std::uint8_t* data, std::size_t count) override {
        auto stallDeadline = Clock::now() + kSendStall;
        while (count > 0) {
            const int sent = SendSome(socket_, data, count);
            if (sent > 0) {
                data += sent;
                count -= static_cast<std::size_t>(sent);
                stallDeadline = Clock::now() + kSendStall;
            } else if (sent < 0 && WouldBlock(LastError())) {
                if (WaitFor(socket_, true, stallDeadline) <= 0)
                    return false;
            } else {
                return false;
            }
        }
        return true;
    }

    std::optional<std::size_t> Receive(std::uint8_t* buffer, std::size_t capacity,
                                       SteadyTime deadline) override {
        for (;;) {
            const int got = ReceiveSome(socket_, buffer, capacity);
            if (got > 0)
                return static_cast<std::size_t>(got);
            if (got == 0 || !WouldBlock(LastError()))
                return std::nullopt;
            const int ready = WaitFor(socket_, false, deadline);
            if (ready < 0)
                return std::nullopt;
            if (ready == 0)
                return 0;
        }
    }

    std::string Endpoint() const override {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        if (getpeername(socket_, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
            return {};
        return EndpointText(peer);
    }

private:
    Socket socket_;
    // Held for its lifetime only (nothing on Linux).
    [[maybe_unused]] TimerResolution resolution_;
};

struct AddressList {
    addrinfo* head = nullptr;
    int error = 0;
    AddressList() = default;
    AddressList(const AddressList&) = delete;
    AddressList& operator=(const AddressList&) = delete;
    ~AddressList() {
        if (head != nullptr)
            freeaddrinfo(head);
    }
};

// The resolver has no time limit of its own, so it runs on a thread of its
// own that is left behind when the limit passes; it tidies up after itself.
struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
    addrinfo* head = nullptr;
    int error = 0;
};

addrinfo Hints(const NetworkUrl& url) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags =
        AI_NUMERICSERV | (url.hostForm == NetworkUrl::HostForm::Name ? 0 : AI_NUMERICHOST);
    return hints;
}

// False when the limit passed first.
bool Resolve(const NetworkUrl& url, std::chrono::milliseconds limit, AddressList& list,
             const KeepWaiting& whileWaiting) {
    const std::string port = std::to_string(url.port);
    const addrinfo hints = Hints(url);
    if (url.hostForm != NetworkUrl::HostForm::Name) {
        list.error = getaddrinfo(url.host.c_str(), port.c_str(), &hints, &list.head);
        return true;
    }
    auto lookup = std::make_shared<Lookup>();
    auto resolver = [lookup, host = url.host, port, hints] {
        addrinfo* head = nullptr;
        const int error = getaddrinfo(host.c_str(), port.c_str(), &hints, &head);
        std::lock_guard lock(lookup->mutex);
        if (lookup->abandoned) {
            if (head != nullptr)
                freeaddrinfo(head);
            return;
        }
        lookup->head = head;
        lookup->error = error;
        lookup->finished = true;
        lookup->done.notify_one();
    };
    try {
        std::thread(std::move(resolver)).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the resolver runs here, without its limit.
        list.error = getaddrinfo(url.host.c_str(), port.c_str(), &hints, &list.head);
        return true;
    }
    const auto deadline = Clock::now() + limit;
    std::unique_lock lock(lookup->mutex);
    while (!lookup->done.wait_until(lock, std::min(deadline, Clock::now() + kWaitSlice),
                                    [&] { return lookup->finished; })) {
        if (Clock::now() >= deadline) {
            lookup->abandoned = true;
            return false;
        }
        lock.unlock();
        if (!whileWaiting()) {
            std::lock_guard giveUp(lookup->mutex);
            lookup->abandoned = true;
            return false;
        }
        lock.lock();
    }
    list.head = lookup->head;
    list.error = lookup->error;
    return true;
}

struct Attempt {
    Socket socket = kNoSocket;
    int error = 0;
    bool timedOut = false;
};

// Readiness to write within the deadline, with the caller's events run
// between slices of the wait.
int WaitWritable(Socket s, Clock::time_point deadline, const KeepWaiting& whileWaiting) {
    for (;;) {
        const auto sliceEnd = std::min(deadline, Clock::now() + kWaitSlice);
        const int ready = WaitFor(s, true, sliceEnd);
        if (ready != 0 || sliceEnd >= deadline || !whileWaiting())
            return ready;
    }
}

// An IPv6 link-local address names no link without its zone.
bool LinkLocalWithoutZone(const addrinfo& address) {
    if (address.ai_family != AF_INET6)
        return false;
    const auto& v6 = *reinterpret_cast<const sockaddr_in6*>(address.ai_addr);
    return IN6_IS_ADDR_LINKLOCAL(&v6.sin6_addr) && v6.sin6_scope_id == 0;
}

Attempt ConnectOne(const addrinfo& address, Clock::time_point deadline,
                   const KeepWaiting& whileWaiting) {
    Attempt attempt;
    const Socket s = socket(address.ai_family, address.ai_socktype, address.ai_protocol);
    if (s == kNoSocket) {
        attempt.error = LastError();
        return attempt;
    }
    int on = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    KeepAlive(s);
    bool connected = MakeNonBlocking(s);
    if (connected && connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
        connected = false;
        attempt.error = LastError();
        if (ConnectPending(attempt.error)) {
            // A refusal shows as an error condition: the reason is the socket's.
            const int ready = WaitWritable(s, deadline, whileWaiting);
            int error = 0;
            socklen_t length = sizeof error;
            attempt.timedOut = ready == 0;
            if (ready != 0 && getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                                         &length) == 0) {
                attempt.error = error;
                connected = ready > 0 && error == 0;
            }
        }
    }
    if (!connected) {
        CloseSocket(s);
        return attempt;
    }
    attempt.socket = s;
    return attempt;
}

}  // namespace

TcpConnect ConnectTcp(const NetworkUrl& url, std::chrono::milliseconds resolveLimit,
                      std::chrono::milliseconds connectLimit, const KeepWaiting& whileWaiting) {
    if (!StartNetworking())
        return {nullptr, {PortFailure::Other, 0, "the network is not available"}};
    AddressList addresses;
    if (!Resolve(url, resolveLimit, addresses, whileWaiting)) {
        return {nullptr,
                {PortFailure::Other, 0,
                 "the name " + url.host + " did not resolve within " +
                     std::to_string(resolveLimit.count()) + " ms"}};
    }
    if (addresses.error != 0 || addresses.head == nullptr)
        return {nullptr, {PortFailure::Missing}};
    const auto deadline = Clock::now() + connectLimit;
    Attempt last;
    bool anyRefused = false;
    bool anyTried = false;
    long left = 0;
    for (const addrinfo* a = addresses.head; a != nullptr; a = a->ai_next) ++left;
    for (const addrinfo* a = addresses.head; a != nullptr; a = a->ai_next, --left) {
        if (LinkLocalWithoutZone(*a))
            continue;
        anyTried = true;
        const auto share = (deadline - Clock::now()) / left;
        last = ConnectOne(*a, Clock::now() + share, whileWaiting);
        if (last.socket != kNoSocket)
            return {std::make_unique<SocketConnection>(last.socket), {}};
        anyRefused = anyRefused || Refused(last.error);
    }
    if (!anyTried) {
        return {nullptr,
                {PortFailure::Other, 0,
                 url.host + " is a link-local IPv6 address: add its zone, as in fe80::1%eth0"}};
    }
    if (anyRefused)
        return {nullptr, {PortFailure::Missing}};
    if (last.timedOut) {
        return {nullptr,
                {PortFailure::Other, 0,
                 url.Canonical() + " did not accept a connection within " +
                     std::to_string(connectLimit.count()) + " ms"}};
    }
    return {nullptr, {PortFailure::Other, 0, ErrorText(last.error)}};
}

}  // namespace vx::platform
