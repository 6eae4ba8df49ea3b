#include "net/centre.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <random>

#include "net/engine_fixture.h"
#include "support/descriptor_limit.h"

namespace tarnwick::enginetest {
namespace {

using CentreTest = EngineTest;

TEST_F(CentreTest, AnswersARecordOnlyWhenAutoReplyIsTicked) {
    for (const bool autoReply : {true, false}) {
        SCOPED_TRACE(autoReply ? "auto-reply on" : "auto-reply off");
        front.queued.SetAutoReply(autoReply);
        const std::size_t n = autoReply ? 1 : 2;
        SendRecord(peer, n);
        EXPECT_EQ(front.WaitFor(n).back().text, peer.TextHandOff(kTrimmedRecord));
        const auto reply = peer.Receive(autoReply ? kPatience : kQuiet);
        ASSERT_EQ(reply.has_value(), autoReply);
        if (reply) {
            EXPECT_EQ(reply->bytes, ToBytes("@517"));
            EXPECT_EQ(reply->fromPort, centre.Port());
        }
    }
}

TEST_F(CentreTest, HandsTheDatagramAfterARecordOverInHexInOrder) {
    front.queued.SetDisplayHex(true);
    peer.SendTo(centre.Port(), kRecord);
    peer.SendTo(centre.Port(), Bytes{0x00, 0x01, 0x02, 0x03, 0x04, 0xA5, 0xB6, 0xC7, 0xD8, 0xFF});
    const auto& got = front.WaitFor(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].kind, HandOffKind::Text);
    EXPECT_EQ(got[1].kind, HandOffKind::Hex);
    EXPECT_EQ(got[1].text,
              "127.0.0.1  (" + std::to_string(peer.Port()) + "):00 01 02 03 04 A5 B6 C7 D8 FF ");
}

TEST_F(CentreTest, CountsHostileDatagramsAndGoesOnAnswering) {
    front.queued.SetAutoReply(true);
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
        peer.SendTo(centre.Port(), hostile[i]);
        ASSERT_TRUE(WaitUntil([&] { return centre.Counters().Snapshot().received == i + 1; }))
            << "datagram " << i;
    }
    for (std::size_t n = 1; n <= 3; ++n) {
        SendRecord(peer, n);
        EXPECT_EQ(peer.ReceiveBytes(), ToBytes("@517"));
    }
    for (const auto& handOff : front.WaitFor(3)) {
        EXPECT_EQ(handOff.text, peer.TextHandOff(kTrimmedRecord));
    }
    ASSERT_TRUE(WaitUntil([&] { return centre.Counters().Snapshot().replies == 3; }));
    const CounterSnapshot counts = centre.Counters().Snapshot();
    EXPECT_EQ(counts, (CounterSnapshot{.received = hostile.size() + 3,
                                       .records = 3,
                                       .droppedInvalidCode = 1,
                                       .droppedNotRecord = 2 + kNoise,
                                       .droppedEmpty = 1,
                                       .droppedTooLong = 2,
                                       .replies = 3}))
        << FormatCounters(counts);
    EXPECT_EQ(counts.received, counts.records + counts.hex + counts.Dropped());
}

TEST_F(CentreTest, TheNewestClientIsTheLastSender) {
    Peer other;
    for (std::size_t n = 1; n <= 4; ++n) {
        const Peer& sender = n % 2 == 1 ? peer : other;
        SendRecord(sender, n);
        const auto newest = centre.Clients().Newest();
        ASSERT_TRUE(newest);
        EXPECT_EQ(newest->port, sender.Port()) << "datagram " << n;
    }
}

TEST_F(CentreTest, CloseEndsTheWaitingThreadPromptlyAndFreesThePort) {
    const std::uint16_t port = centre.Port();
    SendRecord(peer, 1);  // the thread has gone back to waiting well before Close
    const auto start = std::chrono::steady_clock::now();
    centre.Close();
    const auto took = std::chrono::steady_clock::now() - start;
    std::cout << "Close() took "
              << std::chrono::duration_cast<std::chrono::microseconds>(took).count() << " us\n";
    EXPECT_LT(took, 1s);
    peer.SendTo(port, kRecord);
    EXPECT_EQ(front.WaitFor(2, kQuiet).size(), 1u);
    ASSERT_TRUE(centre.Listen(std::to_string(port)).ok());
    EXPECT_EQ(centre.Port(), port);
    SendRecord(peer, 2);
}

TEST_F(CentreTest, ASendReachesOnlyAClientOfTheOpenListener) {
    const Bytes command = ToBytes("#517X");
    SendRecord(peer, 1);
    centre.Close();
    ASSERT_TRUE(centre.Listen("0").ok());
    const SendResult failed = centre.SendToNewestClient(command);
    EXPECT_EQ(failed.status, SendResult::Status::Failed);
    EXPECT_EQ(failed.errorCode, EBADF);
    EXPECT_FALSE(peer.Receive(kQuiet));
    SendRecord(peer, 2);  // the failed send left the listener receiving
    EXPECT_EQ(centre.SendToNewestClient(command).status, SendResult::Status::Sent);
    EXPECT_EQ(peer.ReceiveBytes(), command);
}

TEST_F(CentreTest, ListenReportsWhyItFailed) {
    const Peer holder;
    const ListenResult bound = centre.Listen(std::to_string(holder.Port()));
    EXPECT_EQ(bound.error, ListenError::Bind);
    EXPECT_EQ(bound.errorCode, EADDRINUSE);
    EXPECT_FALSE(centre.IsListening());
    EXPECT_EQ(centre.Listen("").error, ListenError::EmptyPort);
    EXPECT_EQ(ListenErrorMessage(ListenError::Bind), "socket bind error!");
    EXPECT_EQ(ListenErrorMessage(ListenError::SocketCreate), "socket create error!");
    EXPECT_EQ(ListenErrorMessage(ListenError::ThreadStart), "socket create error!");
    EXPECT_EQ(ListenErrorMessage(ListenError::EmptyPort), "");
}

TEST_F(CentreTest, AReceiveThreadThatCannotStartLeavesTheListenerClosed) {
    centre.Close();
    {
        // One descriptor: enough for the socket, none for the thread's wake-up.
        const test::DescriptorsNearlyExhausted limit(1);
        for (int attempt = 0; attempt < 2; ++attempt) {
            const ListenResult result = centre.Listen("0");
            EXPECT_EQ(result.error, ListenError::ThreadStart);
            EXPECT_EQ(result.errorCode, EMFILE);
            EXPECT_FALSE(centre.IsListening());  // and the socket given back: the retry fails alike
        }
    }
    EXPECT_TRUE(centre.Listen("0").ok());
}

}  // namespace
}  // namespace tarnwick::enginetest
