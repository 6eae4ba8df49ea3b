#include "forward/command_messages.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

struct CommandRow {
    const char* proves;
    std::string topic;
    std::string payload;
    std::optional<BrokerCommand> command;  // id empty: a digest, checked apart
};

TEST(CommandMessagesTest, ReadsTheTopicAndThePayload) {
    const std::vector<CommandRow> rows = {
        {"a plain command now", "fleet/command/unit7", "GO",
         BrokerCommand{false, "unit7", "", "GO"}},
        {"held, with its own id", "fleet/hold/unit7", R"({"id":"c-1","text":"hex:38"})",
         BrokerCommand{true, "unit7", "c-1", "hex:38"}},
        {"a number for an id", "fleet/hold/u", R"({"id":42,"text":"X"})",
         BrokerCommand{true, "u", "42", "X"}},
        {"escapes undone", "fleet/command/10.0.0.1:5%2F%25", "X",
         BrokerCommand{false, "10.0.0.1:5/%", "", "X"}},
        {"JSON without text, answered under its id", "fleet/command/u", R"({"id":"x"})",
         BrokerCommand{false, "u", "x", "", kRefusedInvalid}},
        {"a text that is no string is not sent as the literal payload", "fleet/hold/u",
         R"({"id":5,"text":7})", BrokerCommand{true, "u", "5", "", kRefusedInvalid}},
        {"an id that is neither text nor a whole number", "fleet/hold/u",
         R"({"id":[1],"text":"X"})", BrokerCommand{true, "u", "", "", kRefusedInvalid}},
        {"an LF: a device reads one line", "fleet/command/u", "GO\nRESET",
         BrokerCommand{false, "u", "", "GO\nRESET", kRefusedInvalid}},
        {"a NUL", "fleet/command/u", std::string("GO\0X", 4),
         BrokerCommand{false, "u", "", std::string("GO\0X", 4), kRefusedInvalid}},
        {"longer than a typed line", "fleet/command/u", std::string(1529, 'x'),
         BrokerCommand{false, "u", "", std::string(1529, 'x'), kRefusedTooLong}},
        {"as long as a typed line", "fleet/command/u", std::string(1528, 'x'),
         BrokerCommand{false, "u", "", std::string(1528, 'x')}},
        {"an empty text in JSON", "fleet/command/u", R"({"text":""})",
         BrokerCommand{false, "u", "", "", kRefusedInvalid}},
        {"an expiry in seconds since 1970", "fleet/command/u",
         R"({"id":"e","text":"GO","expires":1772892369})",
         BrokerCommand{false, "u", "e", "GO", {}, 1772892369}},
        {"an expiry that is no time", "fleet/command/u",
         R"({"id":"e","text":"GO","expires":"soon"})",
         BrokerCommand{false, "u", "e", "GO", kRefusedInvalid}},
        {"a key escaped where the centre would not", "fleet/command/dev%31", "X",
         BrokerCommand{false, "dev%31", "", "", kRefusedKey}},
        {"an escape in lower case", "fleet/command/a%2fb", "X",
         BrokerCommand{false, "a%2fb", "", "", kRefusedKey}},
        {"an empty payload sends nothing: it clears a retained message", "fleet/command/u", "",
         std::nullopt},
        {"another prefix", "other/command/u", "X", std::nullopt},
        {"a prefix that only begins the same", "fleetX/command/u", "X", std::nullopt},
        {"no key", "fleet/command/", "X", std::nullopt},
        {"a deeper topic", "fleet/command/u/v", "X", std::nullopt},
        {"our own results", "fleet/command-result/u", "X", std::nullopt},
    };
    for (const CommandRow& row : rows) {
        SCOPED_TRACE(row.proves);
        std::optional<BrokerCommand> command = CommandOf("fleet", row.topic, row.payload);
        ASSERT_EQ(command.has_value(), row.command.has_value());
        if (command && row.command->id.empty()) {
            EXPECT_EQ(command->id.size(), 16U);
            command->id.clear();
        }
        EXPECT_EQ(command, row.command);
    }
}

TEST(CommandMessagesTest, AnExpiryIsAnRfc3339TimeWithItsOffset) {
    const struct {
        const char* text;
        std::optional<std::time_t> at;
    } rows[] = {
        {"2026-03-07T14:06:09Z", 1772892369},          {"2026-03-07T15:06:09+01:00", 1772892369},
        {"2026-03-07t13:06:09.250-01:00", 1772892369}, {"2026-03-07 14:06:09Z", 1772892369},
        {"2026-03-07T14:06:09", std::nullopt},  // a local time says no moment
        {"2026-13-07T14:06:09Z", std::nullopt},        {"2026-03-07T14:06:09Z junk", std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ExpiryOf(row.text), row.at) << row.text;
    }
}

TEST(CommandMessagesTest, APlainCommandsIdIsTheSameOnEveryCentreAndApartForAnother) {
    const auto id = [](const char* topic, const char* payload) {
        return CommandOf("fleet", topic, payload).value().id;
    };
    EXPECT_EQ(id("fleet/hold/u", "GO"), id("fleet/hold/u", "GO"));
    EXPECT_NE(id("fleet/hold/u", "GO"), id("fleet/hold/v", "GO"));
    EXPECT_NE(id("fleet/hold/u", "GO"), id("fleet/hold/u", "GO!"));
}

TEST(CommandMessagesTest, OnlyAnotherCentresSentResultDropsACopy) {
    const struct {
        const char* proves;
        std::string topic;
        std::string payload;
        std::optional<SentCommand> sent;
    } rows[] = {
        {"sent", "fleet/command-result/u%2F1", R"({"id":"c-1","state":"sent","text":"X"})",
         SentCommand{"u/1", "c-1"}},
        {"held drops nothing", "fleet/command-result/u", R"({"id":"c-1","state":"held"})",
         std::nullopt},
        {"no id", "fleet/command-result/u", R"({"state":"sent"})", std::nullopt},
        {"not JSON", "fleet/command-result/u", "sent", std::nullopt},
        {"a command, not a result", "fleet/hold/u", R"({"id":"c-1","state":"sent"})", std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(SentCommandOf("fleet", row.topic, row.payload), row.sent) << row.proves;
    }
}

}  // namespace
}  // namespace tarnwick
