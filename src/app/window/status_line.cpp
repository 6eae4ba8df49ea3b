#include "app/window/status_line.h"

namespace tarnwick {
namespace {

void AppendNotice(std::string& line, std::string_view notice) {
    if (!notice.empty()) {
        line += notice;
        line += "; ";
    }
}

}  // namespace

std::string GroupedDigits(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            grouped += ',';
        }
        grouped += digits[i];
    }
    return grouped;
}

std::string StatusLineText(const StatusFacts& facts) {
    std::string line;
    AppendNotice(line, facts.logFailure);
    AppendNotice(line, facts.listenNotice);
    if (facts.recordsLeftView > 0) {
        AppendNotice(line, GroupedDigits(facts.recordsLeftView) +
                               (facts.recordsLeftView == 1 ? " record" : " records") +
                               " left the view (limit " + GroupedDigits(facts.maxRecords) + ")");
    }
    const CounterSnapshot& c = facts.counters;
    line += "received " + GroupedDigits(c.received) + ", records " + GroupedDigits(c.records) +
            ", dropped " + GroupedDigits(c.Dropped()) + ", replies " + GroupedDigits(c.replies) +
            ", logged " + GroupedDigits(c.logged) + ", kernel drops " +
            GroupedDigits(c.kernelDrops);
    return line;
}

std::string ListenNotice(std::string_view typed, std::uint16_t bound) {
    const std::string port = std::to_string(bound);
    return typed == port ? std::string() : "listening on UDP port " + port;
}

}  // namespace tarnwick
