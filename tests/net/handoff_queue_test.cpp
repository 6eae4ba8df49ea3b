#include "net/handoff_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <stop_token>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

RecvHandOff HandOff(HandOffKind kind, std::string text) {
    return RecvHandOff(kind, std::move(text), 0, 0);
}

std::vector<std::string> Texts(const std::vector<RecvHandOff>& handOffs) {
    std::vector<std::string> texts;
    for (const auto& h : handOffs) {
        texts.push_back((h.kind == HandOffKind::Hex ? "hex " : "text ") + h.text);
    }
    return texts;
}

TEST(HandOffQueueTest, KeepsOrderAndWakesOncePerBatch) {
    int wakes = 0;
    HandOffQueue queue([&wakes] { ++wakes; });
    std::vector<RecvHandOff> out;
    EXPECT_TRUE(queue.Push(HandOff(HandOffKind::Text, "a"), {}));
    EXPECT_TRUE(queue.Push(HandOff(HandOffKind::Hex, "b"), {}));
    EXPECT_TRUE(queue.Push(HandOff(HandOffKind::Text, "c"), {}));
    EXPECT_EQ(wakes, 1);
    queue.DrainInto(out);
    EXPECT_TRUE(queue.Push(HandOff(HandOffKind::Hex, "d"), {}));
    EXPECT_EQ(wakes, 2);
    queue.DrainInto(out);  // appends to what out already holds
    EXPECT_EQ(Texts(out), (std::vector<std::string>{"text a", "hex b", "text c", "hex d"}));
}

struct FullRow {
    const char* proves;
    bool stop;  // release the blocked push by a stop request, else by draining
    std::vector<std::string> drained;
};

TEST(HandOffQueueTest, AFullQueueBlocksPushUntilDrainedOrStopped) {
    const std::vector<FullRow> rows = {
        {"draining frees space", false, {"text a", "text b"}},
        {"a stop request drops the blocked hand-off", true, {"text a"}},
    };
    for (const auto& row : rows) {
        HandOffQueue queue(nullptr, 1);
        std::stop_source stop;
        ASSERT_TRUE(queue.Push(HandOff(HandOffKind::Text, "a"), stop.get_token()));
        auto blocked = std::async(std::launch::async, [&] {
            return queue.Push(HandOff(HandOffKind::Text, "b"), stop.get_token());
        });
        EXPECT_EQ(blocked.wait_for(20ms), std::future_status::timeout) << row.proves;
        std::vector<RecvHandOff> out;
        if (row.stop) {
            stop.request_stop();
        } else {
            queue.DrainInto(out);
        }
        ASSERT_EQ(blocked.wait_for(1s), std::future_status::ready) << row.proves;
        EXPECT_EQ(blocked.get(), !row.stop) << row.proves;
        queue.DrainInto(out);
        EXPECT_EQ(Texts(out), row.drained) << row.proves;
    }
}

}  // namespace
}  // namespace tarnwick
