#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "vxsim_process.h"

namespace vx::test {

// The serial device server ser2net on 127.0.0.1, started with a
// configuration file of its own in `folder`, each of its TCP ports (free ones,
// chosen here) in front of one device. Killed at the end.
class Ser2net {
public:
    struct Port {
        Port(std::string path, std::string setting = "9600n81", bool telnet = true,
             std::string sslOptions = {}, std::string authFolder = {})
            : device(std::move(path)),
              line(std::move(setting)),
              rfc2217(telnet),
              tls(std::move(sslOptions)),
              authdir(std::move(authFolder)) {}

        std::string device;
        std::string line;     // its own setting, before any client changes it
        bool rfc2217;         // false: a raw TCP port
        std::string tls;      // the ssl layer's options; empty: in the clear
        std::string authdir;  // where the client certificates it allows are
    };

    Ser2net(const std::string& folder, std::vector<Port> ports);

    // Whether every port listens, within the bound.
    bool Ready() const;
    // "rfc2217://127.0.0.1:N" or "socket://127.0.0.1:N" for the i-th port.
    std::string Url(std::size_t i) const;
    int TcpPort(std::size_t i) const { return tcpPorts_.at(i); }

    // SIGKILL: every connection drops at once, as when a device server dies.
    void Kill();
    // Starts it again on the same ports.
    void Start();

private:
    std::string folder_;
    std::vector<Port> ports_;
    std::vector<int> tcpPorts_;
    std::unique_ptr<VxsimProcess> process_;
};

// A free TCP port on 127.0.0.1 for a server to take.
int FreeTcpPort();

}  // namespace vx::test
