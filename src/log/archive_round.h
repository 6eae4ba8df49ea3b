#pragma once

// One round of the log folder's upkeep: a file of an earlier year that is still under its plain
// name goes to its year folder, old day files are compressed, older ones deleted, and while
// space is short the oldest forwarded ones go first. Nothing the forwarder still needs is
// compressed or deleted, nothing another program holds locked is touched, and neither today's
// nor yesterday's file (which the log may still be writing) ever is. Every action and every
// refusal is said in one line.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>

#include "log/day_files.h"
#include "log/log_position.h"

namespace tarnwick {

struct ArchiveRules {
    std::optional<int> compressAfterDays;  // none: never
    std::optional<int> deleteAfterDays;    // none: never
    bool deleteUnforwarded = false;
    // The days before today whose command journal a start reads back (JournalDaysWithin
    // --hold-for): their files stay as they are.
    int startReadsDays = 0;
    bool operator==(const ArchiveRules&) const = default;
};

// A family of files that roll daily in the log folder, whether the forwarder reads it, and
// whether a start does (ArchiveRules::startReadsDays).
struct ArchivedFamily {
    FileFamily family;
    bool forwarded = false;
    bool readAtStart = false;
};

// Every family the upkeep looks after: a new daily family joins by a row here.
[[nodiscard]] std::span<const ArchivedFamily> ArchivedFamilies();

// How far the broker has acknowledged the day log; nothing when no forwarder ever kept a
// position in the folder (then nothing waits for one).
using ForwardedReach = std::function<std::optional<LogPosition>()>;
using UpkeepReport = std::function<void(std::string line)>;

struct UpkeepContext {
    std::string folder;
    ArchiveRules rules;
    ForwardedReach forwarded;
    UpkeepReport report;
    std::stop_token stop;  // a round ends between two files once it is asked to
};

// Every entry of file was acknowledged by the broker, as far as reach says.
[[nodiscard]] bool IsForwarded(const std::string& folder, const DayFile& file,
                               const std::optional<LogPosition>& reach, Day today);

void RunArchiveRound(const UpkeepContext& context, Day today);

// With deleteAfterDays: deletes forwarded files, oldest first, while stillShort says so.
void FreeLogSpace(const UpkeepContext& context, Day today, const std::function<bool()>& stillShort);

}  // namespace tarnwick
