#include "window/dialog_units.h"

#include <QTest>

namespace tarnwick::windowtest {

class DialogUnitsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dialogUnitsScaleWithTheFont_data() {
        QTest::addColumn<double>("average");
        QTest::addColumn<int>("height");
        QTest::addColumn<QRect>("pixels");
        QTest::newRow("4 x 8: one unit is one pixel") << 4.0 << 8 << QRect(10, 20, 30, 40);
        QTest::newRow("Carlito-like: rounded edges")
            << 6.5 << 17 << QRect(16, 43, 49, 85);  // 16.25..65, 42.5..127.5
    }
    void dialogUnitsScaleWithTheFont() {
        QFETCH(double, average);
        QFETCH(int, height);
        QFETCH(QRect, pixels);
        QCOMPARE(ToPixels({10, 20, 30, 40}, {average, height}), pixels);
    }
};

}  // namespace tarnwick::windowtest

QTEST_GUILESS_MAIN(tarnwick::windowtest::DialogUnitsTest)
#include "dialog_units_test.moc"
