#include "app/window/status_line.h"

namespace tarnwick {
namespace {

void AppendNotice(std::string& notices, std::string_view notice) {
    if (notice.empty()) {
        return;
    }
    if (!notices.empty()) {
        notices += "; ";
    }
    notices += notice;
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

std::string NoticesText(const StatusFacts& facts) {
    std::string notices;
    AppendNotice(notices, facts.logFailure);
    AppendNotice(notices, facts.listenNotice);
    if (facts.recordsLeftView > 0) {
        AppendNotice(notices, GroupedDigits(facts.recordsLeftView) +
                                  (facts.recordsLeftView == 1 ? " record" : " records") +
                                  " left the view (limit " + GroupedDigits(facts.maxRecords) + ")");
    }
    return notices;
}

std::string CountersText(const CounterSnapshot& c) {
    return "received " + GroupedDigits(c.received) + ", records " + GroupedDigits(c.records) +
           ", dropped " + GroupedDigits(Dropped(c)) + ", replies " + GroupedDigits(c.replies) +
           ", logged " + GroupedDigits(c.logged) + ", not logged " + GroupedDigits(c.notLogged) +
           " (not answered " + GroupedDigits(c.notAnswered) + "), kernel drops " +
           GroupedDigits(c.kernelDrops);
}

std::string StatusLineText(const StatusFacts& facts) {
    const std::string notices = NoticesText(facts);
    const std::string counters = CountersText(facts.counters);
    return notices.empty() ? counters : notices + "; " + counters;
}

std::string ListenNotice(std::string_view typed, std::uint16_t bound) {
    const std::string port = std::to_string(bound);
    return typed == port ? std::string() : "listening on UDP port " + port;
}

}  // namespace tarnwick
