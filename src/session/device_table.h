#pragma once

// The devices the centre has heard: the senders of accepted device records (a stray datagram
// never makes a device), each under its key (device_key.h), with its latest address, when it
// was first and last heard, how many records it sent and the latest of them as logged, and the
// commands sent to it. Bounded: beyond its capacity the device heard least recently is
// forgotten, and counted.
//
// Commands held for a device's next report wait under its key, not in the device's entry: a
// device forgotten because others (spoofed or real) reported is given its commands when its key
// reports again, so no sender can cancel what the operator held. Each key holds a bounded
// number of them, and a report takes at most kDeliveredPerReport, so a device is never sent
// more than it can take in one burst.
//
// Every command it is given or settles goes on record in the command journal, with its state:
// a held one as it is held, as it is being sent (before its datagram leaves: the log stage has
// the journal written first), and as what became of it; one sent now once the socket took it;
// one refused with why. The last states stay listed as each device's command history.
//
// Thread-safe: the log stage writes it, the session ticks it, the front ends read snapshots and
// events, and hold or cancel commands.

#include <chrono>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "log/command_journal.h"
#include "log/journal_reader.h"
#include "net/client_list.h"
#include "session/device_key.h"
#include "session/moment.h"

namespace tarnwick {

struct DeviceSettings {
    DeviceKeyRule key;
    std::size_t maxDevices = 100'000;
    std::chrono::seconds holdFor = std::chrono::hours(24);
    std::chrono::seconds silentAfter = std::chrono::minutes(10);
    std::size_t maxHeld = 100;  // commands waiting for one key at most
    // A record equal to one of its device's within this is a resend (resend_window.h); 0: none.
    std::chrono::seconds resendWindow = std::chrono::minutes(10);
};

// Held commands that leave after one report at most; the rest wait for the next.
inline constexpr std::size_t kDeliveredPerReport = 16;
// The bytes of the commands waiting for keys not heard yet, at most: a broker's flood of holds
// for made-up keys takes no more memory than this, however many keys it names.
inline constexpr std::size_t kMostUnheardBytes = 16 * 1024 * 1024;

// One device as the front ends show it.
struct DeviceRow {
    std::string key;
    socket_info client;  // the address and port of its latest record: where commands go
    std::time_t firstHeard = 0;
    std::time_t lastHeard = 0;
    std::uint64_t records = 0;
    std::string latestRecord;        // as logged: sender, ':' and the record
    std::uint64_t commandsHeld = 0;  // waiting now
    std::uint64_t commandsSent = 0;  // every command delivered: addressed, held or to the newest
    std::string latestCommand;       // as typed, "hex:" before hex text
    std::time_t latestCommandAt = 0;
    bool silent = false;        // nothing heard for longer than silentAfter
    std::uint64_t resends = 0;  // of its records, those that were resends
};

// SentElsewhere: another centre on the same broker delivered the same command, so this copy
// was dropped. NotSent: the socket refused it at the device's report.
enum class HeldState { Waiting, Sent, Expired, Cancelled, SentElsewhere, NotSent };

// A command held for a device's next report.
struct HeldCommand {
    std::uint64_t id = 0;
    std::string key;                     // the device it waits for
    std::vector<std::uint8_t> datagram;  // what goes out
    std::string text;                    // what the operator typed, for the lists
    std::string source;                  // who gave it, as the journal has it
    HeldState state = HeldState::Waiting;
    std::time_t heldSince = 0;
    std::time_t sentAt = 0;  // or expired or cancelled at
    std::chrono::steady_clock::time_point expires{};
    int errorCode = 0;  // NotSent: the socket's error
};

// Something a front end reports: held-command states, silences, forgotten devices.
struct DeviceEvent {
    enum class Kind {
        Held,
        Sent,
        Expired,
        Cancelled,
        SentElsewhere,
        SendFailed,
        Silent,
        Reporting,
        Forgotten,
        Unreported,  // commandId: how many events were passed over, nobody taking them
        Restored,    // held again at a start, from the journal
        Unknown,     // the centre stopped while sending it: not sent again
    };
    Kind kind;
    std::string key;
    std::uint64_t commandId = 0;  // for the held-command kinds
    std::string text;             // the command's text, for the held-command kinds
    int errorCode = 0;            // SendFailed: the socket error
};

// "held", "sent", "expired", "cancelled", "sent by another centre", "not sent", "silent",
// "reporting again", "forgotten", "not reported", "restored", "unknown: the centre stopped while
// sending it"
[[nodiscard]] std::string_view DeviceEventWord(DeviceEvent::Kind kind);

// The table in figures, for a scrape.
struct DeviceCounts {
    std::size_t devices = 0;
    std::size_t silent = 0;
    std::size_t held = 0;            // commands waiting now
    std::uint64_t commandsSent = 0;  // since the start, as the devices' rows count them
    bool operator==(const DeviceCounts&) const = default;
};

// Who a command may be held for: devices in the table, or any key (one of several centres: the
// device may report here next).
enum class HoldFor { HeardDevices, AnyKey };

struct HoldResult {
    // KeysFull: commands wait for as many keys not heard yet as devices are kept, or fill
    // kMostUnheardBytes.
    enum class Outcome { Held, NoDevice, Full, KeysFull };
    Outcome outcome = Outcome::Held;
    std::uint64_t id = 0;  // Held: the command's id
};

// Who gave a command, as the journal says: "window", "stdin", "broker URL id ID" or "page
// ADDRESS".
inline constexpr std::string_view kFromWindow = "window";
inline constexpr std::string_view kFromStdin = "stdin";
[[nodiscard]] std::string FromBroker(std::string_view url, std::string_view id);
[[nodiscard]] std::string FromPage(std::string_view clientAddress);

class DeviceTable {
public:
    // journal: where commands go on record (none: nowhere); holdClock: the clock the journal's
    // held lines are measured on, across restarts.
    explicit DeviceTable(DeviceSettings settings, CommandJournal* journal = nullptr,
                         std::function<HoldClock()> holdClock = SystemHoldClock);

