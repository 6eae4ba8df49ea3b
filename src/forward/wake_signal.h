#pragma once

// What the forwarder's thread sleeps on: a wake from any thread, its connection's socket, or
// the end of a wait, whichever comes first. One eventfd, drained by the wait it ends.

#include <chrono>

#include "forward/broker_connection.h"

namespace tarnwick {

class WakeSignal {
public:
    WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;
    ~WakeSignal();

    // Any thread: the next Wait, or the one under way, returns at once.
    void Signal();
    // The forwarder's thread: until a Signal, the socket is ready as asked, or most has passed.
    void Wait(ConnectionSocket socket, std::chrono::milliseconds most);

private:
    // -1 when no eventfd could be had: then each wait runs its time, and forwarding goes on
    // at the poll's pace.
    int m_fd;
};

}  // namespace tarnwick
