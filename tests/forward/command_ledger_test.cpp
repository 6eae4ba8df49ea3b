#include "forward/command_ledger.h"

#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

namespace tarnwick {
namespace {

using Result = std::pair<std::string, std::string>;  // id and state

BrokerCommand Hold(const std::string& id) {
    return {true, "u", id, "GO"};
}

const SentCommand kSentC1{"u", "c1"};

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

TEST(CommandLedgerTest, AnotherCentresSentDropsEveryCopyHeldHereAndOurOwnDropsNothing) {
    const std::vector<LedgerRow> rows = {
        {"a held copy",
         [](CommandLedger& ledger) {
             ledger.TakeIn(Hold("c1"));
             RunAll(ledger, {7});
             EXPECT_TRUE(ledger.Sent(kSentC1));
         },
         {7},
         {{"c1", "held"}}},
        {"a hold in hand: dropped as soon as it is held",
         [](CommandLedger& ledger) {
             ledger.TakeIn(Hold("c1"));
             const std::vector<BrokerCommand> taken = ledger.TakeCommands();
             EXPECT_FALSE(ledger.Sent(kSentC1)) << "nothing held yet";
             ledger.Ran(taken.at(0), "held", 7, 0);
         },
         {7},
         {{"c1", "held"}}},
        {"the same hold twice in hand: both copies",
         [](CommandLedger& ledger) {
             ledger.TakeIn(Hold("c1"));
             ledger.TakeIn(Hold("c1"));
             const std::vector<BrokerCommand> taken = ledger.TakeCommands();
             (void)ledger.Sent(kSentC1);
             ledger.Ran(taken.at(0), "held", 7, 0);
             ledger.Ran(taken.at(1), "held", 8, 0);
         },
         {7, 8},
         {{"c1", "held"}, {"c1", "held"}}},
        {"a hold not yet taken in is never run",
         [](CommandLedger& ledger) {
             ledger.TakeIn(Hold("c1"));
             ledger.TakeIn(Hold("c2"));
             (void)ledger.Sent(kSentC1);
             EXPECT_EQ(ledger.TakeCommands(), std::vector<BrokerCommand>{Hold("c2")});
         },
         {},
         {}},
        {"a command for now still runs",
         [](CommandLedger& ledger) {
             ledger.TakeIn({false, "u", "c1", "GO"});
             EXPECT_FALSE(ledger.Sent(kSentC1));
             RunAll(ledger, {});
         },
         {},
         {{"c1", "sent"}}},
        {"our own sent handed back drops nothing, another centre's after it does",
         [](CommandLedger& ledger) {
             ledger.TakeIn(Hold("c1"));
             ledger.TakeIn(Hold("c1"));
             RunAll(ledger, {7, 8});
             EXPECT_TRUE(ledger.Settled(7, "sent", 0));
             EXPECT_FALSE(ledger.Sent(kSentC1)) << "our own";
             EXPECT_TRUE(ledger.TakeSentElsewhere().empty());
             EXPECT_TRUE(ledger.Sent(kSentC1)) << "another centre's";
         },
         {8},
         {{"c1", "held"}, {"c1", "held"}, {"c1", "sent"}}},
        {"another key's sent drops nothing",
         [](CommandLedger& ledger) {
             ledger.TakeIn(Hold("c1"));
             RunAll(ledger, {7});
             EXPECT_FALSE(ledger.Sent({"v", "c1"}));
         },
         {},
         {{"c1", "held"}}},
        {"a held command's later state goes out once",
         [](CommandLedger& ledger) {
             ledger.TakeIn(Hold("c1"));
             RunAll(ledger, {7});
             EXPECT_TRUE(ledger.Settled(7, "expired", 0));
             EXPECT_FALSE(ledger.Settled(7, "cancelled", 0));
             EXPECT_FALSE(ledger.Settled(9, "sent", 0)) << "no command of the broker's";
         },
         {},
         {{"c1", "held"}, {"c1", "expired"}}},
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
        CommandLedger ledger;
        row.steps(ledger);
        EXPECT_EQ(ledger.TakeSentElsewhere(), row.sentElsewhere);
        std::vector<Result> results;
        for (const CommandResult& result : ledger.TakeResults()) {
            EXPECT_EQ(result.key, "u");
            const nlohmann::json payload = nlohmann::json::parse(result.payload);
            results.emplace_back(payload.at("id"), payload.at("state"));
        }
        EXPECT_EQ(results, row.results);
    }
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
