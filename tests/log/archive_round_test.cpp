#include "log/archive_round.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "log/log_file_reader.h"
#include "support/temp_folder.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

const Day kToday{std::chrono::year(2026), std::chrono::December, std::chrono::day(8)};
const std::string kSymlink = "<symlink>";
const std::string kLocked = "<locked>";

std::string Entry(const std::string& day, const std::string& record) {
    return "-->" + day + " 10:00:00" + std::string(40, '-') + "\r\n10.0.0.7 (4000):" + record +
           "\r\n";
}

std::string JournalLine(const std::string& day) {
    return day + " 10:00:00\t1\t4\tsent\tstdin\tGO\t@1\n";
}

struct RoundRow {
    const char* proves;
    std::map<std::string, std::string> files;  // by name: contents, kSymlink or kLocked
    ArchiveRules rules;
    std::optional<LogPosition> reach;
    std::set<std::string> after;     // every file the folder holds afterwards
    std::vector<std::string> lines;  // DIR stands for the folder
};

class ArchiveRoundTest : public ::testing::Test {
protected:
    void Make(const std::map<std::string, std::string>& files) {
        for (const auto& [name, contents] : files) {
            const std::string path = m_temp.PathOf(name);
            fs::create_directories(fs::path(path).parent_path());
            if (contents == kSymlink) {
                test::WriteFile(path + ".target", Entry("2026-11-01", "#A#"));
                fs::create_symlink(path + ".target", path);
                continue;
            }
            test::WriteFile(path, contents == kLocked ? Entry("2026-11-01", "#L#") : contents);
            if (contents == kLocked) {
                m_holders.push_back(open(path.c_str(), O_RDONLY | O_CLOEXEC));
                ASSERT_EQ(flock(m_holders.back(), LOCK_EX), 0);
            }
        }
    }

    std::set<std::string> Files() const {
        std::set<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(m_temp.Path())) {
            if (!entry.is_directory()) {
                names.insert(entry.path().lexically_relative(m_temp.Path()).string());
            }
        }
        return names;
    }

    std::vector<std::string> Run(const ArchiveRules& rules, std::optional<LogPosition> reach) {
        std::vector<std::string> lines;
        const UpkeepContext context{m_temp.Path(),
                                    rules,
                                    [reach] { return reach; },
                                    [&](std::string line) {
                                        for (auto at = line.find(m_temp.Path());
                                             at != std::string::npos;
                                             at = line.find(m_temp.Path())) {
                                            line.replace(at, m_temp.Path().size(), "DIR");
                                        }
                                        lines.push_back(line);
                                    },
                                    {}};
        RunArchiveRound(context, kToday);
        return lines;
    }

    void TearDown() override {
        for (const int fd : m_holders) {
            close(fd);
        }
    }

    test::TempFolder m_temp;
    std::vector<int> m_holders;
};

const std::string kOld = Entry("2026-11-20", "#OLD#");
const ArchiveRules kWeekAndMonth{7, 30, false};

