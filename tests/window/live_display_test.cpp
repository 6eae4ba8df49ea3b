#include "window/live_display.h"

#include <QSignalSpy>
#include <QTest>

#include "support/calendar.h"
#include "support/record_rows_of.h"

namespace tarnwick::windowtest {
namespace {

using test::TextRecordRows;

std::vector<std::string> Rows(const RowColumnModel& model) {
    std::vector<std::string> rows;
    for (int i = 0; i < model.rowCount(); ++i) {
        rows.emplace_back(model.Row(i));
    }
    return rows;
}

const LocalTime kNoon = test::TmOf(2026, 3, 6, 12);

// Rows of several sizes, empty ones among them: 3,000 of them fill more than a few chunks.
std::string ArenaRow(int i) {
    return std::string(static_cast<std::size_t>(i % 7 == 0 ? 0 : 400 + i % 3700),
                       static_cast<char>('a' + i % 26));
}

int Length(std::string_view row) {
    return static_cast<int>(row.size());
}

RecvHandOff Text(std::string_view body) {
    return MakeHandOff(HandOffKind::Text, *PeerAddress::FromText("10.0.0.7", 4000), body, 0);
}

}  // namespace

class LiveDisplayTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void newRecordsStandAboveOlderOnes() {
        LiveDisplay display(Length, 10);
        const RecvHandOff older = Text("#ST,123;A:1;#");
        const RecvHandOff newer = Text("a text without the marker");
        display.Show(older, kNoon);
        display.Show(newer, kNoon);
        QCOMPARE(display.Data().rowCount(), 0);  // nothing shown before the commit

        QSignalSpy inserted(&display.Data(), &QAbstractItemModel::rowsInserted);
        display.Commit();
        QCOMPARE(inserted.size(), 1);  // one block per drain
        const DisplayRows top = TextRecordRows(newer.text, "  12:00:00", false);
        const DisplayRows below = TextRecordRows(older.text, "  12:00:00", true);
        std::vector<std::string> data = top.data;
        data.insert(data.end(), below.data.begin(), below.data.end());
        QCOMPARE(Rows(display.Data()), data);
        QCOMPARE(Rows(display.Source()).at(1), std::string("  "));  // no "#ST": no source
        QCOMPARE(display.Time().rowCount(), display.Data().rowCount() + 1);
    }

    void rowsKeepTheirBytesAcrossArenaChunks() {
        RowColumnModel model;
        std::vector<std::string> topDown;
        for (int i = 0; i < 3000; ++i) {
            const std::string row = ArenaRow(i);
            model.StageOnTop({row});
            topDown.insert(topDown.begin(), row);
        }
        model.Commit();
        QCOMPARE(Rows(model), topDown);
    }

    void theOldestRecordsLeaveTheBottomPastTheLimit() {
        LiveDisplay display(Length, 2);
        display.Show(Text("#ST,123;A:oldest;#"), kNoon);
        display.Commit();
        display.Show(Text("#ST,123;A:middle;#"), kNoon);
        display.Show(Text("#ST,123;L:400;A:newest" + std::string(700, 'x') + ";#"), kNoon);
        QSignalSpy removed(&display.Data(), &QAbstractItemModel::rowsRemoved);
        display.Commit();
        QCOMPARE(removed.size(), 1);
        QCOMPARE(display.RecordsLeftView(), 1u);
        const DisplayRows newest =
            TextRecordRows("10.0.0.7 (4000):#ST,123;L:400;A:newest" + std::string(700, 'x') + ";#",
                           "  12:00:00", false);
        const DisplayRows middle =
            TextRecordRows("10.0.0.7 (4000):#ST,123;A:middle;#", "  12:00:00", false);
        std::vector<std::string> data = newest.data;
        data.insert(data.end(), middle.data.begin(), middle.data.end());
        QCOMPARE(Rows(display.Data()), data);
        // The first record's "   " row below it left with it.
        QCOMPARE(display.Time().rowCount(), display.Data().rowCount());

        display.Clear();
        QCOMPARE(display.RecordsLeftView(), 0u);
        QCOMPARE(display.Data().rowCount(), 0);
    }

    void rowsLeavingTheBottomFreeTheirChunksAndKeepTheRestIntact() {
        RowColumnModel model;
        std::vector<std::string> topDown;
        for (int i = 0; i < 3000; ++i) {
            const std::string row = ArenaRow(i);
            model.StageOnTop({row, row});
            topDown.insert(topDown.begin(), {row, row});
            if (i % 500 == 499) {
                model.Commit();
                model.DropOldestRecords(400);
                topDown.resize(topDown.size() - 800);
            }
        }
        model.Commit();
        QCOMPARE(Rows(model), topDown);
        // About 2.6 MiB of rows stay out of the 13 MiB that came.
        QVERIFY(model.ArenaBytes() <= 4u << 20);
    }

    void extentFollowsTheWidestRowUntilCleared() {
        LiveDisplay display(Length, 10);
        QCOMPARE(display.DataExtent(), 90);
        display.Show(Text("#ST,123;A:123456789;#"), kNoon);
        display.Show(Text("#ST,123;A:1;#"), kNoon);
        QCOMPARE(display.DataExtent(), 21 + 90);
        // A hex row is shown, so it widens the extent like any other.
        display.Show(MakeHandOff(HandOffKind::Hex, *PeerAddress::FromText("10.0.0.7", 4000),
                                 std::string(200, 'F'), 0),
                     kNoon);
        display.Commit();
        QCOMPARE(display.DataExtent(), 200 + 90);

        display.Clear();
        QCOMPARE(display.DataExtent(), 90);
        QCOMPARE(display.Time().rowCount(), 0);
        display.Show(Text("#ST,123;A:1;#"), kNoon);
        display.Commit();
        QCOMPARE(display.Time().rowCount(), 3);  // first record again: its "   " row below
    }
};

}  // namespace tarnwick::windowtest

QTEST_GUILESS_MAIN(tarnwick::windowtest::LiveDisplayTest)
#include "live_display_test.moc"
