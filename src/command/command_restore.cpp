#include "command/command_restore.h"

#include "command/command_composer.h"
#include "log/journal_files.h"
#include "log/journal_reader.h"
#include "session/session.h"

namespace tarnwick {
namespace {

void Restore(DeviceTable& devices, const OpenCommand& open, std::int64_t left,
             const Moment& moment) {
    const CommandBody body = ParseCommandBody(open.given.text);
    ComposedCommand command = ComposeCommand(body.bufferText, body.mode);
    const HoldResult held = command.outcome == CommandOutcome::Sent
                                ? devices.Restore(open.given, std::move(command.datagram),
                                                  std::chrono::seconds(left), moment)
                                : HoldResult{HoldResult::Outcome::NoDevice};
    // Only a table set smaller since (--max-held, --max-devices) refuses what it held before.
    if (held.outcome != HoldResult::Outcome::Held) {
        devices.SettledAtStart(open.given, DeviceEvent::Kind::Expired, moment,
                               RefusalText(CommandOutcome::HeldFull));
    }
}

}  // namespace

void RestoreCommands(Session& session, std::time_t now, const HoldClock& clockNow) {
    DeviceTable& devices = session.Devices();
    const JournalRead read = ReadJournal(session.Journal().Folder(),
                                         JournalNamesWithin(now, devices.Settings().holdFor));
    devices.RestoreHistory(read.settled, read.lastId);
    const Moment moment = session.Now();
    for (const OpenCommand& open : read.open) {
        const std::int64_t left = SecondsLeft(open.lastClock, now, clockNow);
        if (open.sending) {
            devices.SettledAtStart(open.given, DeviceEvent::Kind::Unknown, moment);
        } else if (left <= 0) {
            devices.SettledAtStart(open.given, DeviceEvent::Kind::Expired, moment);
        } else {
            Restore(devices, open, left, moment);
        }
    }
    // What became of each is on file before the forwarder reads the journal for its ids.
    session.Journal().Flush();
}

}  // namespace tarnwick