TEST_F(ArchiveRoundTest, CompressesAndDeletesOnlyWhatTheBrokerHasHadAndNoOneHolds) {
    const std::vector<RoundRow> rows = {
        {"old files are compressed, older ones deleted; today's and the week's stay",
         {{"Data_logs_1120.txt", kOld},
          {"Data_logs_1101.txt", kOld},
          {"2025/Data_logs_1208.txt.gz", "x"},
          {"Data_logs_1201.txt", kOld},
          {"Data_logs_1208.txt", kOld}},
         kWeekAndMonth,
         std::nullopt,
         {"2026/Data_logs_1120.txt.gz", "Data_logs_1201.txt", "Data_logs_1208.txt"},
         {"log archive: deleted DIR/2025/Data_logs_1208.txt.gz",
          "log archive: deleted DIR/Data_logs_1101.txt",
          "log archive: compressed DIR/Data_logs_1120.txt into DIR/2026/Data_logs_1120.txt.gz"}},
        {"with the forwarder behind, what it has not had stays",
         {{"Data_logs_1101.txt", kOld}, {"Data_logs_1115.txt", kOld}, {"Data_logs_1120.txt", kOld}},
         kWeekAndMonth,
         LogPosition{"Data_logs_1115.txt", 5},
         {"Data_logs_1115.txt", "Data_logs_1120.txt"},
         {"log archive: deleted DIR/Data_logs_1101.txt",
          "log archive: left DIR/Data_logs_1115.txt as it is: not yet forwarded",
          "log archive: left DIR/Data_logs_1120.txt as it is: not yet forwarded"}},
        {"a position past its file's end is into last year's file, moved: nothing is sure",
         {{"Data_logs_1120.txt", kOld}, {"Data_logs_1208.txt", kOld}},
         kWeekAndMonth,
         LogPosition{"Data_logs_1208.txt", 999},
         {"Data_logs_1120.txt", "Data_logs_1208.txt"},
         {"log archive: left DIR/Data_logs_1120.txt as it is: not yet forwarded"}},
        {"a file read to its end is forwarded",
         {{"Data_logs_1115.txt", kOld}},
         kWeekAndMonth,
         LogPosition{"Data_logs_1115.txt", kOld.size()},
         {"2026/Data_logs_1115.txt.gz"},
         {"log archive: compressed DIR/Data_logs_1115.txt into DIR/2026/Data_logs_1115.txt.gz"}},
        {"--delete-unforwarded deletes all the same, and compresses nothing unforwarded",
         {{"Data_logs_1101.txt", kOld}, {"Data_logs_1120.txt", kOld}},
         {7, 30, true},
         LogPosition{"Data_logs_1001.txt", 0},
         {"Data_logs_1120.txt"},
         {"log archive: deleted DIR/Data_logs_1101.txt",
          "log archive: left DIR/Data_logs_1120.txt as it is: not yet forwarded"}},
        {"a file another program holds locked is left for the next round",
         {{"Data_logs_1120.txt", kLocked}},
         kWeekAndMonth,
         std::nullopt,
         {"Data_logs_1120.txt"},
         {"log archive: left DIR/Data_logs_1120.txt as it is: locked by another program"}},
        {"a symlink in a day's place is never followed",
         {{"Data_logs_1120.txt", kSymlink}},
         kWeekAndMonth,
         std::nullopt,
         {"Data_logs_1120.txt", "Data_logs_1120.txt.target"},
         {"log archive: left DIR/Data_logs_1120.txt as it is: not a regular file"}},
        {"last year's file not yet moved goes to its year folder, then the rules apply",
         {{"Data_logs_1209.txt", Entry("2024-12-09", "#Y#")}},
         {},
         std::nullopt,
         {"2024/Data_logs_1209.txt"},
         {"log archive: moved DIR/Data_logs_1209.txt to DIR/2024/Data_logs_1209.txt"}},
        {"the command journal is kept by the same rules, in year folders too",
         {{"Commands_1120.txt", JournalLine("2026-11-20")},
          {"Commands_1101.txt", JournalLine("2026-11-01")},
          {"Commands_1209.txt", JournalLine("2024-12-09")}},
         kWeekAndMonth,
         LogPosition{"Data_logs_1001.txt", 0},
         {"2026/Commands_1120.txt.gz"},
         {"log archive: moved DIR/Commands_1209.txt to DIR/2024/Commands_1209.txt",
          "log archive: deleted DIR/2024/Commands_1209.txt",
          "log archive: deleted DIR/Commands_1101.txt",
          "log archive: compressed DIR/Commands_1120.txt into DIR/2026/Commands_1120.txt.gz"}},
        {"the journal's files a start reads for its held commands stay as they are",
         {{"Commands_1202.txt", JournalLine("2026-12-02")},
          {"Commands_1203.txt", JournalLine("2026-12-03")},
          {"Commands_1206.txt", JournalLine("2026-12-06")},
          {"Data_logs_1203.txt", kOld}},
         {1, 3, false, 5},
         std::nullopt,
         {"Commands_1203.txt", "Commands_1206.txt"},
         {"log archive: deleted DIR/Data_logs_1203.txt",
          "log archive: deleted DIR/Commands_1202.txt"}},
        {"half an archive a killed round left is removed",
         {{"2026/Data_logs_1120.txt.gz.part", "half"}, {"Data_logs_1120.txt", kOld}},
         kWeekAndMonth,
         std::nullopt,
         {"2026/Data_logs_1120.txt.gz"},
         {"log archive: compressed DIR/Data_logs_1120.txt into DIR/2026/Data_logs_1120.txt.gz"}},
    };
    for (const RoundRow& row : rows) {
        SCOPED_TRACE(row.proves);
        TearDown();
        m_holders.clear();
        fs::remove_all(m_temp.Path());
        fs::create_directory(m_temp.Path());
        Make(row.files);
        EXPECT_EQ(Run(row.rules, row.reach), row.lines);
        EXPECT_EQ(Files(), row.after);
    }
}

