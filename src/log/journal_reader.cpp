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

// Every whole line of the files, in order; lines torn or not the journal's are passed over.
template <typename Take>
void ReadEntries(const std::string& folder, const std::vector<std::string>& names, Take take) {
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
                take(std::move(*entry));
            }
            rest.remove_prefix(end + 1);
        }
    }
}

}  // namespace

JournalRead ReadJournal(const std::string& folder, const std::vector<std::string>& names) {
    Reading reading;
    ReadEntries(folder, names, [&reading](CommandEntry entry) { reading.Take(std::move(entry)); });
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

// Ids are numbered in the order commands are given, across restarts: the map's first is the
// oldest.
std::vector<CommandOnRecord> CommandsFrom(const std::string& folder,
                                          const std::vector<std::string>& names,
                                          std::string_view sourceStart, std::size_t most) {
    std::map<std::uint64_t, CommandOnRecord> commands;
    ReadEntries(folder, names, [&](CommandEntry entry) {
        if (!entry.source.starts_with(sourceStart)) {
            return;
        }
        const auto [found, first] = commands.try_emplace(entry.id, CommandOnRecord{entry.at, {}});
        found->second.last = std::move(entry);
        if (first && commands.size() > most) {
            commands.erase(commands.begin());
        }
    });
    std::vector<CommandOnRecord> oldestFirst;
    oldestFirst.reserve(commands.size());
    for (auto& [id, command] : commands) {
        oldestFirst.push_back(std::move(command));
    }
    return oldestFirst;
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
