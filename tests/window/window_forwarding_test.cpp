// The window against a real broker (Debian's mosquitto, started here): its notice line follows
// the broker, and what was answered while the broker was away reaches it once it is back.

#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <string>

#include "support/mqtt_broker.h"
#include "support/udp.h"
#include "window/tarnwick_dlg.h"
#include "window_harness.h"

namespace tarnwick::windowtest {

using namespace std::chrono_literals;
using test::MqttBroker;
using test::MqttMessage;
using test::MqttSubscriber;
using test::UdpPeer;

constexpr int kRecords = 1000;  // more than are ever on their way at once: "1,000" behind
constexpr int kCatchUpMs = 60'000;

class WindowForwardingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theNoticeFollowsTheBrokerAndNothingAnsweredIsLost() {
        if (!MqttBroker::Installed()) {
            QSKIP("mosquitto is missing (scripts/install-test-deps.sh unpacks it)");
        }
        MqttBroker broker;
        QVERIFY(broker.Start());
        // Subscribed before the outage: the broker keeps what comes for it across its restart.
        MqttSubscriber subscriber(broker.Port(), "tarnwick/record/#");
        broker.Stop();

        QTemporaryDir folder;
        Options options;
        options.logDir = folder.path().toStdString();
        options.autoReply = true;
        options.mqtt = ParseBrokerUrl(broker.Url());
        WindowScript script;
        const auto window = OpenWindow(options, script);
        const std::uint16_t port = Listen(*window);
        QVERIFY(port != 0);
        const auto notice = [&window] {
            return Find<QLabel>(*window, "IDC_NOTICES")->toolTip().toStdString();
        };
        UdpPeer device = UdpPeer::BindLoopback();
        for (int i = 0; i < kRecords; ++i) {
            device.SendTo(port, "#ST,123;N:" + std::to_string(i) + ";#");
            QCOMPARE(device.Receive(5s).value_or(test::Datagram{}).bytes, std::string("@517"));
        }
        QTRY_VERIFY_WITH_TIMEOUT(notice().find("MQTT broker down since") != std::string::npos &&
                                     notice().find("1,000 records behind") != std::string::npos,
                                 kPatienceMs);

        QVERIFY(broker.Start());
        QTRY_VERIFY_WITH_TIMEOUT(notice().find("MQTT broker connected") != std::string::npos &&
                                     notice().find("records behind") == std::string::npos,
                                 kCatchUpMs);
        const auto published = subscriber.WaitFor(
            [](const std::vector<MqttMessage>& m) { return m.size() >= kRecords; }, 10s);
        QCOMPARE(published.size(), std::size_t{kRecords});
    }
};

}  // namespace tarnwick::windowtest

QTEST_MAIN(tarnwick::windowtest::WindowForwardingTest)
#include "window_forwarding_test.moc"
