#include "app/stop_signals.h"

#include <sys/signalfd.h>

#include <csignal>

namespace tarnwick {

int WatchStopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    // A closed terminal or a service manager's reload must not lose the counters either.
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // A log file at the file size limit (ulimit -f) is a failed write, counted and reported,
    // not the end of the centre.
    std::signal(SIGXFSZ, SIG_IGN);
    return signalfd(-1, &signals, SFD_CLOEXEC);
}

}  // namespace tarnwick
