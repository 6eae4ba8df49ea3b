#pragma once

// A broker link to a fake broker, on a clock the test moves by hand, with all it reported to the
// operator and told its listener.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "forward/broker_link.h"
#include "support/fake_broker.h"

namespace tarnwick::test {

struct LinkRig final : LinkListener {
    static constexpr const char* kUrl = "mqtt://127.0.0.1:1883";

    LinkRig()
        : link(
              {kUrl, std::nullopt, "t/status", "offline", {"t/command/+", "t/hold/+"}},
              broker.Maker(), *this, [this](std::string line) { reports.push_back(line); }, [] {},
              Clock()) {}

    void Up() override { told.push_back("up"); }
    void Down() override { told.push_back("down"); }
    void Acked(int mid) override { told.push_back("acked " + std::to_string(mid)); }
    void Received(const std::string& topic, const std::string& /*payload*/,
                  bool /*retained*/) override {
        told.push_back("message " + topic);
    }

    // The test's clock; the wall clock stands at 0.
    [[nodiscard]] std::function<Moment()> Clock() {
        return [this] { return Moment{std::chrono::steady_clock::time_point(now), 0}; };
    }
    // The broker's event to the last connection made, then the link serves it.
    void Event(LinkEvent::Kind kind, std::string text = "", int mid = 0) {
        broker.Deliver(broker.Connections() - 1, {kind, mid, std::move(text)});
        link.Serve();
    }
    void Wait(std::chrono::milliseconds wait) {
        now += wait;
        link.Serve();
    }
    // A connection made and accepted.
    void Connect() {
        link.Serve();
        Event(LinkEvent::Kind::Connected);
    }

    FakeBroker broker;
    std::chrono::milliseconds now{0};
    std::vector<std::string> reports;
    std::vector<std::string> told;
    BrokerLink link;
};

}  // namespace tarnwick::test
