#pragma once

// One year per day file: a file whose entries are of a year before the day its name now stands
// for moves into the folder of their year, "2025/Data_logs_1208.txt", before this year's first
// entry of that day would go into it. The move is one rename within the log folder's file
// system, so a centre killed at any step leaves the file either in its place (perhaps beside an
// empty year folder) or moved, never both or neither; the next look finishes the job.

#include <optional>
#include <string>
#include <string_view>

#include "log/append_file.h"

namespace tarnwick {

// The year of the entry that text begins with (yearAfter, then YYYY: "-->YYYY-..."); nothing
// when it begins with none.
[[nodiscard]] std::optional<int> HeaderYear(std::string_view text, std::string_view yearAfter);
// The year of an open day file's entries, from its first line; nothing when it does not begin
// with an entry.
[[nodiscard]] std::optional<int> EntriesYear(int fd, std::string_view yearAfter);

struct YearMove {
    int error = 0;   // an errno value or one of append_file.h's codes; 0 when moved or kept
    std::string to;  // the path it went to; empty when it stayed
    bool operator==(const YearMove&) const = default;
};

// Moves path into its entries' year folder when they are of a year before `year`, under the
// log's lock (waited for as keepWaiting says). A missing file, or one that does not begin with
// an entry (yearAfter and a year), stays. Never replaces a file already in the year folder
// (EEXIST).
[[nodiscard]] YearMove SetAsideEarlierYear(const std::string& path, int year,
                                           const KeepWaiting& keepWaiting,
                                           std::string_view yearAfter);

}  // namespace tarnwick
