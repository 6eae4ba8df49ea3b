#pragma once

// How much the log folder holds and how much room its file system has left, and the limit
// below which that is too little.

#include <cstdint>
#include <optional>
#include <string>

namespace tarnwick {

inline constexpr std::uint64_t kDefaultMinFree = 1ULL << 30;  // 1 GiB
inline constexpr std::uint64_t kDefaultMinFreePercent = 5;

struct LogSpace {
    bool measured = false;  // false until the first measure, or when the folder is not there
    std::uint64_t folderBytes = 0;  // every file in the folder and its year folders
    std::uint64_t freeBytes = 0;    // what an unprivileged writer may still use
    std::uint64_t totalBytes = 0;
    std::uint64_t minFree = 0;  // the limit in force
    [[nodiscard]] bool Low() const { return measured && freeBytes < minFree; }
    bool operator==(const LogSpace&) const = default;
};

// chosen: --min-free; without it 1 GiB, or 5 % of the file system when that is less.
[[nodiscard]] LogSpace MeasureLogSpace(const std::string& folder,
                                       std::optional<std::uint64_t> chosen);

// The free space only (statvfs alone), for a loop that frees it.
[[nodiscard]] std::optional<std::uint64_t> FreeBytesOf(const std::string& folder);

// "log folder DIR: 812.0 MiB free, below --min-free 1.0 GiB" while low; "log folder DIR: free
// space is back: ..." once it is not.
[[nodiscard]] std::string SpaceLowText(const std::string& folder, const LogSpace& space);
[[nodiscard]] std::string SpaceBackText(const std::string& folder, const LogSpace& space);

}  // namespace tarnwick