    [[nodiscard]] const DeviceSettings& Settings() const { return m_settings; }

    // The log stage, for each accepted device record in arrival order: the record as logged
    // and its sender. Returns the commands now due for this device, to be sent right after the
    // record's answer, and each then given to Delivered.
    // resent: the record is a resend of one of the device's.
    std::vector<HeldCommand> Heard(std::string_view loggedRecord, std::string_view body,
                                   const socket_info& sender, const Moment& now,
                                   bool resent = false);
    // One of Heard's commands, as the socket took it (errorCode 0) or refused it: only a
    // datagram the socket took is said to be sent.
    void Delivered(const HeldCommand& command, int errorCode);
    // A command sent now to `to` (addressed, or to the newest sender): counted for the device
    // whose latest record came from there, if any, and said as sent; on record as not sent when
    // the socket refused it (errorCode). Its id.
    std::uint64_t CommandSent(const PeerAddress& to, std::string_view text, std::string_view source,
                              std::time_t at, int errorCode = 0);
    // The log stage, before the commands Heard gave leave: everything on record is written.
    void WriteRecord() {
        if (m_journal != nullptr) {
            m_journal->Flush();
        }
    }
    // A command that went no further than state (refused, or not sent, and why), on record.
    void CommandSettled(const std::string& key, std::string_view text, std::string_view source,
                        std::string state, std::time_t at);

