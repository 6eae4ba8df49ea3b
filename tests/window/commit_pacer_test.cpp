#include "window/commit_pacer.h"

#include <QTest>

namespace tarnwick::windowtest {

using namespace std::chrono_literals;

class CommitPacerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theFirstRequestAndTheClosingCommitComeAtOnce() {
        int commits = 0;
        CommitPacer pacer(1h, [&commits] { ++commits; });
        pacer.Request();
        QCOMPARE(commits, 1);
        pacer.Request();
        pacer.Request();
        QCOMPARE(commits, 1);
        pacer.CommitNow();
        QCOMPARE(commits, 2);
    }

    void aRequestWithinTheIntervalCommitsOnceItIsUp() {
        int commits = 0;
        CommitPacer pacer(10ms, [&commits] { ++commits; });
        pacer.Request();
        pacer.Request();
        QTRY_COMPARE(commits, 2);
    }
};

}  // namespace tarnwick::windowtest

QTEST_GUILESS_MAIN(tarnwick::windowtest::CommitPacerTest)
#include "commit_pacer_test.moc"
