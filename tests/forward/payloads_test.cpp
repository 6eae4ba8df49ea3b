#include "forward/payloads.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

namespace tarnwick {
namespace {

TEST(PayloadsTest, AKeyIsOneTopicLevelWhateverItHolds) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"10.0.0.1:5000", "10.0.0.1:5000"},
        {"a/b", "a%2Fb"},
        {"+", "%2B"},
        {"#", "%23"},
        {"100%", "100%25"},
        {"sp ace", "sp%20ace"},
        {std::string("nul\0x", 5), "nul%00x"},
        {"\x1F\x7F\x80\xFF", "%1F%7F%80%FF"},
        {"!~", "!~"},
        {"", ""},
    };
    for (const auto& [key, level] : rows) {
        EXPECT_EQ(TopicKey(key), level);
    }
}

TEST(PayloadsTest, HexTextBecomesItsBytesOneBlankApart) {
    LogEntry entry{.time = "2026-01-02 03:04:05",
                   .address = "1.2.3.4",
                   .port = 5,
                   .hex = true,
                   .text = "41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 51 ",
                   .end = 0};
    const nlohmann::json payload = nlohmann::json::parse(HexPayload(entry));
    EXPECT_EQ(payload.at("hex"), "41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 51");
    EXPECT_EQ(payload.at("port"), 5);
    EXPECT_TRUE(payload.at("time").get<std::string>().starts_with("2026-01-02T03:04:05"));
}

}  // namespace
}  // namespace tarnwick
