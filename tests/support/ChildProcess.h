#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace a3::test {

// A program started with arguments passed as raw bytes (QProcess would turn
// a file name that is not UTF-8 into another one), its standard output and
// error collected and its standard input fed by the caller. The destructor
// kills it if it is still running.
class ChildProcess
{
public:
    struct Exit
    {
        int code = -1;  // the exit status; -1 when a signal ended it
        int signal = 0; // the signal that ended it; 0 when it exited
    };

    // Where the child's standard error goes: a pipe, or a terminal of its
    // own (a pseudo-terminal, which turns each "\n" into "\r\n").
    enum class ErrorTo
    {
        Pipe,
        Terminal,
    };

    // arguments[0] is the program's path; environment entries ("NAME=value")
    // come before this process's own, so they win.
    explicit ChildProcess(const std::vector<std::string>& arguments,
                          const std::vector<std::string>& environment = {},
                          ErrorTo errorTo = ErrorTo::Pipe);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool write(std::string_view text);
    // The next line of standard output without its newline; empty when the
    // child ends or the time runs out first.
    std::string readLine(std::chrono::milliseconds timeout);
    void kill(int signal);
    pid_t pid() const { return _pid; } // until finish()
    // Closes standard input and waits for the child to end, killing it with
    // SIGKILL at the deadline.
    Exit finish(std::chrono::milliseconds timeout);

    const std::string& out() const { return _out; }
    const std::string& err() const { return _err; }

private:
    // Reads what is ready until the deadline; false once both pipes are closed.
    bool readUntil(std::chrono::steady_clock::time_point deadline);

    pid_t _pid = -1;
    int _fds[3] = {-1, -1, -1}; // standard input, output and error
    std::string _out;
    std::string _err;
    std::size_t _linesRead = 0; // how much of _out readLine() has returned
};

// Runs a program to its end (at most timeout) and returns how it ended.
struct RunResult
{
    ChildProcess::Exit exit;
    std::string out;
    std::string err;
};
RunResult run(const std::vector<std::string>& arguments,
              std::chrono::milliseconds timeout = std::chrono::seconds(30),
              const std::vector<std::string>& environment = {});

} // namespace a3::test
