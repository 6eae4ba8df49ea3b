#pragma once

// The status line: what the operator must notice first (the log not being written, a port
// other than the one typed, records gone from the view), then the session's counters, so that
// nothing is lost uncounted.

#include <cstdint>
#include <string>
#include <string_view>

#include "net/udp_listener.h"
#include "session/counters.h"

namespace tarnwick {

struct StatusFacts {
    std::string_view logFailure;  // empty while the log is written
    std::string_view listenNotice;
    std::uint64_t recordsLeftView = 0;  // the oldest records the limit took off the view
    std::uint64_t maxRecords = 0;       // the live display's limit
    CounterSnapshot counters;
    std::string_view brokerNotice = {};  // --mqtt: the broker's state
    std::string_view spaceNotice = {};   // the log folder's disk, while its free space is low
};

// Each notice that applies, joined by "; "; empty when none does.
[[nodiscard]] std::string NoticesText(const StatusFacts& facts);

// The whole line: the notices, "; " and the counters.
[[nodiscard]] std::string StatusLineText(const StatusFacts& facts);

// What the notice line says when "Listen" is pressed with an empty "Port:".
inline constexpr std::string_view kNoPortNotice = "no port to listen on: type one in \"Port:\"";

// "listening on UDP port N" when the port bound is not the text typed (empty, "0", "abc"
// and the like bind a port the system picks), then the listener's ReachNotice, joined by "; ";
// empty when there is nothing to say.
[[nodiscard]] std::string ListenNotice(std::string_view typed, const ListenPlace& bound);

}  // namespace tarnwick
