#include "forward/recalled_commands.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "forward/broker_url.h"
#include "log/journal_files.h"
#include "log/journal_reader.h"
#include "session/device_table.h"

namespace tarnwick {
namespace {

bool Open(std::string_view state) {
    return state == command_state::kHeld || state == command_state::kRestored;
}

// A journal state as a result says it: its word without the reason ("not sent", "unknown").
std::string ResultStateOf(std::string_view state) {
    if (state == command_state::kSending) {
        state = command_state::kUnknown;
    } else if (Open(state)) {
        return "held";
    }
    return std::string(state.substr(0, state.find(':')));
}

}  // namespace

void RecallBrokerCommands(CommandLedger& ledger, const ForwardSettings& settings,
                          const Moment& now) {
    const std::string sourceStart = FromBroker(BrokerUrlText(settings.url), "");
    for (const CommandOnRecord& recorded :
         CommandsFrom(settings.logFolder, JournalNamesWithin(now.wall, settings.holdFor),
                      sourceStart, CommandLedger::kMostIds)) {
        const CommandEntry& last = recorded.last;
        const auto age =
            std::chrono::seconds(std::max<std::time_t>(now.wall - recorded.givenAt, 0));
        if (last.state.starts_with(command_state::kRefused) || age >= settings.holdFor) {
            continue;
        }
        const bool open = Open(last.state);
        const BrokerCommand command{open, last.key, last.source.substr(sourceStart.size()),
                                    last.text};
        ledger.Remember(command, ResultStateOf(last.state), open ? last.id : 0,
                        last.state == command_state::kSentElsewhere, now.steady - age);
    }
}

}  // namespace tarnwick
