// The forwarder's parts together, on a broker the test plays and a clock it moves: what a lost
// connection had in flight goes out again from the acknowledged position, with the resend marks
// it first had.

#include "forward/forwarder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/fake_broker.h"
#include "support/temp_folder.h"
#include "support/todays_log.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using test::FakeBroker;
using test::FakePublish;

constexpr auto kTimeout = 10s;
const std::vector<std::string> kRecords = {"#ST,123;A:0;#", "#ST,123;A:1;#", "#ST,123;A:2;#"};

// The records published on one connection, by their text.
std::vector<std::string> RecordsOn(const FakeBroker& broker, std::size_t connection,
                                   std::vector<int>* mids = nullptr) {
    std::vector<std::string> records;
    for (const FakePublish& message : broker.Published()) {
        if (message.connection == connection && message.topic.starts_with("t/record/")) {
            records.push_back(nlohmann::json::parse(message.payload).at("record"));
            if (mids != nullptr) {
                mids->push_back(message.mid);
            }
        }
    }
    return records;
}

struct RewindRow {
    const char* proves;
    std::vector<std::size_t> acked;  // of the records' messages, before the connection is lost
    std::ptrdiff_t sentAgainFrom;    // the first record the next connection publishes
};

// The forwarder's clock: the steady time the test moves on.
std::function<Moment()> ClockOf(const std::atomic<std::chrono::steady_clock::rep>& now) {
    return [&now] {
        return Moment{
            std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(now.load())),
            0};
    };
}

TEST(ForwarderTest, WhatALostConnectionHadInFlightGoesOutAgainAndNothingIsSkipped) {
    const std::vector<RewindRow> rows = {
        {"none acknowledged: all again", {}, 0},
        {"the first acknowledged: the rest again", {0}, 1},
        {"a later one acknowledged alone: all again", {1}, 0},
        {"the first two, out of order: the third again", {1, 0}, 2},
    };
    for (const RewindRow& row : rows) {
        SCOPED_TRACE(row.proves);
        const test::TempFolder folder;
        std::string log;
        for (const std::string& record : kRecords) {
            log += test::LoggedEntry("1.2.3.4 (5):" + record);
        }
        test::WriteFile(folder.PathOf(test::TodaysLogName()), log);
        FakeBroker broker;
        std::atomic<std::chrono::steady_clock::rep> now{0};
        ForwardSettings settings;
        settings.topic = "t";
        settings.logFolder = folder.Path();
        Forwarder forwarder(
            settings, [] {}, [](const std::string&) { return std::nullopt; }, broker.Maker(),
            ClockOf(now));
        forwarder.Start();
        ASSERT_TRUE(
            broker.WaitFor([](const FakeBroker& b) { return b.Connections() == 1; }, kTimeout));
        broker.Deliver(0, {LinkEvent::Kind::Connected});
        ASSERT_TRUE(broker.WaitFor(
            [](const FakeBroker& b) { return RecordsOn(b, 0).size() == kRecords.size(); },
            kTimeout));
        std::vector<int> mids;
        EXPECT_EQ(RecordsOn(broker, 0, &mids), kRecords);
        for (const std::size_t acked : row.acked) {
            broker.Deliver(0, {LinkEvent::Kind::Acked, mids.at(acked)});
        }
        broker.Deliver(0, {LinkEvent::Kind::Lost, 0, "gone"});
        ASSERT_TRUE(broker.WaitFor([](const FakeBroker& b) { return !b.Open(0); }, kTimeout));

        now += std::chrono::steady_clock::duration(1s).count();  // the first back-off
        forwarder.Nudge();
        ASSERT_TRUE(
            broker.WaitFor([](const FakeBroker& b) { return b.Connections() == 2; }, kTimeout));
        broker.Deliver(1, {LinkEvent::Kind::Connected});
        const std::vector<std::string> again(kRecords.begin() + row.sentAgainFrom, kRecords.end());
        ASSERT_TRUE(broker.WaitFor(
            [&](const FakeBroker& b) { return RecordsOn(b, 1).size() >= again.size(); }, kTimeout));
        mids.clear();
        EXPECT_EQ(RecordsOn(broker, 1, &mids), again);
        for (const int mid : mids) {
            broker.Deliver(1, {LinkEvent::Kind::Acked, mid});
        }
        const std::string end = test::TodaysLogName() + " " + std::to_string(log.size()) + " ";
        EXPECT_TRUE(broker.WaitFor(
            [&](const FakeBroker&) {
                return test::ReadFile(folder.PathOf(kPositionFileName)).starts_with(end);
            },
            kTimeout))
            << "saved at the log's end once all is acknowledged";
        forwarder.Stop();
    }
}

