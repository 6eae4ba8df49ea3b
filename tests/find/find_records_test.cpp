#include "find/find_records.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "support/todays_log.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using test::LoggedEntry;

// 3 January 2027: last year's December is still in the folder itself.
const Day kToday{std::chrono::year(2027), std::chrono::January, std::chrono::day(3)};

void WriteArchive(const std::string& path, const std::string& bytes) {
    gzFile archive = gzopen(path.c_str(), "wb");
    gzwrite(archive, bytes.data(), static_cast<unsigned>(bytes.size()));
    gzclose(archive);
}

const std::map<std::string, std::string> kFolder = {
    {"2025/Data_logs_1231.txt.gz",
     LoggedEntry("10.0.0.4 (4000):#ST,1;ID:4;#", "2025-12-31 23:59:00")},
    {"Data_logs_1231.txt", "foreign line\r\n" +
                               LoggedEntry("10.0.0.4 (4000):#ST,2;ID:4;#", "2026-12-31 23:59:59") +
                               LoggedEntry("10.0.0.9 (5000):#ST,3;ID:9;#", "2026-12-31 23:59:59")},
    {"Data_logs_0101.txt", LoggedEntry("10.0.0.4 (4001):#ST,4;ID:4;#", "2027-01-01 00:00:01") +
                               LoggedEntry("10.0.0.4  (4001):38 38 31", "2027-01-01 00:00:01") +
                               LoggedEntry("10.0.0.9 (5000):#ST,5;ID:9;#", "2027-01-01 00:00:02")},
};

struct FindRow {
    const char* proves;
    FindQuery query;
    FindFormat format;
    std::string out;
    FindResult result;
};

TEST(FindRecordsTest, FindsAcrossYearsAndArchivesInTimeOrder) {
    test::TempFolder temp;
    for (const auto& [name, bytes] : kFolder) {
        fs::create_directories(fs::path(temp.PathOf(name)).parent_path());
        if (name.ends_with(".gz")) {
            WriteArchive(temp.PathOf(name), bytes);
        } else {
            test::WriteFile(temp.PathOf(name), bytes);
        }
    }
    const DeviceKeyRule byId{DeviceKeyRule::Kind::Field, "ID"};
    const std::vector<FindRow> rows = {
        {"every entry, archive first, the foreign line passed over",
         {},
         FindFormat::Text,
         "2025-12-31 23:59:00 10.0.0.4 (4000):#ST,1;ID:4;#\n"
         "2026-12-31 23:59:59 10.0.0.4 (4000):#ST,2;ID:4;#\n"
         "2026-12-31 23:59:59 10.0.0.9 (5000):#ST,3;ID:9;#\n"
         "2027-01-01 00:00:01 10.0.0.4 (4001):#ST,4;ID:4;#\n"
         "2027-01-01 00:00:01 10.0.0.4  (4001):38 38 31\n"
         "2027-01-01 00:00:02 10.0.0.9 (5000):#ST,5;ID:9;#\n",
         {6, 3, 1}},
        {"a device across the new year by its field, its hex entry with its record",
         {"2026-12-31 00:00:00", "2027-01-02 00:00:00", "4", std::nullopt, byId},
         FindFormat::Csv,
         "time,address,port,key,record\n"
         "2026-12-31 23:59:59,10.0.0.4,4000,4,\"#ST,2;ID:4;#\"\n"
         "2027-01-01 00:00:01,10.0.0.4,4001,4,\"#ST,4;ID:4;#\"\n"
         "2027-01-01 00:00:01,10.0.0.4,4001,4,hex:38 38 31\n",
         {3, 2, 1}},
        {"text, as JSON Lines, by the address rule",
         {std::nullopt, std::nullopt, std::nullopt, "ST,5", {}},
         FindFormat::Jsonl,
         "{\"time\":\"2027-01-01 00:00:02\",\"address\":\"10.0.0.9\",\"port\":5000,"
         "\"key\":\"10.0.0.9:5000\",\"record\":\"#ST,5;ID:9;#\"}\n",
         {1, 3, 1}},
        {"nothing in the time asked",
         {"2024-01-01 00:00:00", "2024-02-01 00:00:00", std::nullopt, std::nullopt, {}},
         FindFormat::Text,
         "",
         {0, 0, 0}},
    };
    for (const FindRow& row : rows) {
        SCOPED_TRACE(row.proves);
        std::FILE* out = std::tmpfile();
        const FindResult result =
            FindRecords(temp.Path(), kToday, row.query, row.format, out, [](auto) {});
        std::rewind(out);
        std::string printed;
        for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) {
            printed += static_cast<char>(c);
        }
        std::fclose(out);
        EXPECT_EQ(printed, row.out);
        EXPECT_EQ(result, row.result);
    }
}

}  // namespace
}  // namespace tarnwick
