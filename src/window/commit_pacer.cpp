#include "window/commit_pacer.h"

namespace tarnwick {

CommitPacer::CommitPacer(std::chrono::milliseconds every, std::function<void()> commit)
    : m_every(every), m_commit(std::move(commit)) {
    m_due.setSingleShot(true);
    QObject::connect(&m_due, &QTimer::timeout, &m_due, [this] { CommitNow(); });
}

void CommitPacer::Request() {
    if (m_due.isActive()) {
        return;
    }
    const auto since = std::chrono::milliseconds(m_sinceCommit.isValid() ? m_sinceCommit.elapsed()
                                                                         : m_every.count());
    if (since >= m_every) {
        CommitNow();
        return;
    }
    m_due.start(m_every - since);
}

void CommitPacer::CommitNow() {
    m_due.stop();
    m_sinceCommit.start();
    m_commit();
}

}  // namespace tarnwick
