#include "log/recent_entries.h"

#include <algorithm>
#include <cstdint>

#include "log/log_tail.h"

namespace tarnwick {
namespace {

constexpr std::uint64_t kFirstStretch = 1 << 20;
constexpr std::uint64_t kLongestStretch = 32 << 20;

}  // namespace

std::vector<LogEntry> RecentEntries(const std::string& path,
                                    const std::function<bool(const LogEntry&)>& recent,
                                    std::size_t most, std::uint64_t end) {
    LogTail failed;
    const OpenLogFile file = OpenLogFile::Open(path, failed);
    if (!file.IsOpen()) {
        return {};
    }
    const std::uint64_t size = std::min(file.Read(0, 0).size, end);
    for (std::uint64_t stretch = kFirstStretch;; stretch *= 4) {
        // From within an entry, the parse passes over what comes before the next header.
        const std::uint64_t from = size - std::min(size, stretch);
        const LogTail tail = file.Read(from, static_cast<std::size_t>(size - from));
        if (tail.status != LogTail::Status::Read) {
            return {};
        }
        // Up to an entry's end, the last entry read is whole as well.
        const bool whole = tail.AtEnd(from) || from + tail.bytes.size() == end;
        std::vector<LogEntry> entries = ParseLogEntries(tail.bytes, from, whole).entries;
        const auto first = std::find_if(entries.begin(), entries.end(), recent);
        if (from == 0 || first != entries.begin() ||
            static_cast<std::size_t>(entries.end() - first) >= most || stretch >= kLongestStretch) {
            entries.erase(entries.begin(),
                          std::max(first, entries.end() - static_cast<std::ptrdiff_t>(
                                                              std::min(most, entries.size()))));
            return entries;
        }
    }
}

}  // namespace tarnwick
