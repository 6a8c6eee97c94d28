#include "vxsim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace vx::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kStartBound = VxsimProcess::kBound;
// A module and a device server have processors of their own and answer
// within their own bounds whatever the technician's PC is doing; played on
// the test machine they compete with the client for its cores. A better
// priority (where the tests may give one) keeps a busy machine's delays on
// the client's side, which is what the tests are about.
constexpr int kFarEndNice = -10;

int PollMsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

}  // namespace

VxsimProcess::VxsimProcess(std::vector<std::string> args)
    : VxsimProcess(VXSIM_PATH, std::move(args), {}, Role::FarEnd) {}

VxsimProcess::VxsimProcess(const std::string& program, std::vector<std::string> args,
                           const std::string& stderrPath, Role role) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return;
    pid_ = fork();
    if (pid_ == 0) {
        if (role == Role::FarEnd)
            setpriority(PRIO_PROCESS, 0, kFarEndNice);  // refused without the right: no matter
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        if (!stderrPath.empty()) {
            const int err = open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(err, STDERR_FILENO);
        }
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    out_ = pipeEnds[0];
}

VxsimProcess::~VxsimProcess() {
    if (pid_ > 0 && !exited_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0)
        close(out_);
}

bool VxsimProcess::ReadMore(Clock::time_point deadline) {
    pollfd wait{out_, POLLIN, 0};
    if (poll(&wait, 1, PollMsUntil(deadline)) <= 0)
        return false;
    char chunk[256];
    const ssize_t count = read(out_, chunk, sizeof chunk);
    if (count <= 0)
        return false;
    output_.append(chunk, static_cast<std::size_t>(count));
    return true;
}

std::string VxsimProcess::OutputThrough(const std::string& word) {
    const auto deadline = Clock::now() + kStartBound;
    while (output_.find(word) == std::string::npos || output_.back() != '\n') {
        if (!ReadMore(deadline))
            break;
    }
    return output_;
}

std::string VxsimProcess::OutputLines(std::size_t count) {
    const auto deadline = Clock::now() + kStartBound;
    while (static_cast<std::size_t>(std::count(output_.begin(), output_.end(), '\n')) < count) {
        if (!ReadMore(deadline))
            break;
    }
    return output_;
}

std::string VxsimProcess::OutputToEnd(std::chrono::seconds bound) {
    const auto deadline = Clock::now() + bound;
    while (ReadMore(deadline)) {
    }
    return output_;
}

void VxsimProcess::Signal(int signal) const {
    kill(pid_, signal);
}

int VxsimProcess::ExitStatus() {
    const auto deadline = Clock::now() + kStartBound;
    int status = 0;
    while (Clock::now() < deadline) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        usleep(10'000);
    }
    return -1;
}

}  // namespace vx::test
