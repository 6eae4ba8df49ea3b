#include "forward/state_publisher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>

#include "support/link_rig.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

// The device topics published on one connection.
std::set<std::string> DevicesOn(const test::FakeBroker& broker, std::size_t connection) {
    std::set<std::string> topics;
    for (const test::FakePublish& message : broker.Published()) {
        if (message.connection == connection && message.topic.starts_with("t/device/")) {
            topics.insert(message.topic);
        }
    }
    return topics;
}

TEST(StatePublisherTest, DevicesDueWhenAPublishIsRefusedGoOutOnTheNextConnection) {
    test::LinkRig rig;
    ForwardSettings settings;
    settings.topic = "t";
    const auto device = [](const std::string& key) {
        DeviceRow row;
        row.key = key;
        return std::optional(row);
    };
    StatePublisher states(settings, device, rig.link, rig.Clock());
    states.DeviceDue("a");
    states.DeviceDue("b");
    rig.Connect();
    rig.broker.RefusePublishing(true);
    EXPECT_FALSE(states.PublishDevicesDue());
    EXPECT_FALSE(rig.link.Up());

    rig.broker.RefusePublishing(false);
    rig.Wait(1s);
    rig.Event(LinkEvent::Kind::Connected);
    EXPECT_TRUE(states.PublishDevicesDue());
    EXPECT_EQ(DevicesOn(rig.broker, 1), (std::set<std::string>{"t/device/a", "t/device/b"}));
}

}  // namespace
}  // namespace tarnwick
