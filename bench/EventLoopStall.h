#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace a3::bench {

inline std::int64_t threadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// How long this thread has waited, ready to run, for a core: the kernel's
// run delay; 0 where the kernel does not say.
class RunDelay
{
public:
    RunDelay()
        : _fd(::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC))
    {}
    ~RunDelay()
    {
        if (_fd >= 0) {
            ::close(_fd);
        }
    }
    RunDelay(const RunDelay&) = delete;
    RunDelay& operator=(const RunDelay&) = delete;

    std::int64_t ns() const
    {
        // "CPU time, run delay, time slices", in nanoseconds.
        char text[96] = {};
        if (_fd < 0 || ::pread(_fd, text, sizeof text - 1, 0) <= 0) {
            return 0;
        }
        char* end = nullptr;
        std::strtoll(text, &end, 10);
        return std::strtoll(end, nullptr, 10);
    }

private:
    int _fd;
};

// The longest the event loop went between two ticks of a timer due every
// millisecond: in wall time, and in the GUI thread's own CPU time (the work
// that kept it; the rest of a wall-time stall is other threads and programs
// holding the machine's cores); and of the longest in wall time, how long
// the GUI thread was ready but waited for a core.
struct Stall
{
    double wallMs = 0;
    double busyMs = 0;
    double waitingMs = 0;
};

// Runs the event loop until done() is true.
template <typename Done>
Stall longestStall(Done done)
{
    QElapsedTimer clock;
    clock.start();
    qint64 lastWall = clock.nsecsElapsed();
    std::int64_t lastCpu = threadCpuNs();
    const RunDelay runDelay;
    std::int64_t lastDelay = runDelay.ns();
    Stall longest;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 wall = clock.nsecsElapsed();
        const std::int64_t cpu = threadCpuNs();
        const std::int64_t delay = runDelay.ns();
        if (const double wallMs = static_cast<double>(wall - lastWall) / 1e6;
            wallMs > longest.wallMs) {
            longest.wallMs = wallMs;
            longest.waitingMs = static_cast<double>(delay - lastDelay) / 1e6;
        }
        longest.busyMs = std::max(longest.busyMs, static_cast<double>(cpu - lastCpu) / 1e6);
        lastWall = wall;
        lastCpu = cpu;
        lastDelay = delay;
    });
    tick.start(1);
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return longest;
}

} // namespace a3::bench
