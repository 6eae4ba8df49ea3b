#include "log/log_folder_lock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "support/temp_folder.h"

namespace tarnwick {
namespace {

TEST(LogFolderLockTest, OneCentreAFolderUntilItLetsGo) {
    const test::TempFolder temp;
    const std::string folder = temp.Path() + "/new/DataLog";
    std::optional<LogFolderLock> first(std::in_place, folder);
    EXPECT_EQ(first->Result(), LogFolderLock::Outcome::Taken) << "made where missing";
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(LogFolderLock(folder).Result(), LogFolderLock::Outcome::InUse);
    first.reset();
    EXPECT_EQ(LogFolderLock(folder).Result(), LogFolderLock::Outcome::Taken);
    EXPECT_EQ(LogFolderLock("/proc/no/such").Result(), LogFolderLock::Outcome::Unlocked)
        << "the log itself reports a folder it cannot use";
}

}  // namespace
}  // namespace tarnwick