TEST_F(ArchiveRoundTest, AnArchiveReadsBackAsTheFileItWasMadeOf) {
    const std::string day = kOld + Entry("2026-11-20", std::string(300'000, 'z'));
    Make({{"Data_logs_1120.txt", day}});
    (void)Run(kWeekAndMonth, std::nullopt);
    std::vector<std::string> records;
    const FileRead read =
        ReadLogFile(m_temp.PathOf("2026/Data_logs_1120.txt.gz"), true,
                    [&](const LogEntry& entry) { records.push_back(entry.text); });
    EXPECT_EQ(read.error, 0);
    EXPECT_EQ(records, (std::vector<std::string>{"#OLD#", std::string(300'000, 'z')}));
}

TEST_F(ArchiveRoundTest, ShortOfSpaceTheOldestForwardedFilesGoFirstDownToTheLimit) {
    Make({{"Data_logs_1101.txt", kOld},
          {"Data_logs_1115.txt", kOld},
          {"Data_logs_1120.txt", kOld},
          {"Data_logs_1207.txt", kOld}});
    std::vector<std::string> lines;
    const UpkeepContext context{m_temp.Path(),
                                {std::nullopt, 3650, false},
                                [] {
                                    return LogPosition{"Data_logs_1120.txt", 0};
                                },
                                [&](std::string line) { lines.push_back(line); },
                                {}};
    int shortFor = 2;  // files' worth of space
    FreeLogSpace(context, kToday, [&] { return shortFor-- > 0; });
    EXPECT_EQ(Files(), (std::set<std::string>{"Data_logs_1120.txt", "Data_logs_1207.txt"}));
    EXPECT_EQ(
        lines,
        (std::vector<std::string>{
            "log archive: deleted " + m_temp.PathOf("Data_logs_1101.txt") + " to free space",
            "log archive: deleted " + m_temp.PathOf("Data_logs_1115.txt") + " to free space"}));
}

// A disk that fills while the archive is written: the original stays whole and no half archive
// is left beside it. The limit is the process's, so the round runs in a child.
TEST_F(ArchiveRoundTest, AFullDiskLeavesTheOriginalAndNoHalfArchive) {
    std::string big;
    for (int i = 0; i < 20'000; ++i) {
        big += Entry("2026-11-20", "#" + std::to_string(i * 7919) + "#");
    }
    Make({{"Data_logs_1120.txt", big}});
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        (void)Run(kWeekAndMonth, std::nullopt);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(Files(), (std::set<std::string>{"Data_logs_1120.txt"}));
    EXPECT_EQ(test::ReadFile(m_temp.PathOf("Data_logs_1120.txt")), big);
}

}  // namespace
}  // namespace tarnwick
