#include "log/daily_log.h"
#include "support/calendar.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <vector>

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

// 7 March 2026 is the day of handling in every test; 14:05 is just some time of it.
LocalTime March7At1405(int second) {
    return test::TmOf(2026, 3, 7, 14, 5, second);
}

using test::ReadFile;
using test::WriteFile;

const std::string kDashes(40, '-');
const std::string kEntryAt140509 = "-->2026-03-07 14:05:09" + kDashes + "\r\nrecord\r\n";

class DailyLogTest : public ::testing::Test {
protected:
    std::string PathOf(const std::string& name) const { return m_temp.PathOf(name); }
    DailyLog LogAt(const std::string& name) {
        return DailyLog(PathOf(name), [this] { return m_now; });
    }

    test::TempFolder m_temp;
    const std::string m_folder = m_temp.Path();
    LocalTime m_now = March7At1405(9);
};

TEST_F(DailyLogTest, EntriesAreAppendedByteForByte) {
    WriteFile(PathOf("Data_logs_0307.txt"), "earlier run\r\n");
    DailyLog log = LogAt("Data_logs_0307.txt");
    const std::string binary("a\0b\xFF\r\nc", 7);
    EXPECT_EQ(log.Append("record"), (LogWriteResult{PathOf("Data_logs_0307.txt"), 0}));
    m_now = March7At1405(10);
    EXPECT_TRUE(log.Append(binary).ok());
    EXPECT_EQ(ReadFile(log.LogFile()), "earlier run\r\n" + kEntryAt140509 +
                                           "-->2026-03-07 14:05:10" + kDashes + "\r\n" + binary +
                                           "\r\n");
}

TEST_F(DailyLogTest, WritesToTheFileOfTheDayOfHandling) {
    struct Row {
        const char* proves;
        const char* startName;
        bool startFileExists;
        const char* writtenName;
    };
    const std::vector<Row> rows = {
        {"yesterday's file is left alone", "Data_logs_0306.txt", true, "Data_logs_0307.txt"},
        {"no file yet under yesterday's name", "Data_logs_0306.txt", false, "Data_logs_0307.txt"},
        {"missing folders are created", "a/b/c/Data_logs_0306.txt", false,
         "a/b/c/Data_logs_0307.txt"},
        {"a name too short keeps the folder intact", "a.txt", false, "a.txt"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        fs::remove_all(m_folder);
        fs::create_directory(m_folder);
        if (row.startFileExists) {
            WriteFile(PathOf(row.startName), "yesterday");
        }
        DailyLog log = LogAt(row.startName);
        EXPECT_EQ(log.Append("record"), (LogWriteResult{PathOf(row.writtenName), 0}));
        EXPECT_EQ(ReadFile(PathOf(row.writtenName)), kEntryAt140509);
        if (row.startFileExists) {
            EXPECT_EQ(ReadFile(PathOf(row.startName)), "yesterday");
        }
    }
}

TEST_F(DailyLogTest, FailuresAreReportedWithPathAndErrno) {
    WriteFile(PathOf("plain"), "");
    fs::create_directory(PathOf("Data_logs_0307.txt"));
    const std::vector<std::pair<std::string, int>> rows = {
        {"plain/Data_logs_0307.txt", ENOTDIR},
        {"plain/deeper/Data_logs_0307.txt", ENOTDIR},
        {"Data_logs_0307.txt", EISDIR},
    };
    for (const auto& [name, error] : rows) {
        const LogWriteResult result = LogAt(name).Append("record");
        EXPECT_EQ(result, (LogWriteResult{PathOf(name), error}));
        EXPECT_EQ(result.Reason(), std::strerror(error));
    }
}

TEST_F(DailyLogTest, ALockHeldElsewhereIsWaitedForOnlyAsLongAsTheCallerSays) {
    const std::string path = PathOf("Data_logs_0307.txt");
    WriteFile(path, "");
    const int holder = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    int asked = 0;
    const auto release = [&](const std::string& waitingFor) {
        EXPECT_EQ(waitingFor, path);
        if (++asked == 3) {
            close(holder);
        }
        return true;
    };
    DailyLog patient(path, [this] { return m_now; }, {false, release});
    EXPECT_TRUE(patient.Append("record").ok());
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(ReadFile(path), kEntryAt140509);

    const int again = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(again, LOCK_EX), 0);
    DailyLog impatient(path, [this] { return m_now; },
                       {false, [](const std::string&) { return false; }});
    EXPECT_EQ(impatient.Append("record").error, kLockNotGranted);
    EXPECT_EQ(ReadFile(path), kEntryAt140509);
    close(again);
}

