#include "centre/device_event_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "command/command_composer.h"
#include "window/device_texts.h"

namespace tarnwick {
namespace {

using Kind = DeviceEvent::Kind;

// What a broker topic or a record's field can carry: a terminal's clear-screen, a NUL, and a
// CR LF that would start a line of its own on standard error.
const std::string kKey = std::string("A\x1B[2J") + '\0' + "\r\ntarnwick: forged";
constexpr const char* kShownKey = "A\\x1B[2J\\x00\\r\\ntarnwick: forged";
const std::string kCommand = "RESET\n\x1B";
constexpr const char* kShownCommand = "RESET\\n\\x1B";

std::string FirstMessage(const CommandReport& report) {
    return report.Messages().at(0).text;
}

TEST(OperatorTextTest, KeysAndCommandsFromOutsideShowTheirControlBytes) {
    const std::string key = kShownKey;
    const std::string command = kShownCommand;
    const std::string refused = std::strerror(ECONNREFUSED);
    const struct {
        const char* proves;
        std::string line;
        std::string shown;
    } rows[] = {
        {"a device gone silent", DeviceEventText({Kind::Silent, kKey, 0, ""}, 10),
         "device " + key + " silent"},
        {"a device forgotten", DeviceEventText({Kind::Forgotten, kKey, 0, ""}, 10),
         "device " + key + " forgotten (the table holds at most 10)"},
        {"a held command sent", DeviceEventText({Kind::Sent, kKey, 3, kCommand}, 10),
         "command 3 for " + key + " sent: " + command},
        {"a command the centre stopped while sending",
         DeviceEventText({Kind::Unknown, kKey, 6, kCommand}, 10),
         "command 6 for " + key + " unknown: the centre stopped while sending it: " + command},
        {"a copy sent by another centre",
         DeviceEventText({Kind::SentElsewhere, kKey, 4, kCommand}, 10),
         "command 4 for " + key + " sent by another centre: " + command},
        {"a held command not sent",
         DeviceEventText({Kind::SendFailed, kKey, 5, kCommand, ECONNREFUSED}, 10),
         "command 5 for " + key + " not sent: " + command + " (" + refused + ")"},
        {"no such device, for a broker's command",
         FirstMessage({.outcome = CommandOutcome::NoDevice, .key = kKey}), "no device " + key},
        {"a device with its commands full",
         FirstMessage(
             {.outcome = CommandOutcome::HeldFull, .key = kKey, .held = 2, .text = kCommand}),
         "device " + key + " has 2 commands held; not held: " + command},
        {"keys not heard yet full",
         FirstMessage(
             {.outcome = CommandOutcome::KeysFull, .key = kKey, .held = 7, .text = kCommand}),
         "commands wait for 7 devices not heard yet; not held for " + key + ": " + command},
        {"the window's chosen device forgotten", DeviceForgottenNotice(kKey).text,
         "The device " + key + " is no longer known. Nothing was held."},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.line, row.shown) << row.proves;
    }
}

}  // namespace
}  // namespace tarnwick
