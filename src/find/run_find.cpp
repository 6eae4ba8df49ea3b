#include "find/run_find.h"

#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <string>

#include "app/session_options.h"
#include "find/find_records.h"

namespace tarnwick {
namespace {

void Say(std::string_view line) {
    std::fprintf(stderr, "tarnwick: %.*s\n", static_cast<int>(line.size()), line.data());
}

std::string SummaryOf(const FindResult& result) {
    std::string summary = "found " + std::to_string(result.found) + " entries in " +
                          std::to_string(result.files) + " files";
    if (result.passedOver > 0) {
        summary += "; passed over " + std::to_string(result.passedOver) +
                   " lines or torn entries that are no log entry";
    }
    return summary;
}

}  // namespace

int RunFind(const Options& options) {
    const std::string folder = LogFolderOf(options);
    struct stat status {};
    const auto today = DayOf(SystemLocalTime());
    if (stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) || !today) {
        Say("no log folder " + folder);
        return 1;
    }
    static std::array<char, 1 << 16> buffer;
    std::setvbuf(stdout, buffer.data(), _IOFBF, buffer.size());
    const FindQuery query{options.findFrom, options.findTo, options.findDevice, options.findGrep,
                          options.deviceKey};
    const FindResult result = FindRecords(folder, *today, query, options.findFormat, stdout, Say);
    std::fflush(stdout);
    Say(SummaryOf(result));
    return result.found > 0 ? 0 : 1;
}

}  // namespace tarnwick
