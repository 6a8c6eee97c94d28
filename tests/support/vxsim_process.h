#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace vx::test {

// The program with its stdout on a pipe; killed at the end whatever happened.
// By default the program is vxsim; another can be named, with its stderr
// sent to a file.
class VxsimProcess {
public:
    // How long any wait for the program lasts, unless told otherwise.
    static constexpr std::chrono::seconds kBound{10};

    // The far end of a line: a module, or a device server.
    enum class Role { Client, FarEnd };

    explicit VxsimProcess(std::vector<std::string> args);
    VxsimProcess(const std::string& program, std::vector<std::string> args,
                 const std::string& stderrPath = {}, Role role = Role::Client);
    ~VxsimProcess();
    VxsimProcess(const VxsimProcess&) = delete;
    VxsimProcess& operator=(const VxsimProcess&) = delete;

    // Everything printed until a line containing `word` (or the bound).
    std::string OutputThrough(const std::string& word);

    // Everything printed until the program closes its stdout (or the bound).
    std::string OutputToEnd(std::chrono::seconds bound = kBound);
    // Everything printed until it holds `count` lines (or the bound).
    std::string OutputLines(std::size_t count);
    void Signal(int signal) const;
    pid_t Pid() const { return pid_; }
    // The exit status, or -1 if it has not ended within the bound.
    int ExitStatus();

private:
    using Clock = std::chrono::steady_clock;
    bool ReadMore(Clock::time_point deadline);

    pid_t pid_ = -1;
    int out_ = -1;
    bool exited_ = false;
    std::string output_;
};

}  // namespace vx::test
