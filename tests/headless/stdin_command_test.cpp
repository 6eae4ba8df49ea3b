#include "headless/stdin_command.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarnwick {
namespace {

struct StdinLineRow {
    const char* proves;
    std::string_view line;
    StdinLine parsed;
};

constexpr auto kText = CommandMode::Text;
constexpr auto kHex = CommandMode::Hex;

StdinLine Plain(std::string_view text, std::string_view buffer, CommandMode mode = kText) {
    return {StdinTarget::Newest, {}, text, {buffer, mode}};
}

TEST(StdinLineTest, TellsAddressedAndHeldCommandsFromPlainOnes) {
    const std::vector<StdinLineRow> rows = {
        {"a plain line", "ABC", Plain("ABC", "ABC")},
        {"a plain hex line", "hex:38 38", Plain("hex:38 38", "38 38", kHex)},
        {"to a device now",
         "@4 HELLO WORLD",
         {StdinTarget::Device, "4", "HELLO WORLD", {"HELLO WORLD", kText}}},
        {"held for a device's next report",
         "@4+ HELLO",
         {StdinTarget::Held, "4", "HELLO", {"HELLO", kText}}},
        {"an address key, in hex",
         "@127.0.0.1:5000 hex:38 38",
         {StdinTarget::Device, "127.0.0.1:5000", "hex:38 38", {"38 38", kHex}}},
        {"an IPv6 key, its colons and brackets kept",
         "@[2001:db8::7]:5000+ HELLO",
         {StdinTarget::Held, "[2001:db8::7]:5000", "HELLO", {"HELLO", kText}}},
        {"held, in hex", "@4+ hex:38 38", {StdinTarget::Held, "4", "hex:38 38", {"38 38", kHex}}},
        {"an empty command to a device", "@4 ", {StdinTarget::Device, "4", "", {"", kText}}},
        {"an answer-like command without a blank stays plain", "@517", Plain("@517", "@517")},
        {"no key", "@ HELLO", Plain("@ HELLO", "@ HELLO")},
        {"no key, held", "@+ HELLO", Plain("@+ HELLO", "@+ HELLO")},
        {"two @ send a plain command beginning with one", "@@517 X", Plain("@517 X", "@517 X")},
        {"two @ and hex", "@@hex:38", Plain("@hex:38", "@hex:38")},
        {"an @ later in the line", "A @4 B", Plain("A @4 B", "A @4 B")},
        {"an empty line", "", Plain("", "")},
    };
    for (const StdinLineRow& row : rows) {
        EXPECT_EQ(ParseStdinLine(row.line), row.parsed) << row.proves;
    }
}

TEST(CommandBodyTest, HexPrefixTicksHex) {
    EXPECT_EQ(ParseCommandBody("hex:38 38"), (CommandBody{"38 38", CommandMode::Hex}));
    EXPECT_EQ(ParseCommandBody("ABC"), (CommandBody{"ABC", CommandMode::Text}));
    EXPECT_EQ(ParseCommandBody(" hex:38"), (CommandBody{" hex:38", CommandMode::Text}));
}

}  // namespace
}  // namespace tarnwick
