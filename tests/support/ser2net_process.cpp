#include "ser2net_process.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

namespace vx::test {
namespace {

constexpr const char* kSer2net = "/usr/sbin/ser2net";
constexpr const char* kListenState = "0A";
constexpr auto kPoll = std::chrono::milliseconds(20);

// The ports that something on this machine listens on, from the kernel's
// table, which a test can read without connecting (a connection would make
// the server open its device).
std::set<int> ListeningPorts() {
    std::set<int> ports;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream file(table);
        std::string line;
        std::getline(file, line);  // the heading
        while (std::getline(file, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            fields >> slot >> local >> remote >> state;
            const auto colon = local.rfind(':');
            if (state == kListenState && colon != std::string::npos)
                ports.insert(std::stoi(local.substr(colon + 1), nullptr, 16));
        }
    }
    return ports;
}

}  // namespace

int FreeTcpPort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(s);
    return port;
}

Ser2net::Ser2net(const std::string& folder, std::vector<Port> ports)
    : folder_(folder), ports_(std::move(ports)) {
    std::ofstream config(folder_ + "/ser2net.yaml");
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        tcpPorts_.push_back(FreeTcpPort());
        config << "connection: &port" << i << "\n"
               << "  accepter: " << (ports_[i].rfc2217 ? "telnet(rfc2217)," : "")
               << (ports_[i].tls.empty() ? "" : "ssl(" + ports_[i].tls + "),")
               << "tcp(nodelay),127.0.0.1," << tcpPorts_[i] << "\n"
               << "  connector: serialdev," << ports_[i].device << "," << ports_[i].line
               << ",local\n"
               // Bytes go on at once, each way, instead of waiting for more to
               // gather: what a device server for a polled protocol is set to.
               << "  options:\n"
               << "    chardelay: false\n"
               << (ports_[i].authdir.empty() ? "" : "    authdir: " + ports_[i].authdir + "\n");
    }
    config.close();
    Start();
}

void Ser2net::Start() {
    process_ = std::make_unique<VxsimProcess>(
        kSer2net,
        std::vector<std::string>{"-n", "-d", "-c", folder_ + "/ser2net.yaml", "-P",
                                 folder_ + "/ser2net.pid"},
        folder_ + "/ser2net.log", VxsimProcess::Role::FarEnd);
}

void Ser2net::Kill() {
    process_->Signal(SIGKILL);
    process_.reset();
}

bool Ser2net::Ready() const {
    const auto deadline = std::chrono::steady_clock::now() + VxsimProcess::kBound;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::set<int> listening = ListeningPorts();
        if (std::all_of(tcpPorts_.begin(), tcpPorts_.end(),
                        [&](int port) { return listening.contains(port); })) {
            return true;
        }
        std::this_thread::sleep_for(kPoll);
    }
    return false;
}

std::string Ser2net::Url(std::size_t i) const {
    return std::string{ports_.at(i).rfc2217 ? "rfc2217" : "socket"} +
           "://127.0.0.1:" + std::to_string(tcpPorts_.at(i));
}

}  // namespace vx::test