ForwardSettings SettingsOf(const test::TempFolder& folder) {
    ForwardSettings settings;
    settings.topic = "t";
    settings.logFolder = folder.Path();
    return settings;
}

std::optional<DeviceRow> NoDevice(const std::string& /*key*/) {
    return std::nullopt;
}

// Started, and its first connection accepted.
void StartConnected(Forwarder& forwarder, FakeBroker& broker) {
    forwarder.Start();
    ASSERT_TRUE(broker.WaitFor([](const FakeBroker& b) { return b.Connections() == 1; }, kTimeout));
    broker.Deliver(0, {LinkEvent::Kind::Connected});
}

// The day before today's file, by name.
std::string YesterdaysLogName() {
    const time_t yesterday = time(nullptr) - 24 * 3600;
    tm local{};
    localtime_r(&yesterday, &local);
    char text[32] = {};
    strftime(text, sizeof text, "Data_logs_%m%d.txt", &local);
    return text;
}

struct PositionRow {
    const char* proves;
    std::string position;  // mqtt_position.txt's bytes; "<dir>": a folder in its place
    std::string said;      // a report that begins so, DIR standing for the folder
    std::string state;     // how StateText ends once the records are acknowledged
};

TEST(ForwarderTest, APositionThatCannotBeSavedOrReadIsSaidAndForwardingGoesOn) {
    const std::vector<PositionRow> rows = {
        {"a folder in its place: held in memory, with what a restart sends again", "<dir>",
         "forwarding position not saved in DIR: Is a directory; forwarding goes on",
         "; position not saved: a restart sends 2 records again"},
        {"garbage: the oldest day's file is replayed, not today's alone", "zz\n",
         "forwarding position DIR/mqtt_position.txt is corrupt (not a position): replaying the "
         "log from DIR/" +
             YesterdaysLogName() + " on",
         "MQTT broker connected"},
    };
    for (const PositionRow& row : rows) {
        SCOPED_TRACE(row.proves);
        const test::TempFolder folder;
        test::WriteFile(folder.PathOf(YesterdaysLogName()),
                        test::LoggedEntry("1.2.3.4 (5):" + kRecords[0]));
        test::WriteFile(folder.PathOf(test::TodaysLogName()),
                        test::LoggedEntry("1.2.3.4 (5):" + kRecords[1]));
        if (row.position == "<dir>") {
            std::filesystem::create_directory(folder.PathOf(kPositionFileName));
        } else {
            test::WriteFile(folder.PathOf(kPositionFileName), row.position);
        }
        FakeBroker broker;
        Forwarder forwarder(
            SettingsOf(folder), [] {}, NoDevice, broker.Maker());
        StartConnected(forwarder, broker);
        const std::size_t expected = 2;  // yesterday's and today's, replayed
        ASSERT_TRUE(broker.WaitFor(
            [&](const FakeBroker& b) { return RecordsOn(b, 0).size() == expected; }, kTimeout));
        std::vector<int> mids;
        RecordsOn(broker, 0, &mids);
        for (const int mid : mids) {
            broker.Deliver(0, {LinkEvent::Kind::Acked, mid});
        }
        std::string said = row.said;
        said.replace(said.find("DIR"), 3, folder.Path());
        if (said.find("DIR") != std::string::npos) {
            said.replace(said.find("DIR"), 3, folder.Path());
        }
        std::vector<std::string> reports;
        EXPECT_TRUE(broker.WaitFor(
            [&](const FakeBroker&) {
                for (std::string& line : forwarder.TakeReports()) {
                    reports.push_back(std::move(line));
                }
                return std::ranges::any_of(
                    reports, [&](const std::string& line) { return line.starts_with(said); });
            },
            kTimeout))
            << (reports.empty() ? "" : reports.back());
        // Both acknowledgements counted, however the forwarder's thread took them.
        EXPECT_TRUE(broker.WaitFor(
            [&](const FakeBroker&) { return forwarder.StateText().ends_with(row.state); },
            kTimeout))
            << forwarder.StateText();
        forwarder.Stop();
    }
}

