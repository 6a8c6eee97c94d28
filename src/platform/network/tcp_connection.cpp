#include "platform/network/tcp_connection.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <mstcpip.h>
#include <winsock2.h>
#include <ws2tcpip.h>
// <mmsystem.h> needs the types of <windows.h>: keep it after this line.
#include <mmsystem.h>
#include <windows.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#endif

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

using Clock = std::chrono::steady_clock;
// A send that makes no progress for this long means the peer stopped reading.
constexpr auto kSendStall = std::chrono::seconds(1);
// Waits of the connect and the resolver are cut into slices this long, with
// the caller's events run between them.
constexpr auto kWaitSlice = std::chrono::milliseconds(10);
// An idle connection is probed after this long, then every interval, and a
// peer that acknowledges nothing (probes or data) for the give-up time is
// gone: a pulled cable shows within seconds, not TCP's quarter of an hour.
constexpr int kKeepIdleSeconds = 2;
constexpr int kKeepIntervalSeconds = 1;
constexpr int kKeepProbes = 3;
constexpr int kGiveUpMs = 5000;
constexpr std::size_t kAddressText = 64;

#ifdef _WIN32
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
// Without it the 1 ms waits of the link move in whole scheduler ticks.
constexpr UINT kTimerResolutionMs = 1;

int LastError() {
    return WSAGetLastError();
}
bool WouldBlock(int error) {
    return error == WSAEWOULDBLOCK || error == WSAEINTR;
}
bool ConnectPending(int error) {
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS;
}
bool Refused(int error) {
    return error == WSAECONNREFUSED;
}
void CloseSocket(Socket s) {
    closesocket(s);
}
bool MakeNonBlocking(Socket s) {
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}
std::string ErrorText(int error) {
    return "Winsock error " + std::to_string(error);
}
int SendSome(Socket s, const std::uint8_t* data, std::size_t count) {
    return send(s, reinterpret_cast<const char*>(data), static_cast<int>(count), 0);
}
int ReceiveSome(Socket s, std::uint8_t* buffer, std::size_t capacity) {
    return recv(s, reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0);
}

// Readiness within the deadline: 1 ready, 0 time-out, -1 error.
int WaitFor(Socket s, bool forWriting, Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    const long long micros = left.count() > 0 ? left.count() : 0;
    timeval timeout{static_cast<long>(micros / 1'000'000), static_cast<long>(micros % 1'000'000)};
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(s, &ready);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(s, &failed);
    const int count =
        select(0, forWriting ? nullptr : &ready, forWriting ? &ready : nullptr, &failed, &timeout);
    if (count < 0 || FD_ISSET(s, &failed))
        return -1;
    return count > 0 ? 1 : 0;
}

// Winsock must be started once per process before any other call.
bool StartNetworking() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

void KeepAlive(Socket s) {
    const DWORD on = 1;
    setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
    tcp_keepalive probes{1, kKeepIdleSeconds * 1000UL, kKeepIntervalSeconds * 1000UL};
    DWORD returned = 0;
    WSAIoctl(s, SIO_KEEPALIVE_VALS, &probes, sizeof probes, nullptr, 0, &returned, nullptr,
             nullptr);
#ifdef TCP_MAXRT
    const DWORD seconds = kGiveUpMs / 1000;
    setsockopt(s, IPPROTO_TCP, TCP_MAXRT, reinterpret_cast<const char*>(&seconds), sizeof seconds);
#endif
}

class TimerResolution {
public:
    TimerResolution() { timeBeginPeriod(kTimerResolutionMs); }
    ~TimerResolution() { timeEndPeriod(kTimerResolutionMs); }
    TimerResolution(const TimerResolution&) = delete;
    TimerResolution& operator=(const TimerResolution&) = delete;
};
#else
using Socket = int;
constexpr Socket kNoSocket = -1;

int LastError() {
    return errno;
}
bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}
bool ConnectPending(int error) {
    return error == EINPROGRESS || error == EINTR;
}
bool Refused(int error) {
    return error == ECONNREFUSED;
}
void CloseSocket(Socket s) {
    close(s);
}
bool MakeNonBlocking(Socket s) {
    const int flags = fcntl(s, F_GETFL);
    return flags >= 0 && fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0 &&
           fcntl(s, F_SETFD, FD_CLOEXEC) == 0;
}
std::string ErrorText(int error) {
    return std::strerror(error);
}
// A peer that has gone must not end the program with SIGPIPE.
int SendSome(Socket s, const std::uint8_t* data, std::size_t count) {
    return static_cast<int>(send(s, data, count, MSG_NOSIGNAL));
}
int ReceiveSome(Socket s, std::uint8_t* buffer, std::size_t capacity) {
    return static_cast<int>(recv(s, buffer, capacity, 0));
}

int WaitFor(Socket s, bool forWriting, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now());
        const long long nanos = left.count() > 0 ? left.count() : 0;
        const timespec timeout{static_cast<time_t>(nanos / 1'000'000'000),
                               static_cast<long>(nanos % 1'000'000'000)};
        pollfd entry{s, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
        const int count = ppoll(&entry, 1, &timeout, nullptr);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return -1;
        // A hang-up with bytes still queued reads those bytes first.
        if (count > 0 && (entry.revents & (POLLERR | POLLNVAL)) != 0 &&
            (entry.revents & POLLIN) == 0) {
            return -1;
        }
        return count > 0 ? 1 : 0;
    }
}

bool StartNetworking() {
    return true;
}

void KeepAlive(Socket s) {
    const int on = 1;
    setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleSeconds, sizeof kKeepIdleSeconds);
    setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalSeconds, sizeof kKeepIntervalSeconds);
    setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, &kKeepProbes, sizeof kKeepProbes);
    setsockopt(s, IPPROTO_TCP, TCP_USER_TIMEOUT, &kGiveUpMs, sizeof kGiveUpMs);
}

struct TimerResolution {};
#endif

std::string EndpointText(const sockaddr_storage& peer) {
    std::array<char, kAddressText> text{};
    if (peer.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(peer);
        inet_ntop(AF_INET, &v4.sin_addr, text.data(), text.size());
        return std::string(text.data()) + ":" + std::to_string(ntohs(v4.sin_port));
    }
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(peer);
    const std::string port = std::to_string(ntohs(v6.sin6_port));
    if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) {
        constexpr std::size_t kMappedPrefix = 12;
        inet_ntop(AF_INET, &v6.sin6_addr.s6_addr[kMappedPrefix], text.data(), text.size());
        return std::string(text.data()) + ":" + port;
    }
    inet_ntop(AF_INET6, &v6.sin6_addr, text.data(), text.size());
    return "[" + std::string(text.data()) + "]:" + port;
}

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
             const std::function<void()>& whileWaiting) {
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
        whileWaiting();
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
int WaitWritable(Socket s, Clock::time_point deadline, const std::function<void()>& whileWaiting) {
    for (;;) {
        const auto sliceEnd = std::min(deadline, Clock::now() + kWaitSlice);
        const int ready = WaitFor(s, true, sliceEnd);
        if (ready != 0 || sliceEnd >= deadline)
            return ready;
        whileWaiting();
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
                   const std::function<void()>& whileWaiting) {
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
                      std::chrono::milliseconds connectLimit,
                      const std::function<void()>& whileWaiting) {
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
