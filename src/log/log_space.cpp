#include "log/log_space.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <filesystem>

#include "log/size_text.h"

namespace tarnwick {

LogSpace MeasureLogSpace(const std::string& folder, std::optional<std::uint64_t> chosen) {
    struct statvfs system {};
    if (statvfs(folder.c_str(), &system) != 0) {
        return {};
    }
    LogSpace space{.measured = true,
                   .freeBytes = static_cast<std::uint64_t>(system.f_bavail) * system.f_frsize,
                   .totalBytes = static_cast<std::uint64_t>(system.f_blocks) * system.f_frsize};
    space.minFree =
        chosen.value_or(std::min(kDefaultMinFree, space.totalBytes / 100 * kDefaultMinFreePercent));
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file(error)) {
            space.folderBytes += it->file_size(error);
        }
    }
    return space;
}

std::optional<std::uint64_t> FreeBytesOf(const std::string& folder) {
    struct statvfs system {};
    if (statvfs(folder.c_str(), &system) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(system.f_bavail) * system.f_frsize;
}

std::string SpaceLowText(const std::string& folder, const LogSpace& space) {
    return "log folder " + folder + ": " + SizeText(space.freeBytes) + " free, below --min-free " +
           SizeText(space.minFree);
}

std::string SpaceBackText(const std::string& folder, const LogSpace& space) {
    return "log folder " + folder + ": free space is back: " + SizeText(space.freeBytes) + " free";
}

}  // namespace tarnwick
