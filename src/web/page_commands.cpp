#include "web/page_commands.h"

#include <algorithm>

#include "command/command_composer.h"
#include "record/control_escapes.h"
#include "session/session.h"
#include "web/web_json.h"

namespace tarnwick {
namespace {

// The report's last message, on one line: the one that says why.
std::string Why(const CommandReport& report) {
    const std::vector<OperatorMessage> messages = report.Messages();
    std::string why = messages.empty() ? std::string() : messages.back().text;
    for (std::size_t at = why.find("\r\n"); at != std::string::npos; at = why.find("\r\n")) {
        why.replace(at, 2, " ");
    }
    return why;
}

unsigned StatusOf(CommandOutcome outcome) {
    switch (outcome) {
        case CommandOutcome::Sent:
        case CommandOutcome::SendFailed:
            return 200;
        case CommandOutcome::Held:
            return 201;
        case CommandOutcome::NoClient:
        case CommandOutcome::NoDevice:
            return 404;
        case CommandOutcome::HeldFull:
        case CommandOutcome::KeysFull:
            return 409;
        case CommandOutcome::HexPrompt:
        case CommandOutcome::HexNotHex:
        case CommandOutcome::HexTooLong:
            return 400;
    }
    return 500;
}

PageOutcome Answered(const CommandReport& report) {
    const unsigned status = StatusOf(report.outcome);
    if (report.outcome == CommandOutcome::Held) {
        return {{status, nlohmann::json{{"id", report.heldId}, {"state", "waiting"}}.dump()},
                "held as " + std::to_string(report.heldId)};
    }
    if (report.outcome == CommandOutcome::Sent) {
        return {{status, nlohmann::json{{"state", "sent"}}.dump()}, "sent"};
    }
    const std::string why = Why(report);
    if (report.outcome == CommandOutcome::SendFailed) {
        return {{status, JsonText({{"state", "not sent"}, {"why", why}})}, "not sent: " + why};
    }
    return {{status, JsonText({{"error", why}})}, "refused: " + why};
}

PageOutcome Cancel(Session& session, std::uint64_t id) {
    if (session.Devices().Cancel(id, session.Now())) {
        return {{200, nlohmann::json{{"id", id}, {"state", "cancelled"}}.dump()}, "cancelled"};
    }
    const std::vector<HeldCommand> listed = session.Devices().HeldCommands();
    const auto found = std::ranges::find(listed, id, &HeldCommand::id);
    if (found == listed.end()) {
        const std::string why = "no command " + std::to_string(id);
        return {ErrorReply(404, why), "refused: " + why};
    }
    const std::string why = "command " + std::to_string(id) +
                            " is no longer waiting: " + std::string(HeldStateWord(found->state));
    return {ErrorReply(409, why), "refused: " + why};
}

}  // namespace

PageOutcome RunPageCommand(Session& session, const PageCommand& command, HoldFor holdFor) {
    if (command.kind == PageCommand::Kind::Cancel) {
        return Cancel(session, command.id);
    }
    const CommandBody body = ParseCommandBody(command.text);
    const std::string source = FromPage(command.client);
    return Answered(
        command.kind == PageCommand::Kind::Hold
            ? HoldCommand(session, command.key, body.bufferText, body.mode, holdFor, source)
            : SendToDevice(session, command.key, body.bufferText, body.mode, source));
}

std::string AuditLine(const PageCommand& command, std::string_view said) {
    const std::string who = "web command from " + command.client;
    if (command.kind == PageCommand::Kind::Cancel) {
        return who + ": cancel command " + std::to_string(command.id) + ": " + std::string(said);
    }
    return who + " for device " + EscapeControlBytes(command.key) +
           (command.kind == PageCommand::Kind::Hold ? ", held: \"" : ", now: \"") +
           EscapeControlBytes(command.text) + "\": " + std::string(said);
}

bool PageCommands::Post(PageCommand command, Answer answer) {
    {
        std::lock_guard lock(m_mutex);
        if (m_closed || m_queue.size() >= kMostQueued) {
            return false;
        }
        m_queue.push_back({std::move(command), std::move(answer)});
    }
    m_wake();
    return true;
}

bool PageCommands::Run(Session& session, HoldFor holdFor,
                       const std::function<void(std::string_view line)>& audit) {
    const auto turnEnds = std::chrono::steady_clock::now() + kPageCommandsTurn;
    for (;;) {
        Queued queued;
        {
            std::lock_guard lock(m_mutex);
            if (m_queue.empty()) {
                return false;
            }
            if (std::chrono::steady_clock::now() >= turnEnds) {
                return true;
            }
            queued = std::move(m_queue.front());
            m_queue.pop_front();
        }
        PageOutcome outcome = RunPageCommand(session, queued.command, holdFor);
        audit(AuditLine(queued.command, outcome.said));
        queued.answer(std::move(outcome.reply));
    }
}

void PageCommands::Close() {
    std::deque<Queued> left;
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        left.swap(m_queue);
    }
    for (Queued& queued : left) {
        queued.answer(ErrorReply(503, "the centre is stopping; the command was not run"));
    }
}

}  // namespace tarnwick
