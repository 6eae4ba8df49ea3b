// tarnwick --find run as the operator runs it, on a folder with today's file in it.

#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/temp_folder.h"
#include "support/todays_log.h"

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;

std::string Today() {
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char text[16] = {};
    strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

struct CommandRow {
    const char* proves;
    std::vector<std::string> options;
    int status;
    std::string out;
    std::string errStart;
};

TEST(FindCommandTest, PrintsWhatMatchesAndSaysHowItWent) {
    TempFolder temp;
    WriteFile(temp.PathOf(TodaysLogName()),
              "no log\r\n" + LoggedEntry("10.0.0.4 (4000):#ST,1;ID:4;#", Today() + " 10:00:00"));
    const std::vector<CommandRow> rows = {
        {"found: printed, counted, what is no log counted",
         {"--device-key", "field:ID", "--device", "4", "--format", "csv"},
         0,
         "time,address,port,key,record\n" + Today() +
             " 10:00:00,10.0.0.4,4000,4,\"#ST,1;ID:4;#\"\n",
         "tarnwick: found 1 entries in 1 files; passed over 1 lines"},
        {"nothing found", {"--grep", "ST,2"}, 1, "", "tarnwick: found 0 entries in 1 files"},
        {"a bad time", {"--from", "yesterday"}, 2, "", "tarnwick: --from takes"},
    };
    for (const CommandRow& row : rows) {
        SCOPED_TRACE(row.proves);
        std::vector<std::string> argv = {TARNWICK_EXE, "--find", "--log-dir", temp.Path()};
        argv.insert(argv.end(), row.options.begin(), row.options.end());
        ChildProcess find = ChildProcess::Start(argv);
        EXPECT_EQ(find.Wait(10s), row.status);
        EXPECT_EQ(find.Stdout(), row.out);
        EXPECT_TRUE(find.Stderr().starts_with(row.errStart)) << find.Stderr();
    }
}

}  // namespace
}  // namespace tarnwick::test
