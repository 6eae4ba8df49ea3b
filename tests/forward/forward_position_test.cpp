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
    std::string corrupt;  // why it does not read back, when it is there and does not
};

const LogPosition kKnown{"Data_logs_1208.txt", 1234, {2049, 77}, 1200, "2026-12-08 10:11:12"};

TEST(LogPositionTest, OnlyAPositionThatReadsBackWholeIsLoaded) {
    const std::vector<LoadRow> rows = {
        {"as saved before identities", "Data_logs_1208.txt 1234\n",
         LogPosition{"Data_logs_1208.txt", 1234}, ""},
        {"with the file's identity and the entry at the offset",
         "Data_logs_1208.txt 1234 2049 77 1200 2026-12-08 10:11:12\n", kKnown, ""},
        {"no file", std::nullopt, std::nullopt, ""},
        {"empty", "", std::nullopt, "empty"},
        {"garbage", "\x01\x02 zz\n", std::nullopt, "the offset is no number of bytes"},
        {"no offset", "Data_logs_1208.txt\n", std::nullopt, "not a position"},
        {"an offset that is no number", "Data_logs_1208.txt 12ab\n", std::nullopt,
         "the offset is no number of bytes"},
        {"a negative offset", "Data_logs_1208.txt -5\n", std::nullopt,
         "the offset is no number of bytes"},
        {"an offset beyond 64 bits", "Data_logs_1208.txt 18446744073709551616\n", std::nullopt,
         "the offset is no number of bytes"},
        {"a '/' in the name: outside the folder", "../Data_logs_1208.txt 5\n", std::nullopt,
         "a file outside the log folder"},
        {"a day file in its year folder", "2025/Data_logs_1208.txt 5\n",
         LogPosition{"2025/Data_logs_1208.txt", 5}, ""},
        {"an entry that does not end before the offset",
         "Data_logs_1208.txt 1234 2049 77 1234 2026-12-08 10:11:12\n", std::nullopt,
         "not a position"},
    };
    for (const LoadRow& row : rows) {
        SCOPED_TRACE(row.proves);
        const test::TempFolder folder;
        if (row.file) {
            test::WriteFile(folder.PathOf(kPositionFileName), *row.file);
        }
        const SavedPosition saved = LoadPosition(folder.Path());
        EXPECT_EQ(saved.state == SavedPosition::State::Read ? std::optional(saved.position)
                                                            : std::nullopt,
                  row.position);
        EXPECT_EQ(saved.why, row.corrupt);
        EXPECT_EQ(saved.state == SavedPosition::State::Corrupt, !row.corrupt.empty());
    }
}

TEST(LogPositionTest, ASavedPositionReplacesTheLastAndAFailedSaveSaysWhy) {
    const test::TempFolder folder;
    ASSERT_EQ(SavePosition(folder.Path(), {"Data_logs_1208.txt", 99}), 0);
    ASSERT_EQ(SavePosition(folder.Path(), kKnown), 0);
    EXPECT_EQ(LoadPosition(folder.Path()).position, kKnown);
    EXPECT_EQ(SavePosition(folder.PathOf("missing"), {"Data_logs_1209.txt", 7}), ENOENT);
}

}  // namespace
}  // namespace tarnwick
