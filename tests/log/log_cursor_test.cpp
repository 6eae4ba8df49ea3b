#include "log/log_cursor.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "support/calendar.h"
#include "support/temp_folder.h"

namespace tarnwick {
namespace {

const std::string kDirectory = "<directory>";
const std::string kFifo = "<fifo>";

std::string Entry(const std::string& record) {
    return "-->2026-03-07 14:05:09" + std::string(40, '-') + "\r\n10.0.0.7 (4000):" + record +
           "\r\n";
}

const std::string kA = Entry("#ST,123;A:1;#");
const std::string kB = Entry("#ST,456;B:2;#");

struct CursorRow {
    const char* proves;
    std::map<std::string, std::string> files;  // by name: contents, kDirectory or kFifo
    LogPosition start;
    std::vector<std::string> records;  // read, in order
    LogPosition end;
    std::vector<std::string> reports;  // DIR stands for the folder
};

// 7 March 2026, late in the day.
LocalTime Today() {
    return test::TmOf(2026, 3, 7, 23);
}

void Make(const std::string& path, const std::string& contents) {
    if (contents == kDirectory) {
        std::filesystem::create_directory(path);
    } else if (contents == kFifo) {
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    } else {
        test::WriteFile(path, contents);
    }
}

std::string WithFolder(std::string report, const std::string& folder) {
    for (std::size_t at = report.find("DIR"); at != std::string::npos; at = report.find("DIR")) {
        report.replace(at, 3, folder);
    }
    return report;
}

TEST(LogCursorTest, WalksTheDayFilesAndPassesOverWhatIsNoLog) {
    const std::string zeros(300 * 1024, '\0');
    const std::vector<CursorRow> rows = {
        {"the next day's file follows a finished one",
         {{"Data_logs_0306.txt", kA}, {"Data_logs_0307.txt", kB}},
         {"Data_logs_0306.txt", 0},
         {"#ST,123;A:1;#", "#ST,456;B:2;#"},
         {"Data_logs_0307.txt", kB.size()},
         {}},
        {"a day with no file is passed over",
         {{"Data_logs_0305.txt", kA}, {"Data_logs_0307.txt", kB}},
         {"Data_logs_0305.txt", 0},
         {"#ST,123;A:1;#", "#ST,456;B:2;#"},
         {"Data_logs_0307.txt", kB.size()},
         {}},
        {"the last day of the year is followed by the first",
         {{"Data_logs_1231.txt", kA}, {"Data_logs_0101.txt", kB}},
         {"Data_logs_1231.txt", 0},
         {"#ST,123;A:1;#", "#ST,456;B:2;#"},
         {"Data_logs_0101.txt", kB.size()},
         {}},
        {"a file removed is reported and the next one read",
         {{"Data_logs_0307.txt", kB}},
         {"Data_logs_0305.txt", 40},
         {"#ST,456;B:2;#"},
         {"Data_logs_0307.txt", kB.size()},
         {"forwarding: log file DIR/Data_logs_0305.txt is gone (whatever followed byte 40 is "
          "lost); going on with DIR/Data_logs_0307.txt"}},
        {"today's file before its first entry is waited for",
         {},
         {"Data_logs_0307.txt", 0},
         {},
         {"Data_logs_0307.txt", 0},
         {}},
        {"a file cut below the position is reported and the next one read",
         {{"Data_logs_0306.txt", kA}, {"Data_logs_0307.txt", kB}},
         {"Data_logs_0306.txt", 1000},
         {"#ST,456;B:2;#"},
         {"Data_logs_0307.txt", kB.size()},
         {"forwarding: log file DIR/Data_logs_0306.txt was cut to 95 bytes, below the forwarded "
          "position (whatever followed byte 1000 is lost); going on with DIR/Data_logs_0307.txt"}},
        {"today's file cut below the position is said and read again from its start",
         {{"Data_logs_0307.txt", kA}},
         {"Data_logs_0307.txt", 1000},
         {"#ST,123;A:1;#"},
         {"Data_logs_0307.txt", kA.size()},
         {"forwarding: log file DIR/Data_logs_0307.txt was cut to 95 bytes, below the forwarded "
          "position (whatever followed byte 1000 is lost); reading it again from its start"}},
        {"bytes after the last line end wait for the rest of their entry",
         {{"Data_logs_0307.txt", kA + kB.substr(0, 30)}},
         {"Data_logs_0307.txt", 0},
         {"#ST,123;A:1;#"},
         {"Data_logs_0307.txt", kA.size()},
         {}},
        {"a torn entry followed by a whole one",
         {{"Data_logs_0307.txt", kA.substr(0, kA.size() - 8) + kB}},
         {"Data_logs_0307.txt", 0},
         {"#ST,456;B:2;#"},
         {"Data_logs_0307.txt", kA.size() - 8 + kB.size()},
         {"forwarding: passed over what is no whole entry in DIR/Data_logs_0307.txt"}},
        {"a finished day's file that ends in a torn entry is left for the next",
         {{"Data_logs_0306.txt", kA + kB.substr(0, 30)}, {"Data_logs_0307.txt", kB}},
         {"Data_logs_0306.txt", 0},
         {"#ST,123;A:1;#", "#ST,456;B:2;#"},
         {"Data_logs_0307.txt", kB.size()},
         {"forwarding: passed over what is no whole entry in DIR/Data_logs_0306.txt"}},
        {"more than a read's worth with no line end (zeros a crash left) is passed over",
         {{"Data_logs_0307.txt", zeros + kA}},
         {"Data_logs_0307.txt", 0},
         {"#ST,123;A:1;#"},
         {"Data_logs_0307.txt", zeros.size() + kA.size()},
         {"forwarding: passed over what is no whole entry in DIR/Data_logs_0307.txt"}},
        {"a directory in a finished day's file's place is passed over",
         {{"Data_logs_0306.txt", kDirectory}, {"Data_logs_0307.txt", kB}},
         {"Data_logs_0306.txt", 0},
         {"#ST,456;B:2;#"},
         {"Data_logs_0307.txt", kB.size()},
         {"forwarding: log file DIR/Data_logs_0306.txt is not a regular file; going on with "
          "DIR/Data_logs_0307.txt"}},
        {"a FIFO in today's file's place is reported once, never waited on",
         {{"Data_logs_0307.txt", kFifo}},
         {"Data_logs_0307.txt", 0},
         {},
         {"Data_logs_0307.txt", 0},
         {"forwarding: cannot read DIR/Data_logs_0307.txt: not a regular file"}},
    };
    for (const CursorRow& row : rows) {
        SCOPED_TRACE(row.proves);
        const test::TempFolder folder;
        for (const auto& [name, contents] : row.files) {
            Make(folder.PathOf(name), contents);
        }
        std::vector<std::string> reports;
        LogCursor cursor(
            folder.Path(), row.start, [&](std::string_view line) { reports.emplace_back(line); },
            Today);
        std::vector<std::string> records;
        for (int call = 0; call < 8; ++call) {
            for (const LogEntry& entry :
                 cursor.Next(std::numeric_limits<std::size_t>::max()).entries) {
                records.push_back(entry.text);
            }
        }
        EXPECT_EQ(records, row.records);
        EXPECT_EQ(cursor.Position().file, row.end.file);
        EXPECT_EQ(cursor.Position().offset, row.end.offset);
        std::vector<std::string> expected;
        for (const std::string& report : row.reports) {
            expected.push_back(WithFolder(report, folder.Path()));
        }
        EXPECT_EQ(reports, expected);
    }
}

// What happens to today's file under a cursor that has read it to its end.
struct UnderRow {
    const char* proves;
    std::function<void(const std::string& path)> change;
    std::vector<std::string> records;  // read after the change
    std::vector<std::string> reports;  // DIR stands for the folder
};

TEST(LogCursorTest, AFileChangedUnderItsReaderIsToldApartByItsIdentityAndSaid) {
    const std::string name = "Data_logs_0307.txt";
    const std::string kC = Entry("#ST,789;C:3;#");
    const std::vector<UnderRow> rows = {
        {"moved while read: read to its end, then the new file under its name",
         [&](const std::string& path) {
             std::filesystem::rename(path, path + ".old");
             test::WriteFile(path + ".old", kA + kB);
             test::WriteFile(path, kC);
         },
         {"#ST,456;B:2;#", "#ST,789;C:3;#"},
         {"forwarding: log file DIR/Data_logs_0307.txt was replaced before it was forwarded; "
          "read to its end, nothing lost; reading the new file under its name from its start"}},
        {"cut below the position: said, and read again from its start",
         [&](const std::string& path) { std::filesystem::resize_file(path, 0); },
         {},
         {"forwarding: log file DIR/Data_logs_0307.txt was cut to 0 bytes, below the forwarded "
          "position (nothing not yet forwarded was lost); reading it again from its start"}},
        {"edited in place at the position: said, and read again from its start",
         [&](const std::string& path) {
             std::string edited = kA;
             edited.replace(edited.find("14:05:09"), 8, "14:05:10");
             std::ofstream(path, std::ios::binary | std::ios::in) << edited;
         },
         {"#ST,123;A:1;#"},
         {"forwarding: log file DIR/Data_logs_0307.txt changed at the forwarded position (byte " +
          std::to_string(kA.size()) + "); reading it again from its start"}},
    };
    for (const UnderRow& row : rows) {
        SCOPED_TRACE(row.proves);
        const test::TempFolder folder;
        const std::string path = folder.PathOf(name);
        test::WriteFile(path, kA);
        std::vector<std::string> reports;
        LogCursor cursor(
            folder.Path(), {name, 0}, [&](std::string_view line) { reports.emplace_back(line); },
            Today);
        ASSERT_EQ(cursor.Next(100).entries.size(), 1U);
        row.change(path);
        std::vector<std::string> records;
        for (int call = 0; call < 8; ++call) {
            for (const LogEntry& entry : cursor.Next(100).entries) {
                records.push_back(entry.text);
            }
        }
        EXPECT_EQ(records, row.records);
        std::vector<std::string> expected;
        for (const std::string& report : row.reports) {
            expected.push_back(WithFolder(report, folder.Path()));
        }
        EXPECT_EQ(reports, expected);
    }
}

}  // namespace
}  // namespace tarnwick
