#pragma once

// Commands from the operator page, run on the front end's thread as a typed one would be: the
// web thread queues each with what to do with its answer, and the front end runs them when it
// serves the centre, a few milliseconds a turn at most, and hands each its answer. The queue is
// bounded: a flood of commands gets 503s, never the front end's time.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "session/device_table.h"
#include "web/web_request.h"

namespace tarnwick {

class Session;

struct PageCommand {
    enum class Kind { Send, Hold, Cancel };
    Kind kind = Kind::Send;
    std::string key = {};     // Send, Hold
    std::string text = {};    // Send, Hold: as typed, "hex:" before hex text
    std::uint64_t id = 0;     // Cancel
    std::string client = {};  // who asked, for the audit line
};

class PageCommands {
public:
    static constexpr std::size_t kMostQueued = 256;
    // Any thread but the web's own: the command's answer, once.
    using Answer = std::function<void(WebReply reply)>;

    // wake: the front end's, run when a command waits.
    explicit PageCommands(std::function<void()> wake) : m_wake(std::move(wake)) {}

    // The web thread: false when the queue is full or closed, and answer is not kept.
    [[nodiscard]] bool Post(PageCommand command, Answer answer);
    // The front end's thread: runs the queued commands for one turn; audit is given one line
    // for each. True when some are left for the next turn.
    [[nodiscard]] bool Run(Session& session, HoldFor holdFor,
                           const std::function<void(std::string_view line)>& audit);
    // At the stop: every command still queued is answered 503, and no more are taken.
    void Close();

private:
    struct Queued {
        PageCommand command;
        Answer answer;
    };

    std::function<void()> m_wake;
    std::mutex m_mutex;
    std::deque<Queued> m_queue;
    bool m_closed = false;
};

// What command does to session, and its answer as the API gives it, with the outcome's words
// for the audit line.
struct PageOutcome {
    WebReply reply;
    std::string said;  // "held as 7", "sent", "refused: no device 4"
};
[[nodiscard]] PageOutcome RunPageCommand(Session& session, const PageCommand& command,
                                         HoldFor holdFor);

// "web command from 127.0.0.1 for device 4, held: \"RESET\": held as 7"
[[nodiscard]] std::string AuditLine(const PageCommand& command, std::string_view said);

inline constexpr auto kPageCommandsTurn = std::chrono::milliseconds(2);

}  // namespace tarnwick
