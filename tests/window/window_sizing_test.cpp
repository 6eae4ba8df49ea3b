#include <QProcess>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <functional>

#include "window/scroll_steps.h"
#include "window/window_sizing.h"
#include "window_harness.h"

namespace tarnwick::windowtest {
namespace {

// Roughly the template's content at 96 DPI in the dialog font, and a scroll bar's thickness.
constexpr QSize kContent(960, 920);
constexpr int kBar = 15;

// The screens the window is opened on, each in a process of its own.
const QSize kScreens[] = {{1920, 1080}, {1280, 720}, {800, 600}, {1280, 600}, {1024, 600}};

QRect InView(const QWidget& widget, const QWidget& viewport) {
    return QRect(widget.mapTo(&viewport, QPoint(0, 0)), widget.size());
}

// One action on bar; true when the bar moved.
bool Trigger(QScrollBar& bar, QAbstractSlider::SliderAction action) {
    const int before = bar.value();
    bar.triggerAction(action);
    return bar.value() != before;
}

}  // namespace

class WindowSizingTest : public QObject {
    Q_OBJECT

private:
    WindowScript m_script;
    std::unique_ptr<CTarnwickDlg> m_dlg;

    CTarnwickDlg& Open() {
        m_dlg = OpenWindow({}, m_script);
        m_dlg->show();
        return *m_dlg;
    }
    QWidget& Viewport() const { return *Find<QWidget>(*m_dlg, "client_viewport"); }
    QWidget& Content() const { return *Find<QWidget>(*m_dlg, "client_area"); }
    QScrollBar& Bar(const char* name) const { return *Find<QScrollBar>(*m_dlg, name); }
    QList<QWidget*> Controls() const {
        return Content().findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    }
    std::vector<QPoint> Places() const {
        std::vector<QPoint> places;
        for (const QWidget* control : Controls()) {
            places.push_back(control->mapTo(m_dlg.get(), QPoint(0, 0)));
        }
        return places;
    }
    // Line steps forward until control's far edges are in view, from both bars at the top.
    QRect ScrollTo(const QWidget& control) const {
        QScrollBar& horizontal = Bar("horizontal_scroll_bar");
        QScrollBar& vertical = Bar("vertical_scroll_bar");
        horizontal.triggerAction(QAbstractSlider::SliderToMinimum);
        vertical.triggerAction(QAbstractSlider::SliderToMinimum);
        const QSize view = Viewport().size();
        for (bool moved = true; moved;) {
            const QRect place = InView(control, Viewport());
            moved = (place.right() >= view.width() &&
                     Trigger(horizontal, QAbstractSlider::SliderSingleStepAdd)) ||
                    (place.bottom() >= view.height() &&
                     Trigger(vertical, QAbstractSlider::SliderSingleStepAdd));
        }
        return InView(control, Viewport());
    }

private Q_SLOTS:
    void cleanup() { m_dlg.reset(); }

    void fitsTheScreen_data() {
        QTest::addColumn<QSize>("available");
        QTest::addColumn<QSize>("window");
        QTest::addColumn<int>("horizontalRange");
        QTest::addColumn<int>("verticalRange");
        QTest::newRow("1920x1080: the whole content, no bars")
            << QSize(1920, 1080) << kContent << 0 << 0;
        QTest::newRow("1280x720: a vertical bar beside the content")
            << QSize(1280, 720) << QSize(975, 720) << 0 << 20;
        QTest::newRow("800x600: both bars, each short of the other's corner")
            << QSize(800, 600) << QSize(800, 600) << 18 << 34;
        QTest::newRow("1280x600: a vertical bar only")
            << QSize(1280, 600) << QSize(975, 600) << 0 << 32;
        QTest::newRow("1024x600: a vertical bar only")
            << QSize(1024, 600) << QSize(975, 600) << 0 << 32;
        QTest::newRow("exactly the content: no bars") << kContent << kContent << 0 << 0;
        QTest::newRow("the vertical bar pushes the width over")
            << QSize(970, 900) << QSize(970, 900) << 1 << 4;
        QTest::newRow("ten pixels over: one unit") << QSize(1000, 910) << QSize(975, 910) << 0 << 1;
        QTest::newRow("eleven pixels over: two units")
            << QSize(1000, 909) << QSize(975, 909) << 0 << 2;
    }
    void fitsTheScreen() {
        QFETCH(QSize, available);
        QFETCH(QSize, window);
        QFETCH(int, horizontalRange);
        QFETCH(int, verticalRange);
        const WindowFit fit = FitWindow(available, kContent, kBar);
        QCOMPARE(fit.window, window);
        QCOMPARE(fit.viewport,
                 window - QSize(verticalRange > 0 ? kBar : 0, horizontalRange > 0 ? kBar : 0));
        QCOMPARE(fit.horizontalRange, horizontalRange);
        QCOMPARE(fit.verticalRange, verticalRange);
    }

