#pragma once

// The command journal: every command from every source, and every state it goes through, one
// line each (command_entry.h) appended to the day's file in the log folder (journal_files.h),
// a batch of lines in one append as the log's entries are (append_file.h), so a kill -9 tears
// the last line at most. A thread of its own writes what is noted, so no front end waits for
// the disk; the log stage, before a held command leaves, has everything noted written first.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "log/command_entry.h"

namespace tarnwick {

class CommandJournal {
public:
    // Lines noted and not yet written, at most, while the folder cannot be written: the
    // oldest are kept, and the rest counted as lost.
    static constexpr std::size_t kMostWaiting = 100'000;

    // folder: the log folder. sync: as --sync, each append reaches the disk before it counts.
    CommandJournal(std::string folder, bool sync);
    CommandJournal(const CommandJournal&) = delete;
    CommandJournal& operator=(const CommandJournal&) = delete;
    // Writes what is still noted, then joins the thread.
    ~CommandJournal();

    // Any thread, never waiting for the disk.
    void Note(CommandEntry entry);
    // Everything noted so far is on file when this returns, or could not be written.
    void Flush();
    void SetFolder(std::string folder);
    [[nodiscard]] std::string Folder();

    // Any thread: why lines are not being written ("commands not recorded in DIR: REASON; they
    // wait"), with how many were lost past kMostWaiting, once each time it changes; nothing
    // when nothing changed.
    [[nodiscard]] std::optional<std::string> TakeFailure();

private:
    void Run(std::stop_token stop);
    // Under m_writing.
    void WriteWaiting();
    int Append(const std::string& folder, const std::vector<CommandEntry>& entries);

    const bool m_sync;
    std::mutex m_writing;    // held while lines are written, so they land in the order noted
    std::string m_lastFile;  // under m_writing: the file last appended to

    std::mutex m_mutex;  // guards the members below
    std::condition_variable_any m_noted;
    std::string m_folder;
    std::vector<CommandEntry> m_waiting;
    int m_error = 0;
    std::optional<std::string> m_failure;
    std::uint64_t m_lost = 0;
    std::uint64_t m_lostShown = 0;

    std::jthread m_thread;  // last: started once everything it uses is there
};

}  // namespace tarnwick
