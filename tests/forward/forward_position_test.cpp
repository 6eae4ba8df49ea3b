#include "forward/forward_position.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace tarnwick {
namespace {

struct LoadRow {
    const char* proves;
    std::optional<std::string> file;  // the position file's bytes; nothing: no file
    std::optional<LogPosition> position;
};

TEST(LogPositionTest, OnlyAPositionThatReadsBackWholeIsLoaded) {
    const std::vector<LoadRow> rows = {
        {"as saved", "Data_logs_1208.txt 1234\n", LogPosition{"Data_logs_1208.txt", 1234}},
        {"no file", std::nullopt, std::nullopt},
        {"empty", "", std::nullopt},
        {"garbage", "\x01\x02 zz\n", std::nullopt},
        {"no offset", "Data_logs_1208.txt\n", std::nullopt},
        {"an offset that is no number", "Data_logs_1208.txt 12ab\n", std::nullopt},
        {"a negative offset", "Data_logs_1208.txt -5\n", std::nullopt},
        {"an offset beyond 64 bits", "Data_logs_1208.txt 18446744073709551616\n", std::nullopt},
        {"a '/' in the name: outside the folder", "../Data_logs_1208.txt 5\n", std::nullopt},
        {"a day file in its year folder", "2025/Data_logs_1208.txt 5\n",
         LogPosition{"2025/Data_logs_1208.txt", 5}},
    };
    for (const LoadRow& row : rows) {
        SCOPED_TRACE(row.proves);
        const test::TempFolder folder;
        if (row.file) {
            test::WriteFile(folder.PathOf(kPositionFileName), *row.file);
        }
        EXPECT_EQ(LoadPosition(folder.Path()), row.position);
    }
}

TEST(LogPositionTest, ASavedPositionReplacesTheLastAndAFailedSaveSaysWhy) {
    const test::TempFolder folder;
    ASSERT_EQ(SavePosition(folder.Path(), {"Data_logs_1208.txt", 99}), 0);
    ASSERT_EQ(SavePosition(folder.Path(), {"Data_logs_1209.txt", 7}), 0);
    EXPECT_EQ(LoadPosition(folder.Path()), (LogPosition{"Data_logs_1209.txt", 7}));
    EXPECT_EQ(SavePosition(folder.PathOf("missing"), {"Data_logs_1209.txt", 7}), ENOENT);
}

}  // namespace
}  // namespace tarnwick