    void scrollSteps_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("action");
        QTest::addColumn<int>("thumb");
        QTest::addColumn<int>("expected");
        using A = QAbstractSlider;
        QTest::newRow("line down") << 8 << int(A::SliderSingleStepAdd) << 0 << 9;
        QTest::newRow("line down at the end is dropped")
            << 10 << int(A::SliderSingleStepAdd) << 0 << 10;
        QTest::newRow("line up at the start is dropped")
            << 0 << int(A::SliderSingleStepSub) << 0 << 0;
        QTest::newRow("page down to the end") << 5 << int(A::SliderPageStepAdd) << 0 << 10;
        QTest::newRow("page down past the end is dropped whole")
            << 8 << int(A::SliderPageStepAdd) << 0 << 8;
        QTest::newRow("page up to the start") << 5 << int(A::SliderPageStepSub) << 0 << 0;
        QTest::newRow("page up past the start is dropped whole")
            << 4 << int(A::SliderPageStepSub) << 0 << 4;
        QTest::newRow("thumb") << 2 << int(A::SliderMove) << 7 << 7;
        QTest::newRow("top") << 6 << int(A::SliderToMinimum) << 0 << 0;
        QTest::newRow("bottom") << 3 << int(A::SliderToMaximum) << 0 << 10;
        QTest::newRow("end of scrolling: nothing") << 6 << int(A::SliderNoAction) << 0 << 6;
    }
    void scrollSteps() {
        QFETCH(int, position);
        QFETCH(int, action);
        QFETCH(int, thumb);
        QFETCH(int, expected);
        const ScrollAction step =
            ScrollActionOf(static_cast<QAbstractSlider::SliderAction>(action));
        QCOMPARE(ScrollPosition({0, 10}, position, step, thumb), expected);
    }

    void wheelTurns_data() {
        QTest::addColumn<int>("pending");
        QTest::addColumn<int>("delta");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("left");
        QTest::newRow("one notch toward the operator: a line forward") << 0 << -120 << 1 << 0;
        QTest::newRow("one notch away: a line back") << 0 << 120 << -1 << 0;
        QTest::newRow("three notches at once") << 0 << -360 << 3 << 0;
        QTest::newRow("half a notch waits") << 0 << -60 << 0 << -60;
        QTest::newRow("and the other half makes a line") << -60 << -60 << 1 << 0;
        QTest::newRow("turning back cancels what waits") << -60 << 60 << 0 << 0;
    }
    void wheelTurns() {
        QFETCH(int, pending);
        QFETCH(int, delta);
        QFETCH(int, lines);
        QFETCH(int, left);
        QCOMPARE(WheelTurn(pending, delta), (WheelLines{lines, left}));
    }

