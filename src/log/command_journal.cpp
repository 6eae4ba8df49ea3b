#include "log/command_journal.h"

#include <chrono>
#include <fstream>
#include <utility>

#include "log/append_file.h"
#include "log/journal_files.h"
#include "log/year_folder.h"

namespace tarnwick {
namespace {

// How soon lines that could not be written are tried again.
constexpr auto kRetryEvery = std::chrono::seconds(1);

// A file a kill -9 left with a torn last line: the next line starts on a line of its own.
bool EndsMidLine(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in || in.tellg() <= 0) {
        return false;
    }
    in.seekg(-1, std::ios::end);
    return in.get() != '\n';
}

// The first lines of a run, or of a day, into the file of its name: last year's file of that
// day goes to its year folder first, and a line a kill -9 tore is ended.
void StartFile(const std::string& path, std::time_t at, std::string& pending) {
    if (const LocalTime t = LocalTimeOf(at)) {
        (void)SetAsideEarlierYear(path, t->tm_year + 1900, {}, kJournalFamily.yearAfter);
    }
    if (EndsMidLine(path)) {
        pending += '\n';
    }
}

}  // namespace

CommandJournal::CommandJournal(std::string folder, bool sync)
    : m_sync(sync),
      m_folder(std::move(folder)),
      m_thread([this](std::stop_token stop) { Run(std::move(stop)); }) {}

CommandJournal::~CommandJournal() {
    m_thread.request_stop();
    m_thread.join();
    Flush();
}

void CommandJournal::Note(CommandEntry entry) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_waiting.size() >= kMostWaiting) {
            ++m_lost;
            return;
        }
        m_waiting.push_back(std::move(entry));
    }
    m_noted.notify_one();
}

void CommandJournal::Flush() {
    const std::lock_guard writing(m_writing);
    WriteWaiting();
}

void CommandJournal::SetFolder(std::string folder) {
    {
        const std::lock_guard lock(m_mutex);
        m_folder = std::move(folder);
    }
    m_noted.notify_one();
}

std::string CommandJournal::Folder() {
    const std::lock_guard lock(m_mutex);
    return m_folder;
}

std::optional<std::string> CommandJournal::TakeFailure() {
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_failure, std::nullopt);
}

void CommandJournal::Run(std::stop_token stop) {
    std::unique_lock lock(m_mutex);
    while (!stop.stop_requested()) {
        const bool retry = m_error != 0;
        m_noted.wait_for(lock, stop, kRetryEvery,
                         [this, retry] { return !m_waiting.empty() && !retry; });
        if (m_waiting.empty()) {
            continue;
        }
        lock.unlock();
        Flush();
        lock.lock();
    }
}

void CommandJournal::WriteWaiting() {
    std::vector<CommandEntry> entries;
    std::string folder;
    {
        const std::lock_guard lock(m_mutex);
        entries.swap(m_waiting);
        folder = m_folder;
    }
    if (entries.empty()) {
        return;
    }
    const int error = Append(folder, entries);
    const std::lock_guard lock(m_mutex);
    if (error != 0) {
        // Before whatever was noted meanwhile, as they were given.
        entries.insert(entries.end(), std::make_move_iterator(m_waiting.begin()),
                       std::make_move_iterator(m_waiting.end()));
        if (entries.size() > kMostWaiting) {
            m_lost += entries.size() - kMostWaiting;
            entries.resize(kMostWaiting);
        }
        m_waiting = std::move(entries);
    }
    if (error == m_error && m_lost == m_lostShown) {
        return;
    }
    m_error = error;
    m_lostShown = m_lost;
    const std::string lost =
        m_lost == 0 ? "" : "; " + std::to_string(m_lost) + " lines lost since the start";
    m_failure = error == 0 ? "commands recorded again in " + folder + lost
                           : "commands not recorded in " + folder + ": " + AppendErrorText(error) +
                                 "; they wait" + lost;
}

// Each line to the file of its own day, the lines of one day in one append.
int CommandJournal::Append(const std::string& folder, const std::vector<CommandEntry>& entries) {
    std::string pending;
    std::string file;
    for (const CommandEntry& entry : entries) {
        const std::string name = CommandJournalName(LocalTimeOf(entry.at));
        if (name != file && !pending.empty()) {
            if (const int error = AppendWhole(folder + "/" + file, pending, {m_sync, {}});
                error != 0) {
                return error;
            }
            pending.clear();
        }
        if (name != m_lastFile) {
            StartFile(folder + "/" + name, entry.at, pending);
        }
        file = name;
        m_lastFile = name;
        pending += CommandLine(entry);
    }
    return AppendWhole(folder + "/" + file, pending, {m_sync, {}});
}

}  // namespace tarnwick
