#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vx::test {

// The program with its stdout on a pipe; killed at the end whatever happened.
class VxsimProcess {
public:
    explicit VxsimProcess(std::vector<std::string> args);
    ~VxsimProcess();
    VxsimProcess(const VxsimProcess&) = delete;
    VxsimProcess& operator=(const VxsimProcess&) = delete;

    // Everything printed until a line containing `word` (or the bound).
    std::string OutputThrough(const std::string& word);
    void Signal(int signal) const;
    // The exit status, or -1 if it has not ended within the bound.
    int ExitStatus();

private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool exited_ = false;
    std::string output_;
};

}  // namespace vx::test