    void positionsShowingAControl_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("begin");
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("expected");
        // A view 100 pixels long over a range of 0 to 20 units.
        QTest::newRow("already in view: no move") << 2 << 30 << 90 << 2;
        QTest::newRow("below: its far edge just in view") << 0 << 150 << 171 << 8;
        QTest::newRow("above: its near edge at the top, rounded down") << 10 << 45 << 60 << 4;
        QTest::newRow("longer than the view: its beginning") << 0 << 120 << 300 << 12;
        QTest::newRow("longer than the view and filling it: no move") << 15 << 120 << 300 << 15;
        QTest::newRow("past the range: the end of it") << 0 << 390 << 400 << 20;
    }
    void positionsShowingAControl() {
        QFETCH(int, position);
        QFETCH(int, begin);
        QFETCH(int, end);
        QFETCH(int, expected);
        QCOMPARE(PositionShowing({0, 20}, position, 100, begin, end), expected);
    }

    void theWheelAndTheFocusScrollTheWindow() {
        CTarnwickDlg& dlg = Open();
        QScrollBar& vertical = Bar("vertical_scroll_bar");
        if (vertical.maximum() < 2) {
            QSKIP("this screen shows the whole window");
        }
        const auto turn = [](QWidget& over, int delta) {
            QWheelEvent wheel(QPointF(5, 5), over.mapToGlobal(QPointF(5, 5)), QPoint(),
                              QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                              false);
            QApplication::sendEvent(&over, &wheel);
            return wheel.isAccepted();
        };
        const int top = Content().y();
        turn(Content(), -120);
        QCOMPARE(vertical.value(), 1);
        QCOMPARE(Content().y(), top - kScrollUnitPx);
        turn(Content(), 240);  // two lines back, the second past the start: dropped
        QCOMPARE(vertical.value(), 0);
        QCOMPARE(Content().y(), top);
        // A list keeps the wheel even at the end of its rows, so the window does not move.
        QVERIFY(turn(*Find<QWidget>(dlg, "IDC_LIST_DATA"), 120));

        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        for (const char* name : {"IDC_SEND_BUFFER", "IDC_LOCAL_IP"}) {
            auto* control = Find<QWidget>(dlg, name);
            control->setFocus(Qt::TabFocusReason);
            const QRect place = InView(*control, Viewport());
            QVERIFY2(place.top() >= 0 && place.bottom() < Viewport().height(), name);
        }
    }

    void onScreensOfEverySize_data() {
        QTest::addColumn<QSize>("screen");
        for (const QSize& screen : kScreens) {
            QTest::newRow(
                qPrintable(QStringLiteral("%1x%2").arg(screen.width()).arg(screen.height())))
                << screen;
        }
    }
    void onScreensOfEverySize() {
        QFETCH(QSize, screen);
        QTemporaryDir dir;
        QFile config(dir.filePath(QStringLiteral("screen.json")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral(R"({"windowFrameMargins": false, "screens": [{"name": "s",
            "x": 0, "y": 0, "width": %1, "height": %2, "logicalDpi": 96, "dpr": 1}]})")
                         .arg(screen.width())
                         .arg(screen.height())
                         .toUtf8());
        config.close();
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"),
                           QStringLiteral("offscreen:configfile=") + config.fileName());
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(
            QCoreApplication::applicationFilePath(),
            {QStringLiteral("theWindowFitsThisScreen"), QStringLiteral("everyControlIsReachable"),
             QStringLiteral("stepsAndTheWayBackHome")});
        QVERIFY(child.waitForFinished(60000));
        const QByteArray output = child.readAll();
        QVERIFY2(output.contains("screen " + QByteArray::number(screen.width()) + "x" +
                                 QByteArray::number(screen.height()) + ":"),
                 output.constData());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 output.constData());
    }

    // The tests below run on whatever screen this process has.
    void theWindowFitsThisScreen() {
        CTarnwickDlg& dlg = Open();
        const QRect available = dlg.screen()->availableGeometry();
        qInfo("screen %dx%d: window %dx%d, ranges %d and %d", available.width(), available.height(),
              dlg.width(), dlg.height(), Bar("horizontal_scroll_bar").maximum(),
              Bar("vertical_scroll_bar").maximum());
        QCOMPARE(dlg.pos(), available.topLeft());
        QCOMPARE(dlg.size().boundedTo(available.size()), dlg.size());
        // At its maximum each bar shows the content's far edge, one step earlier it does not.
        QWidget& content = Content();
        const QSize view = Viewport().size();
        for (const char* name : {"horizontal_scroll_bar", "vertical_scroll_bar"}) {
            QScrollBar& bar = Bar(name);
            const auto farEdge = [&] {
                const QPoint corner = InView(content, Viewport()).bottomRight();
                return bar.orientation() == Qt::Horizontal ? corner.x() - view.width()
                                                           : corner.y() - view.height();
            };
            QCOMPARE(bar.isVisible(), bar.maximum() > 0);
            bar.triggerAction(QAbstractSlider::SliderToMaximum);
            QVERIFY(farEdge() < 0);
            if (Trigger(bar, QAbstractSlider::SliderSingleStepSub)) {
                QVERIFY(farEdge() >= 0);
            }
        }
    }

    void everyControlIsReachable() {
        Open();
        const QSize view = Viewport().size();
        for (const QWidget* control : Controls()) {
            const QRect place = ScrollTo(*control);
            const bool wide = control->width() > view.width();
            const bool tall = control->height() > view.height();
            QVERIFY2(place.right() < view.width() && place.bottom() < view.height() &&
                         (wide || place.left() >= 0) && (tall || place.top() >= 0),
                     qPrintable(control->objectName()));
        }
    }

    void stepsAndTheWayBackHome() {
        Open();
        const std::vector<QPoint> home = Places();
        QScrollBar& vertical = Bar("vertical_scroll_bar");
        QScrollBar& horizontal = Bar("horizontal_scroll_bar");
        if (vertical.maximum() >= kPageStep) {
            // Two units short of the end a page step is dropped, two line steps are not.
            vertical.setSliderPosition(vertical.maximum() - 2);
            const int top = Content().y();
            QVERIFY(!Trigger(vertical, QAbstractSlider::SliderPageStepAdd));
            QVERIFY(Trigger(vertical, QAbstractSlider::SliderSingleStepAdd));
            QVERIFY(Trigger(vertical, QAbstractSlider::SliderSingleStepAdd));
            QCOMPARE(Content().y(), top - 2 * kScrollUnitPx);
        }
        const std::function<void(QScrollBar&)> waysHome[] = {
            [](QScrollBar& bar) { bar.triggerAction(QAbstractSlider::SliderToMinimum); },
            [](QScrollBar& bar) { bar.setSliderPosition(0); },  // the thumb dragged back
        };
        for (const auto& goHome : waysHome) {
            for (QScrollBar* bar : {&horizontal, &vertical}) {
                for (const auto action :
                     {QAbstractSlider::SliderPageStepAdd, QAbstractSlider::SliderSingleStepAdd,
                      QAbstractSlider::SliderToMaximum, QAbstractSlider::SliderPageStepSub,
                      QAbstractSlider::SliderSingleStepSub}) {
                    bar->triggerAction(action);
                }
                goHome(*bar);
            }
            QCOMPARE(Places(), home);
        }
    }
};

}  // namespace tarnwick::windowtest

QTEST_MAIN(tarnwick::windowtest::WindowSizingTest)
#include "window_sizing_test.moc"
