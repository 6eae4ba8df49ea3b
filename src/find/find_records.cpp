#include "find/find_records.h"

#include <cstdio>
#include <vector>

#include "find/found_line.h"
#include "log/append_file.h"
#include "log/log_file_reader.h"

namespace tarnwick {
namespace {

std::string DayText(Day day) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(day.year()),
                  static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()));
    return text;
}

// A day's plain file and its archive side by side (a compression cut short): the plain file
// alone, or every entry would be found twice.
std::vector<DayFile> FilesToRead(const std::string& folder, Day today, const EntryFilter& filter) {
    std::vector<DayFile> files;
    for (DayFile& file : ListDayFiles(folder, kDayLogFamily, today)) {
        const bool twin = !files.empty() && files.back().day == file.day && file.compressed &&
                          !files.back().compressed;
        if (!twin && filter.DayInTime(DayText(file.day))) {
            files.push_back(std::move(file));
        }
    }
    return files;
}

}  // namespace

FindResult FindRecords(const std::string& folder, Day today, FindQuery query, FindFormat format,
                       std::FILE* out, const std::function<void(std::string_view)>& complain) {
    EntryFilter filter(std::move(query));
    FindResult result;
    std::fputs(FoundHeader(format).c_str(), out);
    for (const DayFile& file : FilesToRead(folder, today, filter)) {
        const std::string path = folder + "/" + file.name;
        const FileRead read = ReadLogFile(path, file.compressed, [&](const LogEntry& entry) {
            if (const auto key = filter.Match(entry)) {
                const std::string line = FoundLine(format, entry, *key);
                std::fwrite(line.data(), 1, line.size(), out);
                ++result.found;
            }
        });
        ++result.files;
        result.passedOver += read.passedOver;
        if (read.error != 0) {
            complain("cannot read " + path + ": " + AppendErrorText(read.error));
        }
    }
    return result;
}

}  // namespace tarnwick
