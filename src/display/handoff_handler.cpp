#include "display/handoff_handler.h"

#include <algorithm>

namespace tarnwick {
namespace {

constexpr std::string_view kReplyMarker = "@517";
constexpr std::size_t kKeptFromMarker = 10;  // "@517" and six characters after it

}  // namespace

std::string_view CutAfterReplyMarker(std::string_view text) {
    const auto p = text.find(kReplyMarker);
    if (p != std::string_view::npos && text.size() - p > kKeptFromMarker) {
        return text.substr(0, p + kKeptFromMarker);
    }
    return text;
}

HandOffHandler::HandOffHandler(DailyLog& log, EngineCounters& counters)
    : m_log(log), m_counters(counters) {}

std::optional<HandledRecord> HandOffHandler::Handle(RecvHandOff handOff) {
    if (handOff.kind == HandOffKind::Text) {
        handOff.text.resize(CutAfterReplyMarker(handOff.text).size());
        if (handOff.text.empty()) {
            return std::nullopt;
        }
        // The cut may reach into the sender part; the rows must not read past it.
        handOff.sourceLength = std::min(handOff.sourceLength, handOff.text.size());
    }
    LogWriteResult log = m_log.Append(handOff.text);
    Bump(log.ok() ? m_counters.logged : m_counters.logMissed);
    auto report = m_health.Record(log);
    return HandledRecord{std::move(handOff), std::move(log), std::move(report)};
}

}  // namespace tarnwick
