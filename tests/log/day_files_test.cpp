#include "log/day_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/calendar.h"
#include "support/temp_folder.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

// 8 December 2026: last year's files of days after it still lie in the folder itself.
LocalTime December8() {
    return test::TmOf(2026, 12, 8, 12);
}

class DayFilesTest : public ::testing::Test {
protected:
    void Make(const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            fs::create_directories(fs::path(m_temp.PathOf(name)).parent_path());
            test::WriteFile(m_temp.PathOf(name), "x");
        }
    }

    test::TempFolder m_temp;
    DayFiles m_files{m_temp.Path(), December8};
};

TEST_F(DayFilesTest, TheNextFileRunsThroughTheYearFoldersInTimeOrder) {
    Make({"2024/Data_logs_1230.txt", "2025/Data_logs_0101.txt.gz", "2025/Data_logs_0102.txt",
          "2025/Data_logs_1208.txt", "Data_logs_1209.txt", "Data_logs_0101.txt",
          "Data_logs_1208.txt", "2025/notes.txt", "Data_logs_1207.txt.gz"});
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"2024/Data_logs_1230.txt", "2025/Data_logs_0102.txt"},  // a compressed day is no read
        {"2025/Data_logs_0102.txt", "2025/Data_logs_1208.txt"},
        {"2025/Data_logs_1208.txt", "Data_logs_1209.txt"},  // last year's, not yet moved
        {"Data_logs_1209.txt", "Data_logs_0101.txt"},
        {"Data_logs_0101.txt", "Data_logs_1208.txt"},
        {"Data_logs_1208.txt", ""},  // today's
        {"no day at all", "Data_logs_1208.txt"},
    };
    for (const auto& [file, next] : rows) {
        EXPECT_EQ(m_files.After(file), next) << file;
    }
}

TEST_F(DayFilesTest, TheListingHoldsEveryFileOfTheFamilyOldestFirst) {
    Make({"Data_logs_1208.txt", "2025/Data_logs_1208.txt.gz", "2025/Data_logs_1208.txt",
          "Data_logs_1209.txt", "Data_logs_0230.txt", "2031/Data_logs_0101.txt"});
    std::vector<std::string> names;
    for (const DayFile& file : ListDayFiles(m_temp.Path(), kDayLogFamily, *DayOf(December8()))) {
        names.push_back(file.name);
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"2025/Data_logs_1208.txt", "2025/Data_logs_1208.txt.gz",
                                        "Data_logs_1209.txt", "Data_logs_1208.txt"}));
}

TEST(StartOfDayTest, ADayMoreThanAYearBackIsInItsYearFolder) {
    const std::vector<std::pair<const char*, const char*>> rows = {
        {"2026-12-08 00:00:00", "Data_logs_1208.txt"},
        {"2025-12-09 00:00:00", "Data_logs_1209.txt"},
        {"2025-12-08 14:00:00", "2025/Data_logs_1208.txt"},
        {"2019-02-28 00:00:00", "2019/Data_logs_0228.txt"},
    };
    for (const auto& [time, file] : rows) {
        EXPECT_EQ(StartOfDay(time, December8), (LogPosition{file, 0})) << time;
    }
}

}  // namespace
}  // namespace tarnwick
