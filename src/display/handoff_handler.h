#pragma once

// What the front end's thread does with each hand-off before it shows anything: the "@517"
// cut and the empty check for a device record, then the log entry. The window and the
// headless mode both call this; only the showing differs.

#include <optional>
#include <string>
#include <string_view>

#include "log/daily_log.h"
#include "log/log_health.h"
#include "net/engine_counters.h"
#include "net/recv_hand_off.h"

namespace tarnwick {

// Where "@517" and more than six characters after it stand in text, the text ends with the
// sixth character after "@517".
[[nodiscard]] std::string_view CutAfterReplyMarker(std::string_view text);

struct HandledRecord {
    RecvHandOff record;                     // as logged: after the cut for a text record
    LogWriteResult log;                     // how the log entry went
    std::optional<std::string> logReport;   // set when logging starts failing or recovers
};

class HandOffHandler {
public:
    HandOffHandler(DailyLog& log, EngineCounters& counters);

    // OnRecvText / OnRecvHex without the display. nullopt: a text record that the cut left
    // empty, dropped without a trace.
    [[nodiscard]] std::optional<HandledRecord> Handle(RecvHandOff handOff);

    [[nodiscard]] const LogHealth& Health() const { return m_health; }
    [[nodiscard]] DailyLog& Log() { return m_log; }

private:
    DailyLog& m_log;
    EngineCounters& m_counters;
    LogHealth m_health;
};

}  // namespace tarnwick
