#include "forward/broker_link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "support/link_rig.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using test::LinkRig;
using Kind = LinkEvent::Kind;

const std::string kUrl = test::LinkRig::kUrl;

std::string Down(const std::string& reason) {
    return "MQTT broker down: " + kUrl + ": " + reason + "; retrying, records wait in the log";
}

const std::string kConnected = "MQTT broker connected: " + kUrl;
const std::string kBack = "MQTT broker back: " + kUrl + "; catching up from the log";
const std::string kDownSince = "MQTT broker down since ";  // and the outage's time

struct ReportRow {
    const char* proves;
    std::function<void(LinkRig&)> steps;
    std::vector<std::string> reports;
    std::string state;
};

TEST(BrokerLinkTest, TheOperatorHearsOfEachOutageOnceWithItsFirstReason) {
    const std::vector<ReportRow> rows = {
        {"before any connection", [](LinkRig&) {}, {}, "MQTT broker: connecting"},
        {"the first connection",
         [](LinkRig& rig) { rig.Connect(); },
         {kConnected},
         "MQTT broker connected"},
        {"lost and back",
         [](LinkRig& rig) {
             rig.Connect();
             rig.Event(Kind::Lost, "The connection was lost.");
             rig.Wait(1s);
             rig.Event(Kind::Connected);
         },
         {kConnected, Down("The connection was lost"), kBack},
         "MQTT broker connected"},
        {"one outage of several failures is said once",
         [](LinkRig& rig) {
             rig.Connect();
             rig.Event(Kind::Lost, "first");
             rig.Wait(1s);
             rig.Event(Kind::Refused, "not authorised");
             rig.Wait(2s);
             rig.Wait(10s);  // no answer
         },
         {kConnected, Down("first")},
         kDownSince},
        {"refused at the first connection",
         [](LinkRig& rig) {
             rig.link.Serve();
             rig.Event(Kind::Refused, "not authorised");
         },
         {Down("refused: not authorised")},
         kDownSince},
        {"no answer in time",
         [](LinkRig& rig) {
             rig.link.Serve();
             rig.Wait(10s);
         },
         {Down("no answer within 10 s")},
         kDownSince},
        {"the connection's own words first",
         [](LinkRig& rig) {
             rig.broker.SetLastError("certificate verify failed.");
             rig.link.Serve();
             rig.Event(Kind::Lost, "Unknown error.");
         },
         {Down("certificate verify failed")},
         kDownSince},
        {"a connection that cannot even start",
         [](LinkRig& rig) {
             rig.broker.FailStarts("Lookup error.");
             rig.link.Serve();
         },
         {Down("Lookup error")},
         kDownSince},
        {"a publish refused",
         [](LinkRig& rig) {
             rig.Connect();
             rig.broker.RefusePublishing(true);
             EXPECT_FALSE(rig.link.Publish("t/x", "1", false).has_value());
         },
         {kConnected, Down("publish refused")},
         kDownSince},
    };
    for (const ReportRow& row : rows) {
        SCOPED_TRACE(row.proves);
        LinkRig rig;
        row.steps(rig);
        EXPECT_EQ(rig.reports, row.reports);
        const std::string state = rig.link.StateText();
        if (row.state == kDownSince) {
            EXPECT_TRUE(state.starts_with(kDownSince)) << state;
            EXPECT_EQ(state.size(), kDownSince.size() + 8) << state;  // HH:MM:SS
        } else {
            EXPECT_EQ(state, row.state);
        }
    }
}

TEST(BrokerLinkTest, TheBackOffDoublesUpToFourSecondsAndStartsAgainOnceConnected) {
    LinkRig rig;
    rig.broker.FailStarts("no route");
    std::vector<std::chrono::milliseconds> attempts;
    rig.link.Serve();
    for (std::size_t made = 0; rig.now < 20s; rig.Wait(500ms)) {
        if (rig.broker.Connections() > made) {
            made = rig.broker.Connections();
            attempts.push_back(rig.now);
        }
    }
    // A broker back is tried within 4 s: forwarding resumes within 5 s of its return.
    const std::vector<std::chrono::milliseconds> wanted = {0s, 1s, 3s, 7s, 11s, 15s, 19s};
    EXPECT_EQ(attempts, wanted);

    rig.broker.FailStarts("");
    rig.Wait(30s);
    rig.Event(Kind::Connected);
    ASSERT_TRUE(rig.link.Up());
    rig.Event(Kind::Lost, "gone");
    const std::size_t made = rig.broker.Connections();
    rig.Wait(999ms);
    EXPECT_EQ(rig.broker.Connections(), made);
    rig.Wait(1ms);
    EXPECT_EQ(rig.broker.Connections(), made + 1) << "1 s after a connection that was up";
}

TEST(BrokerLinkTest, EventsOfAConnectionThrownAwayAreStale) {
    LinkRig rig;
    rig.Connect();
    EXPECT_EQ(rig.broker.Subscribed(0), (std::vector<std::string>{"t/command/+", "t/hold/+"}));
    rig.broker.Deliver(0, {Kind::Acked, 1});
    rig.broker.Deliver(0, {Kind::Lost, 0, "gone"});
    rig.broker.Deliver(0, {Kind::Acked, 2});  // queued after the loss, taken in the same round
    rig.link.Serve();
    EXPECT_FALSE(rig.broker.Open(0));
    EXPECT_FALSE(rig.link.Publish("t/x", "1", false).has_value()) << "nothing to publish on";

    rig.Wait(1s);
    rig.Event(Kind::Connected);
    rig.broker.Deliver(0, {Kind::Acked, 3});
    rig.broker.Deliver(0, {Kind::Lost, 0, "late"});
    rig.broker.Deliver(0, {Kind::Message, 0, "t/command/u", "GO"});
    rig.link.Serve();
    EXPECT_TRUE(rig.link.Up());
    EXPECT_EQ(rig.told, (std::vector<std::string>{"up", "acked 1", "down", "up"}));
    EXPECT_EQ(rig.link.Publish("t/x", "1", false), 1) << "the new connection's first mid";
    EXPECT_TRUE(rig.broker.Open(1));
}

}  // namespace
}  // namespace tarnwick
