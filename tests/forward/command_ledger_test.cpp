#include "forward/command_ledger.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "forward/recalled_commands.h"
#include "log/command_journal.h"
#include "session/device_table.h"
#include "support/temp_folder.h"

namespace tarnwick {
namespace {

using Result = std::pair<std::string, std::string>;  // id and state

BrokerCommand Hold(const std::string& id) {
    return {true, "u", id, "GO"};
}

const SentCommand kSentC1{"u", "c1"};
constexpr auto kHoldFor = std::chrono::seconds(60);
const CommandLedger::Clock::time_point kStart{};

void In(CommandLedger& ledger, const BrokerCommand& command,
        std::chrono::seconds after = std::chrono::seconds(0)) {
    (void)ledger.TakeIn(command, 0, kStart + after);
}

bool Sent(CommandLedger& ledger, const SentCommand& sent) {
    return ledger.Sent(sent, kStart);
}

std::vector<Result> ResultsOf(CommandLedger& ledger) {
    std::vector<Result> results;
    for (const CommandResult& result : ledger.TakeResults()) {
        EXPECT_EQ(result.level, "u");
        const nlohmann::json payload = nlohmann::json::parse(result.payload);
        results.emplace_back(payload.at("id"), payload.at("state"));
    }
    return results;
}

// The front end takes every command in and runs each; a hold is held as heldIds give.
void RunAll(CommandLedger& ledger, const std::vector<std::uint64_t>& heldIds) {
    std::size_t next = 0;
    for (const BrokerCommand& command : ledger.TakeCommands()) {
        if (command.hold) {
            ledger.Ran(command, "held", heldIds.at(next++), 0);
        } else {
            ledger.Ran(command, "sent", std::nullopt, 0);
        }
    }
}

struct LedgerRow {
    const char* proves;
    std::function<void(CommandLedger&)> steps;
    std::vector<std::uint64_t> sentElsewhere;  // the held ids the front end is to drop
    std::vector<Result> results;               // to publish, in order
};

TEST(CommandLedgerTest, AnIdIsOneCommandAndAnotherCentresSentDropsTheCopyHeldHere) {
    const std::vector<LedgerRow> rows = {
        {"a held copy",
         [](CommandLedger& ledger) {
             In(ledger, Hold("c1"));
             RunAll(ledger, {7});
             EXPECT_TRUE(Sent(ledger, kSentC1));
         },
         {7},
         {{"c1", "held"}}},
        {"a hold in hand: dropped as soon as it is held",
         [](CommandLedger& ledger) {
             In(ledger, Hold("c1"));
             const std::vector<BrokerCommand> taken = ledger.TakeCommands();
             EXPECT_FALSE(Sent(ledger, kSentC1)) << "nothing held yet";
             ledger.Ran(taken.at(0), "held", 7, 0);
         },
         {7},
         {{"c1", "held"}}},
        {"the same hold twice in hand: run once, both answered",
         [](CommandLedger& ledger) {
             In(ledger, Hold("c1"));
             In(ledger, Hold("c1"));
             RunAll(ledger, {7});
         },
         {},
         {{"c1", "held"}, {"c1", "held"}}},
        {"a repeat after it ran: answered with its state now, not run",
         [](CommandLedger& ledger) {
             In(ledger, Hold("c1"));
             RunAll(ledger, {7});
             EXPECT_TRUE(ledger.Settled(7, "sent", 0));
             In(ledger, Hold("c1"), kHoldFor - std::chrono::seconds(1));
             EXPECT_TRUE(ledger.TakeCommands().empty());
         },
         {},
         {{"c1", "held"}, {"c1", "sent"}, {"c1", "sent"}}},
        {"the same id after the hold time is a new command",
         [](CommandLedger& ledger) {
             In(ledger, Hold("c1"));
             RunAll(ledger, {7});
             In(ledger, Hold("c1"), kHoldFor);
             RunAll(ledger, {8});
         },
         {},
         {{"c1", "held"}, {"c1", "held"}}},
        {"a refused command is answered at once, never run, and taken for the record",
         [](CommandLedger& ledger) {
             const BrokerCommand refused{false, "u", "c1", "", kRefusedTooLong};
             EXPECT_TRUE(ledger.TakeIn(refused, 0, kStart));
             EXPECT_FALSE(ledger.More());
             EXPECT_EQ(ledger.TakeRefused(), std::vector<BrokerCommand>{refused});
         },
         {},
         {{"c1", "too long"}}},
        {"a hold not yet taken in is never run",
         [](CommandLedger& ledger) {
             In(ledger, Hold("c1"));
             In(ledger, Hold("c2"));
             (void)Sent(ledger, kSentC1);
             EXPECT_EQ(ledger.TakeCommands(), std::vector<BrokerCommand>{Hold("c2")});
         },
         {},
         {}},
        {"a hold arriving after another centre sent it: not run, nothing said",
         [](CommandLedger& ledger) {
             EXPECT_FALSE(Sent(ledger, kSentC1));
             In(ledger, Hold("c1"));
             EXPECT_TRUE(ledger.TakeCommands().empty());
         },
         {},
         {}},
        {"a command for now still runs",
         [](CommandLedger& ledger) {
             In(ledger, {false, "u", "c1", "GO"});
             EXPECT_FALSE(Sent(ledger, kSentC1));
             RunAll(ledger, {});
         },
         {},
         {{"c1", "sent"}}},
        {"our own sent handed back drops nothing",
         [](CommandLedger& ledger) {
             In(ledger, Hold("c1"));
             In(ledger, Hold("c2"));
             RunAll(ledger, {7, 8});
             EXPECT_TRUE(ledger.Settled(7, "sent", 0));
             EXPECT_FALSE(Sent(ledger, kSentC1)) << "our own";
             EXPECT_TRUE(ledger.TakeSentElsewhere().empty());
             EXPECT_TRUE(Sent(ledger, {"u", "c2"})) << "another centre's";
         },
         {8},
         {{"c1", "held"}, {"c2", "held"}, {"c1", "sent"}}},
        {"another key's sent drops nothing",
         [](CommandLedger& ledger) {
             In(ledger, Hold("c1"));
             RunAll(ledger, {7});
             EXPECT_FALSE(Sent(ledger, {"v", "c1"}));
         },
         {},
         {{"c1", "held"}}},
        {"a held command's later state goes out once",
         [](CommandLedger& ledger) {
             In(ledger, Hold("c1"));
             RunAll(ledger, {7});
             EXPECT_TRUE(ledger.Settled(7, "expired", 0));
             EXPECT_FALSE(ledger.Settled(7, "cancelled", 0));
             EXPECT_FALSE(ledger.Settled(9, "sent", 0)) << "no command of the broker's";
         },
         {},
         {{"c1", "held"}, {"c1", "expired"}}},
        {"a turn takes at most as many as it asks for, oldest first",
         [](CommandLedger& ledger) {
             In(ledger, Hold("c1"));
             In(ledger, Hold("c2"));
             EXPECT_EQ(ledger.TakeCommands(1), std::vector<BrokerCommand>{Hold("c1")});
             EXPECT_TRUE(ledger.More());
             EXPECT_EQ(ledger.TakeCommands(1), std::vector<BrokerCommand>{Hold("c2")});
             EXPECT_FALSE(ledger.More());
         },
         {},
         {}},
        {"results not published go out before those since",
         [](CommandLedger& ledger) {
             ledger.Ran(Hold("a"), "no device", std::nullopt, 0);
             ledger.Ran(Hold("b"), "no device", std::nullopt, 0);
             std::deque<CommandResult> taken = ledger.TakeResults();
             taken.pop_front();
             ledger.Ran(Hold("c"), "no device", std::nullopt, 0);
             ledger.ReturnResults(std::move(taken));
         },
         {},
         {{"b", "no device"}, {"c", "no device"}}},
    };
    for (const LedgerRow& row : rows) {
        SCOPED_TRACE(row.proves);
        CommandLedger ledger(kHoldFor);
        row.steps(ledger);
        EXPECT_EQ(ledger.TakeSentElsewhere(), row.sentElsewhere);
        EXPECT_EQ(ResultsOf(ledger), row.results);
    }
}

// The broker hands a command over again after a restart: the journal says what became of it.
TEST(CommandLedgerTest, AStartRemembersTheBrokersCommandsOnRecordAndSendsNoneTwice) {
    const test::TempFolder folder;
    ForwardSettings settings;
    settings.url = *ParseBrokerUrl("mqtt://b");
    settings.logFolder = folder.Path();
    settings.holdFor = std::chrono::hours(1);
    const std::time_t now = std::time(nullptr);
    const std::string url = BrokerUrlText(settings.url);
    struct Line {
        std::uint64_t id;
        const char* brokerId;
        std::string_view state;
        std::time_t ago = 60;
        std::string source = {};
    };
    {
        CommandJournal journal(folder.Path(), false);
        for (const Line& line : std::vector<Line>{
                 {1, "c1", command_state::kHeld},  // sent before the stop
                 {1, "c1", command_state::kSending},
                 {1, "c1", command_state::kSent},
                 {2, "c2", command_state::kHeld},  // held again at this start
                 {2, "c2", command_state::kRestored},
                 {3, "c3", "refused: invalid"},  // refused on arrival: a new one may come
                 {4, "c4", command_state::kSent, 60, "broker mqtt://other:1883 id c4"},
                 {5, "c5", command_state::kSent, 3601},  // past the hold time
                 {6, "c6", "not sent: Network is unreachable"},
                 {7, "c7", command_state::kUnknown},
                 {8, "c8", command_state::kSent, 60, "stdin"},
             }) {
            journal.Note({now - line.ago, line.id, "u", std::string(line.state),
                          line.source.empty() ? FromBroker(url, line.brokerId) : line.source, "GO",
                          std::nullopt});
        }
    }
    CommandLedger ledger(settings.holdFor);
    RecallBrokerCommands(ledger, settings, {kStart, now});
    for (const char* id : {"c1", "c2", "c3", "c4", "c5", "c6", "c7", "c8"}) {
        In(ledger, Hold(id));
    }
    EXPECT_EQ(ledger.TakeCommands(), (std::vector{Hold("c3"), Hold("c4"), Hold("c5"), Hold("c8")}));
    EXPECT_TRUE(ledger.Settled(2, "sent", 0)) << "the restored hold's state goes back";
    EXPECT_EQ(ResultsOf(ledger), (std::vector<Result>{{"c1", "sent"},
                                                      {"c2", "held"},
                                                      {"c6", "not sent"},
                                                      {"c7", "unknown"},
                                                      {"c2", "sent"}}));
}

TEST(CommandLedgerTest, AnInvalidKeysResultGoesToTheTopicAsPublished) {
    CommandLedger ledger;
    (void)ledger.TakeIn({true, "dev%31", "c1", "", kRefusedKey}, 0, kStart);
    EXPECT_EQ(ledger.TakeResults().at(0).level, "dev%31");
}

TEST(CommandLedgerTest, ResultsKeptWhileTheBrokerIsAwayAreBoundedOldestFirst) {
    CommandLedger ledger;
    for (std::size_t i = 0; i <= CommandLedger::kMostResults; ++i) {
        ledger.Ran({false, "u", std::to_string(i), "GO"}, "sent", std::nullopt, 0);
    }
    std::deque<CommandResult> results = ledger.TakeResults();
    ASSERT_EQ(results.size(), CommandLedger::kMostResults);
    EXPECT_EQ(nlohmann::json::parse(results.front().payload).at("id"), "1");
    ledger.Ran({false, "u", "last", "GO"}, "sent", std::nullopt, 0);
    ledger.ReturnResults(std::move(results));
    results = ledger.TakeResults();
    ASSERT_EQ(results.size(), CommandLedger::kMostResults);
    EXPECT_EQ(nlohmann::json::parse(results.back().payload).at("id"), "last");
}

}  // namespace
}  // namespace tarnwick
