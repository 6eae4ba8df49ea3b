#include "session/session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <random>
#include <string>

#include "session/session_fixture.h"
#include "support/descriptor_limit.h"

namespace tarnwick::enginetest {
namespace {

TEST_F(SessionTest, AnswersARecordOnlyWhenAutoReplyIsTicked) {
    for (const bool autoReply : {true, false}) {
        SCOPED_TRACE(autoReply ? "auto-reply on" : "auto-reply off");
        session.SetAutoReply(autoReply);
        const std::size_t n = autoReply ? 1 : 2;
        SendRecord(peer, n);
        EXPECT_EQ(WaitFor(n).back().text, peer.TextHandOff(kTrimmedRecord));
        const auto reply = peer.Receive(autoReply ? kPatience : kQuiet);
        ASSERT_EQ(reply.has_value(), autoReply);
        if (reply) {
            EXPECT_EQ(reply->bytes, ToBytes("@517"));
            EXPECT_EQ(reply->fromPort, session.Port());
        }
    }
}

TEST_F(SessionTest, HandsTheDatagramAfterARecordOverInHexInOrder) {
    session.SetDisplayHex(true);
    peer.SendTo(session.Port(), kRecord);
    peer.SendTo(session.Port(), Bytes{0x00, 0x01, 0x02, 0x03, 0x04, 0xA5, 0xB6, 0xC7, 0xD8, 0xFF});
    const auto& got = WaitFor(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].kind, HandOffKind::Text);
    EXPECT_EQ(got[1].kind, HandOffKind::Hex);
    EXPECT_EQ(got[1].text,
              "127.0.0.1  (" + std::to_string(peer.Port()) + "):00 01 02 03 04 A5 B6 C7 D8 FF ");
}

TEST_F(SessionTest, CountsHostileDatagramsAndGoesOnAnswering) {
    session.SetAutoReply(true);
    std::vector<Bytes> hostile = {
        ToBytes("#ST,12a;A:1;#"),       Bytes{},       Bytes(4097, 'x'), Bytes(65507, 'x'),
        ToBytes({"#ST,123;A\0;#", 12}), ToBytes("#ST")};
    constexpr std::size_t kNoise = 8;
    std::mt19937 random(20260307);  // fixed: the same noise every run
    for (std::size_t i = 0; i < kNoise; ++i) {
        Bytes& noise = hostile.emplace_back(random() % 4096 + 1);
        std::generate(noise.begin(), noise.end(),
                      [&] { return static_cast<std::uint8_t>(random()); });
    }
    // One at a time: a burst could overflow the socket buffer and muddle the counts.
    for (std::size_t i = 0; i < hostile.size(); ++i) {
        peer.SendTo(session.Port(), hostile[i]);
        ASSERT_TRUE(WaitUntil([&] { return session.Counters().received == i + 1; }))
            << "datagram " << i;
    }
    for (std::size_t n = 1; n <= 3; ++n) {
        SendRecord(peer, n);
        EXPECT_EQ(peer.ReceiveBytes(), ToBytes("@517"));
    }
    for (const auto& handOff : WaitFor(3)) {
        EXPECT_EQ(handOff.text, peer.TextHandOff(kTrimmedRecord));
    }
    ASSERT_TRUE(WaitUntil([&] { return session.Counters().replies == 3; }));
    const CounterSnapshot counts = session.Counters();
    // The one record three times from one sender: the last two are resends.
    EXPECT_EQ(counts, (CounterSnapshot{.received = hostile.size() + 3,
                                       .records = 3,
                                       .resent = 2,
                                       .droppedInvalidCode = 1,
                                       .droppedNotRecord = 2 + kNoise,
                                       .droppedEmpty = 1,
                                       .droppedTooLong = 2,
                                       .replies = 3,
                                       .logged = 3}))
        << FormatCounters(counts);
    EXPECT_EQ(counts.received, counts.records + counts.hex + Dropped(counts));
    EXPECT_EQ(counts.records + counts.hex, counts.logged + counts.notLogged);
}

TEST_F(SessionTest, TheNewestClientIsTheLastSender) {
    Peer other;
    for (std::size_t n = 1; n <= 4; ++n) {
        const Peer& sender = n % 2 == 1 ? peer : other;
        SendRecord(sender, n);
        const auto newest = session.Clients().Newest();
        ASSERT_TRUE(newest);
        EXPECT_EQ(newest->addr.Port(), sender.Port()) << "datagram " << n;
    }
}

TEST_F(SessionTest, CloseEndsTheWaitingThreadPromptlyAndFreesThePort) {
    const std::uint16_t port = session.Port();
    SendRecord(peer, 1);  // the thread has gone back to waiting well before Close
    const auto start = std::chrono::steady_clock::now();
    session.Close();
    const auto took = std::chrono::steady_clock::now() - start;
    std::cout << "Close() took "
              << std::chrono::duration_cast<std::chrono::microseconds>(took).count() << " us\n";
    EXPECT_LT(took, 1s);
    peer.SendTo(port, kRecord);
    EXPECT_EQ(WaitFor(2, kQuiet).size(), 1u);
    ASSERT_TRUE(session.Listen(port).ok());
    EXPECT_EQ(session.Port(), port);
    SendRecord(peer, 2);
}

TEST_F(SessionTest, ASendReachesOnlyAClientOfTheOpenListener) {
    const Bytes command = ToBytes("#517X");
    SendRecord(peer, 1);
    const socket_info before = session.Clients().Newest().value();
    session.Close();
    ASSERT_TRUE(session.Listen(0).ok());
    const SendResult failed = session.SendToClient(before, command, "X");
    EXPECT_EQ(failed.status, SendResult::Status::Failed);
    EXPECT_EQ(failed.errorCode, EBADF);
    EXPECT_FALSE(peer.Receive(kQuiet));
    SendRecord(peer, 2);  // the failed send left the listener receiving
    EXPECT_EQ(session.SendToClient(session.Clients().Newest().value(), command, "X").status,
              SendResult::Status::Sent);
    EXPECT_EQ(peer.ReceiveBytes(), command);
}

TEST_F(SessionTest, ListenReportsWhyItFailed) {
    const Peer holder;
    const ListenResult bound = session.Listen(holder.Port());
    EXPECT_EQ(bound.error, ListenError::Bind);
    EXPECT_EQ(bound.errorCode, EADDRINUSE);
    EXPECT_FALSE(session.IsListening());
    const std::string inUse = std::strerror(EADDRINUSE);
    EXPECT_EQ(ListenErrorMessage(ListenError::Bind, holder.Port(), EADDRINUSE),
              "socket bind error! (port " + std::to_string(holder.Port()) + ": " + inUse + ")");
    const std::string tooMany = std::strerror(EMFILE);
    EXPECT_EQ(ListenErrorMessage(ListenError::SocketCreate, 5000, EMFILE),
              "socket create error! (" + tooMany + ")");
    EXPECT_EQ(ListenErrorMessage(ListenError::ThreadStart, 5000, EMFILE),
              "socket create error! (" + tooMany + ")");
    EXPECT_EQ(ListenErrorMessage(ListenError::None, 5000, 0), "");
}

TEST_F(SessionTest, AReceiveThreadThatCannotStartLeavesTheListenerClosed) {
    session.Close();
    {
        // One descriptor: enough for the socket, none for the thread's wake-up.
        const test::DescriptorsNearlyExhausted limit(1);
        for (int attempt = 0; attempt < 2; ++attempt) {
            const ListenResult result = session.Listen(0);
            EXPECT_EQ(result.error, ListenError::ThreadStart);
            EXPECT_EQ(result.errorCode, EMFILE);
            EXPECT_FALSE(
                session.IsListening());  // and the socket given back: the retry fails alike
        }
    }
    EXPECT_TRUE(session.Listen(0).ok());
}

TEST(HeldCommandTest, LeavesRightAfterTheAnswerToTheDevicesNextReportAtItsNewPort) {
    test::TempFolder folder;
    WaitableFrontEnd front;
    DeviceSettings devices;
    devices.key = *ParseDeviceKeyRule("field:ID");
    Session session(ConfigFor(folder.PathOf("Data_logs_0307.txt"), front.Waker(), devices));
    session.SetAutoReply(true);
    ASSERT_TRUE(session.Listen(0).ok());
    Peer before;
    Peer after;
    before.SendTo(session.Port(), "#ST,123;ID:4;#");
    EXPECT_EQ(before.ReceiveBytes(), ToBytes("@517"));
    ASSERT_EQ(session.Devices().Hold("4", ToBytes("#517HELLO"), "HELLO", Moment::Now()).outcome,
              HoldResult::Outcome::Held);
    EXPECT_FALSE(before.Receive(kQuiet));
    after.SendTo(session.Port(), "#ST,123;ID:4;#");
    EXPECT_EQ(after.ReceiveBytes(), ToBytes("@517"));
    EXPECT_EQ(after.ReceiveBytes(), ToBytes("#517HELLO"));
    EXPECT_FALSE(before.Receive(kQuiet));
    EXPECT_EQ(session.Devices().Device("4", Moment::Now())->commandsSent, 1u);
}

}  // namespace
}  // namespace tarnwick::enginetest
