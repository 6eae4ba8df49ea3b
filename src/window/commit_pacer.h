#pragma once

// When the live display's staged rows are committed. Every commit moves the lists' scroll
// ranges and repaints them and their scroll bars, so a flooded window that committed after each
// drain would spend more on painting than on its records. A commit comes at once when the last
// one is at least an interval old, otherwise when the interval is up: no staged row waits longer
// than that, and an idle window shows a record as soon as it is drained.

#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <functional>

namespace tarnwick {

class CommitPacer {
public:
    CommitPacer(std::chrono::milliseconds every, std::function<void()> commit);

    // Rows were staged: commits now or once the interval is up.
    void Request();
    // Commits now, whatever the interval: the window is closing.
    void CommitNow();

private:
    std::chrono::milliseconds m_every;
    std::function<void()> m_commit;
    QElapsedTimer m_sinceCommit;  // invalid before the first commit
    QTimer m_due;
};

}  // namespace tarnwick
