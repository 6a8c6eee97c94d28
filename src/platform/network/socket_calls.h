#pragma once

// The socket calls of Linux and of Winsock behind one set of names, for the
// TCP connection alone.

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
// <mstcpip.h> needs the types of <winsock2.h>: keep it after this line.
#include <mstcpip.h>
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

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

namespace vx::platform::sockets {

using Clock = std::chrono::steady_clock;
// A send that makes no progress for this long means the peer stopped reading.
inline constexpr auto kSendStall = std::chrono::seconds(1);
// Waits of the connect and the resolver are cut into slices this long, with
// the caller's events run between them.
inline constexpr auto kWaitSlice = std::chrono::milliseconds(10);
// An idle connection is probed after this long, then every interval, and a
// peer that acknowledges nothing (probes or data) for the give-up time is
// gone: a pulled cable shows within seconds, not TCP's quarter of an hour.
inline constexpr int kKeepIdleSeconds = 2;
inline constexpr int kKeepIntervalSeconds = 1;
inline constexpr int kKeepProbes = 3;
inline constexpr int kGiveUpMs = 5000;
inline constexpr std::size_t kAddressText = 64;

#ifdef _WIN32
using Socket = SOCKET;
inline constexpr Socket kNoSocket = INVALID_SOCKET;
// Without it the 1 ms waits of the link move in whole scheduler ticks.
inline constexpr UINT kTimerResolutionMs = 1;

inline int LastError() {
    return WSAGetLastError();
}
inline bool WouldBlock(int error) {
    return error == WSAEWOULDBLOCK || error == WSAEINTR;
}
inline bool ConnectPending(int error) {
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS;
}
inline bool Refused(int error) {
    return error == WSAECONNREFUSED;
}
inline void CloseSocket(Socket s) {
    closesocket(s);
}
inline bool MakeNonBlocking(Socket s) {
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}
inline std::string ErrorText(int error) {
    return "Winsock error " + std::to_string(error);
}
inline int SendSome(Socket s, const std::uint8_t* data, std::size_t count) {
    return send(s, reinterpret_cast<const char*>(data), static_cast<int>(count), 0);
}
inline int ReceiveSome(Socket s, std::uint8_t* buffer, std::size_t capacity) {
    return recv(s, reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0);
}

// Readiness within the deadline: 1 ready, 0 time-out, -1 error.
inline int WaitFor(Socket s, bool forWriting, Clock::time_point deadline) {
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
inline bool StartNetworking() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

inline void KeepAlive(Socket s) {
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
inline constexpr Socket kNoSocket = -1;

inline int LastError() {
    return errno;
}
inline bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}
inline bool ConnectPending(int error) {
    return error == EINPROGRESS || error == EINTR;
}
inline bool Refused(int error) {
    return error == ECONNREFUSED;
}
inline void CloseSocket(Socket s) {
    close(s);
}
inline bool MakeNonBlocking(Socket s) {
    const int flags = fcntl(s, F_GETFL);
    return flags >= 0 && fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0 &&
           fcntl(s, F_SETFD, FD_CLOEXEC) == 0;
}
inline std::string ErrorText(int error) {
    return std::strerror(error);
}
// A peer that has gone must not end the program with SIGPIPE.
inline int SendSome(Socket s, const std::uint8_t* data, std::size_t count) {
    return static_cast<int>(send(s, data, count, MSG_NOSIGNAL));
}
inline int ReceiveSome(Socket s, std::uint8_t* buffer, std::size_t capacity) {
    return static_cast<int>(recv(s, buffer, capacity, 0));
}

inline int WaitFor(Socket s, bool forWriting, Clock::time_point deadline) {
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

inline bool StartNetworking() {
    return true;
}

inline void KeepAlive(Socket s) {
    const int on = 1;
    setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleSeconds, sizeof kKeepIdleSeconds);
    setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalSeconds, sizeof kKeepIntervalSeconds);
    setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, &kKeepProbes, sizeof kKeepProbes);
    setsockopt(s, IPPROTO_TCP, TCP_USER_TIMEOUT, &kGiveUpMs, sizeof kGiveUpMs);
}

struct TimerResolution {};
#endif

inline std::string EndpointText(const sockaddr_storage& peer) {
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

}  // namespace vx::platform::sockets
