#include "InterruptStop.h"

#include "EndingSignals.h"

#include <pthread.h>

namespace a3::cli {

InterruptStop::InterruptStop()
{
    sigemptyset(&_interrupt);
    sigaddset(&_interrupt, SIGINT);
    pthread_sigmask(SIG_BLOCK, &_interrupt, &_previousMask);
    _watcher = std::thread([this] { watch(); });
}

InterruptStop::~InterruptStop()
{
    _ending = true;
    pthread_kill(_watcher.native_handle(), SIGINT);
    _watcher.join();
    pthread_sigmask(SIG_SETMASK, &_previousMask, nullptr);
}

void InterruptStop::watch()
{
    for (;;) {
        int signal = 0;
        sigwait(&_interrupt, &signal);
        if (_ending) {
            return;
        }
        if (_source.stop_requested()) {
            endBySignal(SIGINT);
        }
        _source.request_stop();
    }
}

} // namespace a3::cli
