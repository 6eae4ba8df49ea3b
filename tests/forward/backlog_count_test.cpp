#include "forward/backlog_count.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "support/todays_log.h"

namespace tarnwick {
namespace {

// R: a record, H: a hex entry after it.
std::string Entries(const std::string& kinds) {
    std::string bytes;
    for (const char kind : kinds) {
        bytes += test::LoggedEntry(kind == 'H' ? "1.2.3.4  (5):41 42 " : "1.2.3.4 (5):#ST,123;#");
    }
    return bytes;
}

struct BacklogRow {
    const char* proves;
    std::string logged;       // before the count
    std::size_t from;         // entries already acknowledged when counting starts
    std::uint64_t acked;      // records acknowledged after
    std::string loggedLater;  // after the first count
    std::uint64_t behind;     // after the second count
};

TEST(BacklogCountTest, RecordsLoggedAndNotYetAcknowledged) {
    const std::vector<BacklogRow> rows = {
        {"records count, hex entries do not", "RHRH", 0, 0, "", 2},
        {"the acknowledged ones are not behind", "RRR", 0, 2, "", 1},
        {"acknowledgements ahead of the count are no backlog below zero", "R", 0, 3, "", 0},
        {"what is logged later is counted at the next count", "RR", 0, 1, "RHR", 3},
        {"counted from the acknowledged position", "RRRR", 3, 0, "", 1},
    };
    for (const BacklogRow& row : rows) {
        SCOPED_TRACE(row.proves);
        const test::TempFolder folder;
        const std::string file = test::TodaysLogName();
        test::WriteFile(folder.PathOf(file), Entries(row.logged));
        BacklogCount backlog(folder.Path());
        EXPECT_FALSE(backlog.Started());
        backlog.Restart({file, Entries(row.logged.substr(0, row.from)).size()});
        EXPECT_TRUE(backlog.Started());
        backlog.CountNew();
        backlog.Acked(row.acked);
        test::WriteFile(folder.PathOf(file), Entries(row.logged + row.loggedLater));
        backlog.CountNew();
        EXPECT_EQ(backlog.Behind(), row.behind);
    }
}

// How old the backlog is, when the acknowledged position knows no entry to tell it.
TEST(BacklogCountTest, KnowsTheFirstRecordCountedSinceTheRestart) {
    const test::TempFolder folder;
    const std::string file = test::TodaysLogName();
    test::WriteFile(folder.PathOf(file),
                    test::LoggedEntry("1.2.3.4  (5):41 ", "2026-12-08 10:00:00") +
                        test::LoggedEntry("1.2.3.4 (5):#ST,123;#", "2026-12-08 10:01:00") +
                        test::LoggedEntry("1.2.3.4 (5):#ST,123;#", "2026-12-08 10:02:00"));
    BacklogCount backlog(folder.Path());
    backlog.Restart({file, 0});
    EXPECT_EQ(backlog.FirstCountedTime(), "");
    backlog.CountNew();
    EXPECT_EQ(backlog.FirstCountedTime(), "2026-12-08 10:01:00") << "a record, not the hex entry";
    backlog.Restart({file, 0});
    EXPECT_EQ(backlog.FirstCountedTime(), "");
}

}  // namespace
}  // namespace tarnwick
