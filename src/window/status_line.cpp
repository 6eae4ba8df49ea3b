#include "window/status_line.h"

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

std::string NoticesText(const StatusFacts& facts) {
    std::string notices;
    AppendNotice(notices, facts.logFailure);
    AppendNotice(notices, facts.spaceNotice);
    AppendNotice(notices, facts.listenNotice);
    AppendNotice(notices, facts.brokerNotice);
    if (facts.recordsLeftView > 0) {
        AppendNotice(notices, GroupedDigits(facts.recordsLeftView) +
                                  (facts.recordsLeftView == 1 ? " record" : " records") +
                                  " left the view (limit " + GroupedDigits(facts.maxRecords) + ")");
    }
    return notices;
}

std::string StatusLineText(const StatusFacts& facts) {
    const std::string notices = NoticesText(facts);
    const std::string counters = FormatCounters(facts.counters, CounterForm::Brief);
    return notices.empty() ? counters : notices + "; " + counters;
}

std::string ListenNotice(std::string_view typed, const ListenPlace& bound) {
    const std::string port = std::to_string(bound.port);
    std::string notices = typed == port ? std::string() : "listening on UDP port " + port;
    AppendNotice(notices, ReachNotice(bound));
    return notices;
}

}  // namespace tarnwick
