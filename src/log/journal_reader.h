#pragma once

// The command journal read back at a start: the commands its lines leave open (held, and not
// settled since), and how long each may still wait, measured as a wall-clock step cannot
// move it.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "log/command_entry.h"
#include "log/time_text.h"

namespace tarnwick {

// A command still open: its first line, and the latest line that said how long it had left.
struct OpenCommand {
    CommandEntry given;  // key, source and text as it was held
    CommandEntry lastClock;
    bool sending = false;  // the centre stopped between "sending" and what came of it
    bool operator==(const OpenCommand&) const = default;
};

struct JournalRead {
    std::vector<OpenCommand> open;      // in the order they were held
    std::vector<CommandEntry> settled;  // the last state of each settled command, oldest first
    std::uint64_t lastId = 0;  // the highest id on record: new commands are numbered after it
};

// The files of folder named by names (oldest first); lines torn or not the journal's are
// passed over.
[[nodiscard]] JournalRead ReadJournal(const std::string& folder,
                                      const std::vector<std::string>& names);

// A command as its lines leave it: when it was given, and the last line said of it.
struct CommandOnRecord {
    std::time_t givenAt = 0;
    CommandEntry last;
    bool operator==(const CommandOnRecord&) const = default;
};

// The newest most commands in the files of folder named by names (oldest first) whose source
// begins with sourceStart, oldest first.
[[nodiscard]] std::vector<CommandOnRecord> CommandsFrom(const std::string& folder,
                                                        const std::vector<std::string>& names,
                                                        std::string_view sourceStart,
                                                        std::size_t most);

// Seconds the command of lastClock may still wait, at now: measured on the clock since boot
// when both are of one boot, on the wall clock otherwise; never more than it had left then.
[[nodiscard]] std::int64_t SecondsLeft(const CommandEntry& lastClock, std::time_t now,
                                       const HoldClock& clockNow);

// This system's boot id and seconds since its boot, with leftSeconds 0.
[[nodiscard]] HoldClock SystemHoldClock();

}  // namespace tarnwick
