#include "EndingSignals.h"

#include "TemporaryFileRecord.h"

#include <pthread.h>

namespace a3 {
namespace {

sigset_t endingSignals()
{
    sigset_t signals{};
    sigemptyset(&signals);
    for (const int signal : kEndingSignals) {
        sigaddset(&signals, signal);
    }
    return signals;
}

void onEndingSignal(int signal)
{
    endBySignal(signal);
}

} // namespace

void removeTemporaryFilesOnEndingSignals()
{
    struct sigaction action
    {};
    action.sa_handler = onEndingSignal;
    // Neither handler interrupts the other's removal, which would leave the
    // file being removed.
    action.sa_mask = endingSignals();
    for (const int signal : kEndingSignals) {
        struct sigaction previous
        {};
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN) {
            ::sigaction(signal, &action, nullptr);
        }
    }
}

void endBySignal(int signal) noexcept
{
    removeRecordedTemporaryFiles();
    struct sigaction defaultAction
    {};
    defaultAction.sa_handler = SIG_DFL;
    ::sigaction(signal, &defaultAction, nullptr);
    sigset_t only{};
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
}

EndingSignalsHeld::EndingSignalsHeld()
{
    const sigset_t signals = endingSignals();
    ::pthread_sigmask(SIG_BLOCK, &signals, &_previous);
}

EndingSignalsHeld::~EndingSignalsHeld()
{
    ::pthread_sigmask(SIG_SETMASK, &_previous, nullptr);
}

} // namespace a3
