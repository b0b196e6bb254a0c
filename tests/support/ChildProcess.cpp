#include "ChildProcess.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace a3::test {
namespace {

using Clock = std::chrono::steady_clock;

void closeIfOpen(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// For execve(), which changes none of the strings.
std::vector<char*> pointersTo(const std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (const std::string& text : strings) {
        pointers.push_back(const_cast<char*>(text.c_str()));
    }
    pointers.push_back(nullptr);
    return pointers;
}

// A pseudo-terminal's two ends, as a pipe's: [0] this process reads, [1]
// the child writes to.
int openTerminal(int ends[2])
{
    ends[0] = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (ends[0] < 0 || ::grantpt(ends[0]) != 0 || ::unlockpt(ends[0]) != 0) {
        return -1;
    }
    ends[1] = ::open(::ptsname(ends[0]), O_RDWR | O_NOCTTY | O_CLOEXEC);
    return ends[1] < 0 ? -1 : 0;
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& arguments,
                           const std::vector<std::string>& environment, ErrorTo errorTo)
{
    std::vector<std::string> environmentCopies = environment;
    for (char** entry = environ; *entry; ++entry) {
        environmentCopies.emplace_back(*entry);
    }
    const std::vector<char*> argv = pointersTo(arguments);
    const std::vector<char*> envp = pointersTo(environmentCopies);
    // Standard input, output and error: the child's end of each pipe is
    // pipes[k][k != 0], this process's pipes[k][k == 0].
    int pipes[3][2];
    const int error =
        errorTo == ErrorTo::Terminal ? openTerminal(pipes[2]) : ::pipe2(pipes[2], O_CLOEXEC);
    if (::pipe2(pipes[0], O_CLOEXEC) != 0 || ::pipe2(pipes[1], O_CLOEXEC) != 0 || error != 0 ||
        (_pid = ::fork()) < 0) {
        throw std::runtime_error("cannot start " + arguments[0]);
    }
    if (_pid == 0) {
        // Only async-signal-safe calls between fork() and exec(). A test
        // that crashes takes its children with it: a JACK server left behind
        // would hold one of the eight places JACK has for servers.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::signal(SIGPIPE, SIG_DFL);
        for (int k = 0; k < 3; ++k) {
            ::dup2(pipes[k][k != 0], k);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    for (int k = 0; k < 3; ++k) {
        ::close(pipes[k][k != 0]);
        _fds[k] = pipes[k][k == 0];
    }
}

ChildProcess::~ChildProcess()
{
    if (_pid > 0) {
        ::kill(_pid, SIGKILL);
        ::waitpid(_pid, nullptr, 0);
    }
    for (int& fd : _fds) {
        closeIfOpen(fd);
    }
}

bool ChildProcess::readUntil(Clock::time_point deadline)
{
    if (_fds[1] < 0 && _fds[2] < 0) {
        return false;
    }
    pollfd fds[2] = {{_fds[1], POLLIN, 0}, {_fds[2], POLLIN, 0}};
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (::poll(fds, 2, static_cast<int>(std::max<long>(left.count(), 0))) < 0) {
        return true; // interrupted: the caller checks its deadline and asks again
    }
    std::string* targets[2] = {&_out, &_err};
    for (int k = 0; k < 2; ++k) {
        if (fds[k].fd < 0 || fds[k].revents == 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t count = ::read(fds[k].fd, buffer, sizeof buffer);
        if (count > 0) {
            targets[k]->append(buffer, static_cast<std::size_t>(count));
        } else {
            closeIfOpen(_fds[k + 1]);
        }
    }
    return true;
}

bool ChildProcess::write(std::string_view text)
{
    // A child that has ended must not take the test down with it.
    ::signal(SIGPIPE, SIG_IGN);
    while (!text.empty()) {
        const ssize_t count = ::write(_fds[0], text.data(), text.size());
        if (count <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

std::string ChildProcess::readLine(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    std::size_t end = std::string::npos;
    while ((end = _out.find('\n', _linesRead)) == std::string::npos) {
        if (Clock::now() >= deadline || !readUntil(deadline)) {
            return {};
        }
    }
    std::string line = _out.substr(_linesRead, end - _linesRead);
    _linesRead = end + 1;
    return line;
}

void ChildProcess::kill(int signal)
{
    if (_pid > 0) {
        ::kill(_pid, signal);
    }
}

ChildProcess::Exit ChildProcess::finish(std::chrono::milliseconds timeout)
{
    closeIfOpen(_fds[0]);
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline && readUntil(deadline)) {
    }
    // A child may close its output and go on running: wait for the child
    // itself, still only until the deadline.
    int status = 0;
    while (::waitpid(_pid, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            ::kill(_pid, SIGKILL); // again until it is gone: harmless
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    _pid = -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            WIFSIGNALED(status) ? WTERMSIG(status) : 0};
}

RunResult run(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout,
              const std::vector<std::string>& environment)
{
    ChildProcess process(arguments, environment);
    // A braced list runs in order: the output is all there once finish() returns.
    return {process.finish(timeout), process.out(), process.err()};
}

} // namespace a3::test
