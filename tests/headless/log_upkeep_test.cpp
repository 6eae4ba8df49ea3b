// The log folder looked after by a running headless centre: an old day file compressed at start
// and said, free space below --min-free said once.

#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "support/process.h"
#include "support/temp_folder.h"
#include "support/todays_log.h"

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;
constexpr auto kTimeout = 10s;

// "%Y" or "Data_logs_%m%d.txt" of the day `days` before today.
std::string DaysAgo(int days, const char* format) {
    const time_t then = time(nullptr) - static_cast<time_t>(days) * 24 * 60 * 60;
    tm local{};
    localtime_r(&then, &local);
    char text[32] = {};
    strftime(text, sizeof text, format, &local);
    return text;
}

TEST(LogUpkeep, AnOldFileIsCompressedAtStartAndLowSpaceIsSaidOnce) {
    TempFolder temp;
    const std::string old = DaysAgo(10, "Data_logs_%m%d.txt");
    WriteFile(temp.PathOf(old), LoggedEntry("10.0.0.4 (4000):#ST,1;#", DaysAgo(10, "%F 10:00:00")));
    ChildProcess centre =
        ChildProcess::Start({TARNWICK_EXE, "--headless", "--port", "0", "--log-dir", temp.Path(),
                             "--compress-after", "3", "--min-free", "1024T"});
    const std::string archive = temp.Path() + "/" + DaysAgo(10, "%Y") + "/" + old + ".gz";
    EXPECT_TRUE(centre.WaitForStderrLine(
        StartsWith("tarnwick: log archive: compressed " + temp.PathOf(old) + " into " + archive),
        kTimeout))
        << centre.Stderr();
    EXPECT_EQ(centre.Signal(SIGTERM), 0);
    EXPECT_EQ(centre.Wait(kTimeout), 0);
    EXPECT_EQ(centre.Stderr().find("below --min-free"), centre.Stderr().rfind("below --min-free"));
    EXPECT_TRUE(std::filesystem::exists(archive));
    EXPECT_FALSE(std::filesystem::exists(temp.PathOf(old)));
}

}  // namespace
}  // namespace tarnwick::test