    // Front ends.
    [[nodiscard]] std::vector<DeviceRow> Devices(const Moment& now) const;
    [[nodiscard]] std::optional<DeviceRow> Device(const std::string& key, const Moment& now) const;
    // Holds datagram for the device's next report, up to maxHeld a key.
    HoldResult Hold(const std::string& key, std::vector<std::uint8_t> datagram, std::string text,
                    const Moment& now, HoldFor who = HoldFor::HeardDevices,
                    std::string_view source = kFromWindow);
    // At a start, from the journal: what was on record, numbered on from lastId; an open
    // command held again for what it has left (left), whatever key it waits for; one settled
    // while the centre was stopped (kind Expired or Unknown), said and put on record as state
    // (none: the kind's word).
    void RestoreHistory(const std::vector<CommandEntry>& settled, std::uint64_t lastId);
    HoldResult Restore(const CommandEntry& given, std::vector<std::uint8_t> datagram,
                       std::chrono::seconds left, const Moment& now);
    void SettledAtStart(const CommandEntry& given, DeviceEvent::Kind kind, const Moment& now,
                        std::optional<std::string> state = std::nullopt);
    // The latest states of the commands for key, newest first, at most most.
    [[nodiscard]] std::vector<CommandEntry> History(const std::string& key,
                                                    std::size_t most = 50) const;
    // A waiting command settled without being sent here; false when it waits no longer.
    bool Cancel(std::uint64_t id, const Moment& now);
    bool SentElsewhere(std::uint64_t id, const Moment& now);
    // Every held command still listed (waiting, and the last ones sent, expired or cancelled),
    // in the order they were held.
    [[nodiscard]] std::vector<HeldCommand> HeldCommands() const;
    [[nodiscard]] std::size_t Waiting() const;
    // Every event since the last call.
    [[nodiscard]] std::vector<DeviceEvent> TakeEvents();
    [[nodiscard]] std::uint64_t Forgotten() const;
    [[nodiscard]] DeviceCounts Counts(const Moment& now) const;

    // The session's upkeep, about once a second: expires commands held too long, notes devices
    // going silent, and keeps only the last settled commands listed.
    void Tick(const Moment& now);

private:
    struct Entry {
        DeviceRow row;
        std::chrono::steady_clock::time_point heardAt{};
    };
    using Order = std::list<Entry>;  // most recently heard first

    [[nodiscard]] bool IsSilent(const Entry& entry, const Moment& now) const;
    [[nodiscard]] DeviceRow RowOf(const Entry& entry, const Moment& now) const;
    Entry& Find(const std::string& key, const socket_info& sender, const Moment& now);
    bool SettleWaiting(std::uint64_t id, HeldState state, DeviceEvent::Kind kind,
                       const Moment& now);
    // The commands due after one report of key, at most kDeliveredPerReport.
    std::vector<HeldCommand> Deliver(DeviceRow& row, const Moment& now);
    // Drops the device heard least recently; its held commands stay under its key.
    void Forget();
    // kind: the event said, none for a delivery, said once the socket has taken it.
    void Settle(HeldCommand command, HeldState state, std::time_t at,
                std::optional<DeviceEvent::Kind> kind);
    // Takes one waiting command out of its key's queue.
    HeldCommand TakeWaiting(const std::string& key, std::deque<HeldCommand>::iterator command);
    [[nodiscard]] bool Heard(const std::string& key) const { return m_byKey.contains(key); }
    void NoteSilences(const Moment& now);
    void ExpireHeld(const Moment& now);
    void AddEvent(DeviceEvent event);
    // On record, and listed in the history once it settles. Under m_mutex.
    // left: a held line's, with the hold clock.
    void Note(const HeldCommand& command, std::string state, std::time_t at,
              std::optional<std::chrono::seconds> left = std::nullopt);
    void Note(CommandEntry entry);
    [[nodiscard]] HoldResult Admit(const HeldCommand& command, HoldFor who) const;
    HoldResult Wait(HeldCommand command);

    DeviceSettings m_settings;
    CommandJournal* m_journal = nullptr;
    std::function<HoldClock()> m_holdClock;
    mutable std::mutex m_mutex;
    Order m_order;
    std::unordered_map<std::string, Order::iterator> m_byKey;
    // Waiting commands by key, each key's in the order they were held, and the key of each by
    // its id.
    std::unordered_map<std::string, std::deque<HeldCommand>> m_waiting;
    std::unordered_map<std::uint64_t, std::string> m_waitingKey;
    std::size_t m_waitingCount = 0;
    std::size_t m_unheardBytes = 0;      // of the commands waiting for keys not in the table
    std::deque<HeldCommand> m_settled;   // the last ones, newest last
    std::deque<CommandEntry> m_history;  // the last states of commands of every source
    std::vector<DeviceEvent> m_events;
    std::uint64_t m_unreported = 0;
    std::uint64_t m_nextId = 1;
    std::uint64_t m_forgotten = 0;
    std::uint64_t m_commandsSent = 0;
};

}  // namespace tarnwick
