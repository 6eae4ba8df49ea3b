#include "log/journal_reader.h"

#include <time.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace tarnwick {
namespace {

// Settled commands read back at most: enough for every device's recent history.
constexpr std::size_t kMostSettledRead = 10'000;

std::string ContentsOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Reading {
    std::map<std::uint64_t, OpenCommand> open;  // by id: in the order held
    JournalRead read;

    void Take(CommandEntry entry) {
        read.lastId = std::max(read.lastId, entry.id);
        auto found = open.find(entry.id);
        if (Settles(entry.state)) {
            if (found != open.end()) {
                open.erase(found);
            }
            read.settled.push_back(std::move(entry));
            if (read.settled.size() > 2 * kMostSettledRead) {
                read.settled.erase(
                    read.settled.begin(),
                    read.settled.end() - static_cast<std::ptrdiff_t>(kMostSettledRead));
            }
            return;
        }
        if (found == open.end()) {
            if (entry.state == command_state::kSending || !entry.clock) {
                return;  // its held line is in a file no longer read
            }
            open.emplace(entry.id, OpenCommand{entry, entry, false});
            return;
        }
        if (entry.state == command_state::kSending) {
            found->second.sending = true;
        } else if (entry.clock) {
            found->second.lastClock = std::move(entry);
        }
    }
};

}  // namespace

JournalRead ReadJournal(const std::string& folder, const std::vector<std::string>& names) {
    Reading reading;
    for (const std::string& name : names) {
        std::string path = folder;
        path += '/';
        path += name;
        const std::string contents = ContentsOf(path);
        std::string_view rest(contents);
        // The last line without its line feed was torn by a stop.
        for (std::size_t end = rest.find('\n'); end != std::string_view::npos;
             end = rest.find('\n')) {
            if (auto entry = CommandEntryOf(rest.substr(0, end))) {
                reading.Take(std::move(*entry));
            }
            rest.remove_prefix(end + 1);
        }
    }
    JournalRead read = std::move(reading.read);
    if (read.settled.size() > kMostSettledRead) {
        read.settled.erase(read.settled.begin(),
                           read.settled.end() - static_cast<std::ptrdiff_t>(kMostSettledRead));
    }
    for (auto& [id, command] : reading.open) {
        read.open.push_back(std::move(command));
    }
    return read;
}

std::int64_t SecondsLeft(const CommandEntry& lastClock, std::time_t now,
                         const HoldClock& clockNow) {
    const HoldClock& then = *lastClock.clock;
    const std::int64_t elapsed = then.boot == clockNow.boot
                                     ? clockNow.upSeconds - then.upSeconds
                                     : static_cast<std::int64_t>(now - lastClock.at);
    return std::clamp<std::int64_t>(then.leftSeconds - std::max<std::int64_t>(elapsed, 0), 0,
                                    then.leftSeconds);
}

HoldClock SystemHoldClock() {
    HoldClock clock;
    std::ifstream("/proc/sys/kernel/random/boot_id") >> clock.boot;
    timespec up{};
    clock_gettime(CLOCK_BOOTTIME, &up);
    clock.upSeconds = up.tv_sec;
    if (clock.boot.empty()) {
        clock.boot.push_back('-');  // no boot id: the wall clock is all there is
    }
    return clock;
}

}  // namespace tarnwick
