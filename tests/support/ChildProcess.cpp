#include "ChildProcess.h"

#include <algorithm>
#include <array>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace a3::test {
namespace {

void closeIfOpen(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

std::vector<char*> pointersTo(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (std::string& text : strings) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& arguments,
                           const std::vector<std::string>& environment)
{
    // Everything the child needs is built before fork(): between fork() and
    // exec() only async-signal-safe calls are allowed.
    std::vector<std::string> argumentCopies = arguments;
    std::vector<std::string> environmentCopies = environment; // first match wins
    for (char** entry = environ; *entry; ++entry) {
        environmentCopies.emplace_back(*entry);
    }
    const std::vector<char*> argv = pointersTo(argumentCopies);
    const std::vector<char*> envp = pointersTo(environmentCopies);

    std::array<int, 2> in{};
    std::array<int, 2> out{};
    std::array<int, 2> err{};
    if (::pipe2(in.data(), O_CLOEXEC) != 0 || ::pipe2(out.data(), O_CLOEXEC) != 0 ||
        ::pipe2(err.data(), O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe2 failed");
    }
    _pid = ::fork();
    if (_pid == 0) {
        ::signal(SIGPIPE, SIG_DFL);
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        ::execve(argv[0], argv.data(), envp.data());
        constexpr char kFailed[] = "exec failed\n";
        (void)::write(STDERR_FILENO, kFailed, sizeof kFailed - 1);
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    _inPipe = in[1];
    _outPipe = out[0];
    _errPipe = err[0];
    if (_pid < 0) {
        closeIfOpen(_inPipe);
        closeIfOpen(_outPipe);
        closeIfOpen(_errPipe);
        throw std::runtime_error("fork failed");
    }
}

ChildProcess::~ChildProcess()
{
    if (_pid > 0) {
        ::kill(_pid, SIGKILL);
        ::waitpid(_pid, nullptr, 0);
    }
    closeIfOpen(_inPipe);
    closeIfOpen(_outPipe);
    closeIfOpen(_errPipe);
}

bool ChildProcess::readUntil(std::chrono::steady_clock::time_point deadline)
{
    std::array<pollfd, 2> fds{{{_outPipe, POLLIN, 0}, {_errPipe, POLLIN, 0}}};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (_outPipe < 0 && _errPipe < 0) {
        return false;
    }
    if (::poll(fds.data(), fds.size(), static_cast<int>(std::max<long>(left.count(), 0))) < 0) {
        return true; // interrupted: the caller checks its deadline and asks again
    }
    const std::array<std::pair<int*, std::string*>, 2> targets{
        {{&_outPipe, &_out}, {&_errPipe, &_err}}};
    for (std::size_t k = 0; k < fds.size(); ++k) {
        if (fds[k].fd < 0 || fds[k].revents == 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t count = ::read(fds[k].fd, buffer, sizeof buffer);
        if (count > 0) {
            targets[k].second->append(buffer, static_cast<std::size_t>(count));
        } else {
            closeIfOpen(*targets[k].first);
        }
    }
    return _outPipe >= 0 || _errPipe >= 0;
}

bool ChildProcess::write(std::string_view text)
{
    // A child that has ended must not take the test down with it.
    ::signal(SIGPIPE, SIG_IGN);
    while (!text.empty()) {
        const ssize_t count = ::write(_inPipe, text.data(), text.size());
        if (count <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

std::string ChildProcess::readLine(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::size_t end = std::string::npos;
    while ((end = _out.find('\n', _linesRead)) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline || !readUntil(deadline)) {
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
    Exit exit;
    closeIfOpen(_inPipe);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline && readUntil(deadline)) {
    }
    int status = 0;
    // A child may close its output and go on running: wait for the child
    // itself, still only until the deadline.
    while (::waitpid(_pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            exit.timedOut = true;
            kill(SIGKILL);
            ::waitpid(_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    _pid = -1;
    if (WIFEXITED(status)) {
        exit.code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        exit.signal = WTERMSIG(status);
    }
    return exit;
}

RunResult run(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout,
              const std::vector<std::string>& environment)
{
    ChildProcess process(arguments, environment);
    const ChildProcess::Exit exit = process.finish(timeout);
    return {exit, process.out(), process.err()};
}

} // namespace a3::test
