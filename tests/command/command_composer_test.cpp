#include "command/command_composer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "session/session_fixture.h"

namespace tarnwick::enginetest {
namespace {

constexpr auto kText = CommandMode::Text;
constexpr auto kHex = CommandMode::Hex;
constexpr auto kSent = CommandOutcome::Sent;
constexpr auto kPrompt = CommandOutcome::HexPrompt;

std::string Pairs(std::size_t n) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
        text += "5A ";
    }
    return text;
}

struct ComposeRow {
    const char* proves;
    std::string text;
    CommandMode mode;
    CommandOutcome outcome;
    std::string datagram;  // when Sent
};

TEST(CommandComposerTest, ComposesTextAndHexCommands) {
    const std::vector<ComposeRow> rows = {
        {"text follows the prefix", "ABC", kText, kSent, "#517ABC"},
        {"blanks at both ends are kept", "  A C ", kText, kSent, "#517  A C "},
        {"spaced hex pairs", "38 38 31 02 02", kHex, kSent, "#517\x38\x38\x31\x02\x02"},
        {"either case", "ab Cd", kHex, kSent, "#517\xAB\xCD"},
        {"a trailing blank", "38 ", kHex, kSent, "#517\x38"},
        {"a lone last digit is dropped", "38 3", kHex, kSent, "#517\x38"},
        {"conversion stops at a misfit", "38 zz 31", kHex, kSent, "#517\x38"},
        {"a misfit first pair leaves the prefix", "zz 31", kHex, kSent, "#517"},
        {"508 pairs fill the datagram", Pairs(508), kHex, kSent, "#517" + std::string(508, 'Z')},
        {"509 pairs are too many", Pairs(509), kHex, CommandOutcome::HexTooLong, ""},
        {"packed pairs are refused", "3838", kHex, kPrompt, ""},
        {"one pair is refused", "38", kHex, kPrompt, ""},
        {"one digit is refused", "3", kHex, kPrompt, ""},
    };
    for (const auto& row : rows) {
        const ComposedCommand composed = ComposeCommand(row.text, row.mode);
        EXPECT_EQ(composed.outcome, row.outcome) << row.proves;
        if (row.outcome == kSent) {
            EXPECT_EQ(composed.datagram, ToBytes(row.datagram)) << row.proves;
        }
    }
}

using SendCommandTest = SessionTest;

TEST_F(SendCommandTest, WithoutAClientNothingElseIsLookedAt) {
    for (const auto mode : {kText, kHex}) {
        const CommandReport report = SendCommand(session, "3838", mode);
        EXPECT_EQ(report, (CommandReport{CommandOutcome::NoClient, 0, 0}));
        EXPECT_EQ(report.Message(),
                  (OperatorMessage{"Have no Client connect!", "?!", MessageIcon::Stop}));
    }
}

TEST_F(SendCommandTest, SendsToTheNewestClientOrSaysWhyNot) {
    SendRecord(peer, 1);
    EXPECT_EQ(SendCommand(session, "ABC", kText), CommandReport{});
    EXPECT_EQ(peer.ReceiveBytes(), ToBytes("#517ABC"));
    EXPECT_EQ(SendCommand(session, Pairs(508), kHex), CommandReport{});
    EXPECT_EQ(peer.ReceiveBytes().size(), kSendBufferSize);

    const CommandReport prompt = SendCommand(session, "3838", kHex);
    EXPECT_EQ(prompt.Message(), (OperatorMessage{"Please into hex like :\r\n 38 38 31 02 02",
                                                 "Question", MessageIcon::Stop}));
    const CommandReport tooLong = SendCommand(session, Pairs(509), kHex);
    EXPECT_EQ(tooLong, (CommandReport{CommandOutcome::HexTooLong, 0, 513}));
    EXPECT_NE(tooLong.Message().value_or(OperatorMessage{}).text.find("at most 508"),
              std::string::npos);
    EXPECT_FALSE(peer.Receive(kQuiet));
}

TEST_F(SendCommandTest, AClientOfAClosedListenerIsASendFailure) {
    SendRecord(peer, 1);
    session.Close();
    ASSERT_TRUE(session.Listen("0").ok());
    const CommandReport report = SendCommand(session, "ABC", kText);
    EXPECT_EQ(report, (CommandReport{CommandOutcome::SendFailed, EBADF, 0}));
    EXPECT_EQ(report.Message(),
              (OperatorMessage{"send command fail [9]", "[9]", MessageIcon::None}));
    EXPECT_FALSE(peer.Receive(kQuiet));
    EXPECT_TRUE(session.IsListening());
}

}  // namespace
}  // namespace tarnwick::enginetest
