#include "log/command_journal.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "log/journal_files.h"
#include "log/journal_reader.h"
#include "support/calendar.h"
#include "support/temp_folder.h"

namespace tarnwick {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

constexpr std::time_t kAt = 1'772'892'309;  // some time on 7 March 2026
const HoldClock kHeldClock{"boot-a", 1000, 3600};

CommandEntry Entry(std::uint64_t id, std::string_view state, std::optional<HoldClock> clock = {}) {
    return {kAt, id, "4", std::string(state), "window", "RESET", std::move(clock)};
}

TEST(CommandJournalTest, LinesReadBackAsWritten) {
    const std::vector<CommandEntry> rows = {
        Entry(7, command_state::kHeld, kHeldClock),
        {kAt, 8, "dev\t4", "refused: no device", "broker mqtt://127.0.0.1:1883 id a\\b",
         "hex:38 \x1B", std::nullopt},
        {kAt, 9, "4", "not sent: Network is unreachable", "page 127.0.0.1:5555", "", std::nullopt},
    };
    for (const CommandEntry& row : rows) {
        const std::string line = CommandLine(row);
        ASSERT_TRUE(line.ends_with('\n')) << row.id;
        EXPECT_EQ(line.find('\n'), line.size() - 1) << row.id;
        EXPECT_EQ(CommandEntryOf(std::string_view(line).substr(0, line.size() - 1)), row) << row.id;
    }
}

TEST(CommandJournalTest, ForeignAndTornLinesAreNoEntries) {
    const std::string whole = CommandLine(Entry(7, command_state::kHeld, kHeldClock));
    for (const std::string& line : {whole.substr(0, whole.size() - 9), std::string("-->2026"),
                                    std::string(""), whole.substr(0, 30)}) {
        EXPECT_EQ(CommandEntryOf(line), std::nullopt) << line;
    }
}

struct LeftRow {
    const char* proves;
    std::time_t now;
    HoldClock clockNow;
    std::int64_t left;
};

TEST(CommandJournalTest, TimeLeftIsNotMovedByAWallClockStep) {
    const CommandEntry held = Entry(7, command_state::kHeld, kHeldClock);
    const std::vector<LeftRow> rows = {
        {"one boot: the time since boot counts", kAt + 100, {"boot-a", 1600, 0}, 3000},
        {"one boot, the wall clock stepped back a year",
         kAt - 365 * 86400,
         {"boot-a", 1600, 0},
         3000},
        {"one boot, the wall clock stepped forward a year",
         kAt + 365 * 86400,
         {"boot-a", 1600, 0},
         3000},
        {"another boot: the wall clock counts", kAt + 600, {"boot-b", 5, 0}, 3000},
        {"another boot, the wall clock stepped back: no more than was left",
         kAt - 86400,
         {"boot-b", 5, 0},
         3600},
        {"another boot, past its time", kAt + 7200, {"boot-b", 5, 0}, 0},
    };
    for (const LeftRow& row : rows) {
        EXPECT_EQ(SecondsLeft(held, row.now, row.clockNow), row.left) << row.proves;
    }
}

TEST(CommandJournalTest, ReadBackLeavesOpenOnlyWhatNothingSettled) {
    TempFolder folder;
    const std::string name = CommandJournalName(LocalTimeOf(kAt));
    // Last year's file of the day goes to its year folder before this year's first line.
    CommandEntry lastYear = Entry(99, command_state::kHeld, kHeldClock);
    lastYear.at = kAt - 365 * 86400;
    WriteFile(folder.PathOf(name), CommandLine(lastYear));
    {
        CommandJournal journal(folder.Path(), false);
        journal.Note(Entry(1, command_state::kHeld, kHeldClock));
        journal.Note(Entry(2, command_state::kHeld, kHeldClock));
        journal.Note(Entry(3, command_state::kHeld, kHeldClock));
        journal.Note(Entry(2, command_state::kSending));
        journal.Note(Entry(3, command_state::kSending));
        journal.Note(Entry(3, command_state::kSent));
        journal.Note(Entry(4, "refused: no device"));
    }
    EXPECT_EQ(ReadFile(folder.PathOf("2025/" + name)), CommandLine(lastYear));
    const std::string path = folder.PathOf(name);
    // A kill -9 tore the last line; a later start writes on a line of its own.
    WriteFile(path, ReadFile(path) + CommandLine(Entry(5, command_state::kHeld)).substr(0, 20));
    {
        CommandJournal journal(folder.Path(), false);
        journal.Note(Entry(6, command_state::kHeld, kHeldClock));
    }
    const JournalRead read = ReadJournal(folder.Path(), {name});
    ASSERT_EQ(read.open.size(), 3U);
    EXPECT_EQ(read.open[0].given.id, 1U);
    EXPECT_FALSE(read.open[0].sending);
    EXPECT_EQ(read.open[1].given.id, 2U);
    EXPECT_TRUE(read.open[1].sending);
    EXPECT_EQ(read.open[2].given.id, 6U);
    EXPECT_EQ(read.lastId, 6U);
    ASSERT_EQ(read.settled.size(), 2U);
    EXPECT_EQ(read.settled[0].state, command_state::kSent);
}

TEST(CommandJournalTest, LinesWaitWhileTheFolderCannotBeWritten) {
    TempFolder folder;
    const std::string blocked = folder.PathOf("file");
    WriteFile(blocked, "");
    CommandJournal journal(blocked, false);
    journal.Note(Entry(1, command_state::kHeld, kHeldClock));
    journal.Flush();
    const std::optional<std::string> failure = journal.TakeFailure();
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(failure->find("commands not recorded in " + blocked), std::string::npos) << *failure;
    journal.SetFolder(folder.Path());
    journal.Flush();
    EXPECT_EQ(ReadJournal(folder.Path(), {CommandJournalName(LocalTimeOf(kAt))}).open.size(), 1U);
}

TEST(CommandJournalTest, RecentNamesCrossTheYear) {
    EXPECT_EQ(
        RecentJournalNames(test::TmOf(2026, 1, 2), 2),
        (std::vector<std::string>{"Commands_1231.txt", "Commands_0101.txt", "Commands_0102.txt"}));
}

}  // namespace
}  // namespace tarnwick