// The records published on one connection, each with whether it was marked a resend.
std::vector<std::pair<std::string, bool>> MarksOn(const FakeBroker& broker,
                                                  std::size_t connection) {
    std::vector<std::pair<std::string, bool>> marks;
    for (const FakePublish& message : broker.Published()) {
        if (message.connection == connection && message.topic.starts_with("t/record/")) {
            const nlohmann::json payload = nlohmann::json::parse(message.payload);
            marks.emplace_back(payload.at("time"), payload.value("resent", false));
        }
    }
    return marks;
}

TEST(ForwarderTest, AResendIsMarkedOrLeftOutAndKeepsItsMarkWhenSentAgain) {
    for (const bool skip : {false, true}) {
        SCOPED_TRACE(skip ? "left out" : "marked");
        const test::TempFolder folder;
        const std::string record = "1.2.3.4 (5):#ST,123;A:0;#";
        test::WriteFile(folder.PathOf(test::TodaysLogName()),
                        test::LoggedEntry(record, "2026-12-08 13:05:00") +
                            test::LoggedEntry(record, "2026-12-08 13:05:30") +
                            test::LoggedEntry(record, "2026-12-08 13:20:00"));
        FakeBroker broker;
        std::atomic<std::chrono::steady_clock::rep> now{0};
        ForwardSettings settings;
        settings.topic = "t";
        settings.logFolder = folder.Path();
        settings.skipResends = skip;
        Forwarder forwarder(
            settings, [] {}, [](const std::string&) { return std::nullopt; }, broker.Maker(),
            ClockOf(now));
        forwarder.Start();
        const std::vector<std::pair<std::string, bool>> expected =
            skip ? std::vector<std::pair<std::string, bool>>{{"2026-12-08T13:05:00", false},
                                                             {"2026-12-08T13:20:00", false}}
                 : std::vector<std::pair<std::string, bool>>{{"2026-12-08T13:05:00", false},
                                                             {"2026-12-08T13:05:30", true},
                                                             {"2026-12-08T13:20:00", false}};
        for (std::size_t connection = 0; connection < 2; ++connection) {
            ASSERT_TRUE(broker.WaitFor(
                [&](const FakeBroker& b) { return b.Connections() == connection + 1; }, kTimeout));
            broker.Deliver(connection, {LinkEvent::Kind::Connected});
            ASSERT_TRUE(broker.WaitFor(
                [&](const FakeBroker& b) {
                    return MarksOn(b, connection).size() == expected.size();
                },
                kTimeout));
            std::vector<std::pair<std::string, bool>> marks = MarksOn(broker, connection);
            for (auto& [time, resent] : marks) {
                time = time.substr(0, 19);  // without the UTC offset
            }
            EXPECT_EQ(marks, expected) << "connection " << connection;
            // Lost with nothing acknowledged: all goes out again.
            broker.Deliver(connection, {LinkEvent::Kind::Lost, 0, "gone"});
            ASSERT_TRUE(
                broker.WaitFor([&](const FakeBroker& b) { return !b.Open(connection); }, kTimeout));
            now += std::chrono::steady_clock::duration(1s).count();
            forwarder.Nudge();
        }
        forwarder.Stop();
    }
}

TEST(ForwarderTest, ARetainedCommandIsSaidOnceAndNeverRunAndARefusedOneIsAnsweredAtOnce) {
    const test::TempFolder folder;
    FakeBroker broker;
    Forwarder forwarder(
        SettingsOf(folder), [] {}, NoDevice, broker.Maker());
    StartConnected(forwarder, broker);
    for (int resubscribed = 0; resubscribed < 2; ++resubscribed) {
        broker.Deliver(0, {LinkEvent::Kind::Message, 0, "t/hold/u", "RESET", true});
    }
    broker.Deliver(0, {LinkEvent::Kind::Message, 0, "t/command/dev%31", "RESET"});
    const auto refused = [](const FakeBroker& b) {
        for (const FakePublish& message : b.Published()) {
            if (message.topic == "t/command-result/dev%31") {
                return nlohmann::json::parse(message.payload).at("state") == "invalid key";
            }
        }
        return false;
    };
    EXPECT_TRUE(broker.WaitFor(refused, kTimeout));
    EXPECT_TRUE(forwarder.TakeCommands(100).empty());
    std::vector<std::string> reports = forwarder.TakeReports();
    std::erase_if(reports, [](const std::string& line) {
        return line.find("retained") == std::string::npos;
    });
    EXPECT_EQ(reports, std::vector<std::string>{
                           "retained message on t/hold/u not run: a command is for once"});
    forwarder.Stop();
}

}  // namespace
}  // namespace tarnwick
