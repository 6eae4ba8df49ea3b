#include "command/command_restore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command/command_composer.h"
#include "log/journal_files.h"
#include "log/journal_reader.h"
#include "session/session_fixture.h"

namespace tarnwick::enginetest {
namespace {

constexpr std::time_t kHeldAt = 1'772'892'309;
constexpr std::time_t kStartAt = kHeldAt + 600;  // the next start, ten minutes on
const HoldClock kStartClock{"boot-a", 1600, 0};

CommandEntry Line(std::uint64_t id, std::string_view state, std::int64_t left = -1) {
    CommandEntry entry{
        kHeldAt, id, "4", std::string(state), "stdin", "KEEP" + std::to_string(id), std::nullopt};
    if (left >= 0) {
        entry.clock = HoldClock{"boot-a", 1000, left};
    }
    return entry;
}

DeviceSettings ByField() {
    DeviceSettings settings;
    settings.key = *ParseDeviceKeyRule("field:ID");
    settings.holdFor = std::chrono::hours(1);
    return settings;
}

std::vector<DeviceEvent::Kind> Kinds(const std::vector<DeviceEvent>& events) {
    std::vector<DeviceEvent::Kind> kinds;
    for (const DeviceEvent& event : events) {
        kinds.push_back(event.kind);
    }
    return kinds;
}

class CommandRestoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        CommandJournal journal(folder.Path(), false);
        for (const CommandEntry& entry : {
                 Line(1, command_state::kHeld, 3600),  // waits on: 600 s gone on the boot's clock
                 Line(2, command_state::kHeld, 3600),  // killed between sending and sent
                 Line(2, command_state::kSending),
                 Line(3, command_state::kHeld, 3600),  // sent before the stop
                 Line(3, command_state::kSending), Line(3, command_state::kSent),
                 Line(5, command_state::kHeld, 100),  // its time ran out while stopped
             }) {
            journal.Note(entry);
        }
    }
    // The files of the day the commands were held and of today, when the test runs.
    [[nodiscard]] static std::vector<std::string> JournalNames() {
        std::vector<std::string> names = RecentJournalNames(LocalTimeOf(kStartAt), 1);
        names.push_back(CommandJournalName(LocalTimeOf(std::time(nullptr))));
        return names;
    }

    test::TempFolder folder;
    WaitableFrontEnd front;
    Peer device;
};

TEST_F(CommandRestoreTest, HeldCommandsWaitOnAndThoseCutShortAreNeverSent) {
    Session session(ConfigFor(folder.PathOf("Data_logs_0307.txt"), front.Waker(), ByField()));
    RestoreCommands(session, kStartAt, kStartClock);
    EXPECT_EQ(Kinds(session.Devices().TakeEvents()),
              (std::vector{DeviceEvent::Kind::Restored, DeviceEvent::Kind::Unknown,
                           DeviceEvent::Kind::Expired}));
    const std::vector<HeldCommand> held = session.Devices().HeldCommands();
    ASSERT_EQ(held.size(), 1U);
    EXPECT_EQ(held[0].id, 1U);
    EXPECT_EQ(held[0].source, "stdin");
    EXPECT_TRUE(held[0].expires - session.Now().steady > std::chrono::seconds(2990));
    // Numbered on after the journal's last.
    EXPECT_EQ(HoldCommand(session, "9", "NEW", CommandMode::Text, HoldFor::AnyKey).heldId, 6U);

    ASSERT_TRUE(session.Listen(0).ok());
    device.SendTo(session.Port(), "#ST,123;ID:4;#");
    EXPECT_EQ(device.ReceiveBytes(), ToBytes("#517KEEP1"));
    EXPECT_FALSE(device.Receive(kQuiet));
    session.Close();

    // The next start finds nothing open but the new hold: each went out once at most.
    const JournalRead read = ReadJournal(folder.Path(), JournalNames());
    ASSERT_EQ(read.open.size(), 1U);
    EXPECT_EQ(read.open[0].given.id, 6U);
    EXPECT_EQ(read.settled.back().state, command_state::kSent);
    EXPECT_EQ(session.Devices().History("4").size(), 4U);
}

}  // namespace
}  // namespace tarnwick::enginetest
