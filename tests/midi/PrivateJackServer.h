#pragma once

#include "ChildProcess.h"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace a3::test {

// A JACK server of one test's own on the dummy backend, for a test that
// kills it mid-transfer while the fixture's server stays up for the rest.
// While it lives, JACK_DEFAULT_SERVER names it. Needs A3_JACKD_PATH and
// A3_JACK_WAIT_PATH.
class PrivateJackServer
{
public:
    explicit PrivateJackServer(std::string name)
        : _name(std::move(name))
        , _fixtureServer(std::getenv("JACK_DEFAULT_SERVER"))
        , _server(start())
    {
        ::setenv("JACK_DEFAULT_SERVER", _name.c_str(), 1);
    }
    ~PrivateJackServer()
    {
        _server.reset();
        // JACK keeps a killed server's place among its eight until a server
        // of the same name starts: one starts and stops cleanly.
        const auto again = start();
        again->kill(SIGTERM);
        again->finish(std::chrono::seconds(10));
        ::setenv("JACK_DEFAULT_SERVER", _fixtureServer.c_str(), 1);
    }

    void kill() { _server->kill(SIGKILL); }
    // Stops the server where it is, as one that hangs: its clients' calls
    // wait for it.
    void freeze() { _server->kill(SIGSTOP); }

private:
    std::unique_ptr<ChildProcess> start() const
    {
        auto started = std::make_unique<ChildProcess>(std::vector<std::string>{
            A3_JACKD_PATH, "-S", "-n", _name, "-d", "dummy", "-r", "48000", "-p", "256"});
        EXPECT_EQ(run({A3_JACK_WAIT_PATH, "-w", "-s", _name, "-t", "10"}).exit.code, 0);
        return started;
    }

    std::string _name;
    std::string _fixtureServer;
    std::unique_ptr<ChildProcess> _server;
};

} // namespace a3::test
