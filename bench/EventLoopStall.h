#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <ctime>

namespace a3::bench {

inline std::int64_t threadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// The longest the event loop went between two ticks of a timer due every
// millisecond: in wall time, and in the GUI thread's own CPU time (the work
// that kept it; the rest of a wall-time stall is other threads and programs
// holding the machine's cores).
struct Stall
{
    double wallMs = 0;
    double busyMs = 0;
};

// Runs the event loop until done() is true.
template <typename Done>
Stall longestStall(Done done)
{
    QElapsedTimer clock;
    clock.start();
    qint64 lastWall = clock.nsecsElapsed();
    std::int64_t lastCpu = threadCpuNs();
    Stall longest;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 wall = clock.nsecsElapsed();
        const std::int64_t cpu = threadCpuNs();
        longest.wallMs = std::max(longest.wallMs, static_cast<double>(wall - lastWall) / 1e6);
        longest.busyMs = std::max(longest.busyMs, static_cast<double>(cpu - lastCpu) / 1e6);
        lastWall = wall;
        lastCpu = cpu;
    });
    tick.start(1);
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return longest;
}

} // namespace a3::bench
