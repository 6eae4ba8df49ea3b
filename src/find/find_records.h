#pragma once

// The search itself: the day files and archives of a log folder, read oldest day first, each
// entry that matches written out as it is read, so memory stays bounded however big the log.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "app/options.h"
#include "find/entry_filter.h"
#include "log/day_files.h"

namespace tarnwick {

struct FindResult {
    std::uint64_t found = 0;
    std::uint64_t files = 0;       // files read
    std::uint64_t passedOver = 0;  // lines and torn entries that were no log entry
    bool operator==(const FindResult&) const = default;
};

// out: where the lines go; complain: one line for a file that could not be read.
[[nodiscard]] FindResult FindRecords(const std::string& folder, Day today, FindQuery query,
                                     FindFormat format, std::FILE* out,
                                     const std::function<void(std::string_view)>& complain);

}  // namespace tarnwick