TEST_F(DailyLogTest, ABatchIsOneAppendPerDayAndEachEntryKeepsItsOwnTime) {
    const std::vector<LocalTime> times = {March7At1405(58), March7At1405(59), std::nullopt};
    std::tm march8 = *March7At1405(0);
    march8.tm_mday = 8;
    std::size_t next = 0;
    // Two entries in one second share its header; the next second has its own.
    const std::vector<LocalTime> clock = {times[0], times[0], times[1], march8};
    DailyLog log(PathOf("Data_logs_0307.txt"), [&] { return clock[next++]; });
    const std::vector<std::string_view> texts = {"a", "a2", "b", "c"};
    const std::vector<LogWriteResult> results = log.AppendAll(texts);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0], (LogWriteResult{PathOf("Data_logs_0307.txt"), 0, 3}));
    EXPECT_EQ(results[1], (LogWriteResult{PathOf("Data_logs_0308.txt"), 0, 1}));
    EXPECT_EQ(ReadFile(PathOf("Data_logs_0307.txt")),
              "-->2026-03-07 14:05:58" + kDashes + "\r\na\r\n-->2026-03-07 14:05:58" + kDashes +
                  "\r\na2\r\n-->2026-03-07 14:05:59" + kDashes + "\r\nb\r\n");
    EXPECT_EQ(ReadFile(PathOf("Data_logs_0308.txt")),
              "-->2026-03-08 14:05:00" + kDashes + "\r\nc\r\n");
}

// What a centre killed at any step of the move leaves, and what else may stand in the way.
TEST_F(DailyLogTest, LastYearsFileOfTheDayMovesToItsYearFolderFirst) {
    const std::string lastYear = "-->2025-03-07 10:00:00" + kDashes + "\r\nold\r\n";
    const std::string thisYear = "-->2026-03-07 01:00:00" + kDashes + "\r\nnew\r\n";
    struct Row {
        const char* proves;
        std::vector<std::pair<std::string, std::string>> before;  // by name; "/" is a folder
        std::string today;                                        // Data_logs_0307.txt after
        std::string archived;  // 2025/Data_logs_0307.txt after; "" for none
    };
    const std::vector<Row> rows = {
        {"last year's file moves before this year's first entry",
         {{"Data_logs_0307.txt", lastYear}},
         kEntryAt140509,
         lastYear},
        {"this year's file is appended to",
         {{"Data_logs_0307.txt", thisYear}},
         thisYear + kEntryAt140509,
         ""},
        {"a file that begins with no entry is appended to",
         {{"Data_logs_0307.txt", "foreign"}},
         "foreign" + kEntryAt140509,
         ""},
        {"killed after making the year folder: the move is finished",
         {{"2025", "/"}, {"Data_logs_0307.txt", lastYear}},
         kEntryAt140509,
         lastYear},
        {"killed after the move: the new file starts, the archive stays",
         {{"2025", "/"}, {"2025/Data_logs_0307.txt", lastYear}},
         kEntryAt140509,
         lastYear},
        {"an archive already there is never replaced",
         {{"2025", "/"}, {"2025/Data_logs_0307.txt", "kept"}, {"Data_logs_0307.txt", lastYear}},
         lastYear + kEntryAt140509,
         "kept"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        fs::remove_all(m_folder);
        fs::create_directory(m_folder);
        for (const auto& [name, contents] : row.before) {
            if (contents == "/") {
                fs::create_directory(PathOf(name));
            } else {
                WriteFile(PathOf(name), contents);
            }
        }
        EXPECT_TRUE(LogAt("Data_logs_0307.txt").Append("record").ok());
        EXPECT_EQ(ReadFile(PathOf("Data_logs_0307.txt")), row.today);
        EXPECT_EQ(fs::exists(PathOf("2025/Data_logs_0307.txt")), !row.archived.empty());
        EXPECT_EQ(ReadFile(PathOf("2025/Data_logs_0307.txt")), row.archived);
    }
}

}  // namespace
}  // namespace tarnwick
