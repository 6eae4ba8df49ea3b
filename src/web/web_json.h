#pragma once

// The API's objects in JSON: a device, a command, as the operator page and scripts read them.
// Times as the log writes them, local, each with a "...Epoch" twin in seconds.

#include <nlohmann/json.hpp>

#include <ctime>
#include <string>
#include <string_view>

#include "session/device_table.h"

namespace tarnwick {

// "2026-12-09 14:05:03", local; empty for no time (0).
[[nodiscard]] std::string TimeText(std::time_t t);

// Sets name (the time text) and name + "Epoch" (seconds; 0 for none) in object.
void PutTime(nlohmann::json& object, const std::string& name, std::time_t t);

// DEVICE: key, address, port, firstHeard, lastHeard, records, latestRecord, commandsHeld,
// commandsSent, latestCommand, latestCommandAt, silent.
[[nodiscard]] nlohmann::json DeviceJson(const DeviceRow& row);

// The state of a held command as the lists say it: "waiting", "sent", "expired", "cancelled",
// "sent by another centre", "not sent".
[[nodiscard]] std::string_view HeldStateWord(HeldState state);

// COMMAND: id, key, text, state, heldSince, at (sent, expired or cancelled at), why.
[[nodiscard]] nlohmann::json CommandJson(const HeldCommand& command);

// JSON text of any bytes: what is no UTF-8 is replaced, never refused, since a record or a key
// holds whatever bytes a device sent.
[[nodiscard]] std::string JsonText(const nlohmann::json& value);

}  // namespace tarnwick
