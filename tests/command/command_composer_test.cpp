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
constexpr auto kNotHex = CommandOutcome::HexNotHex;
const OperatorMessage kHexPrompt{"Please into hex like :\r\n 38 38 31 02 02", "Question",
                                 MessageIcon::Stop};

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
    std::size_t hexStop = 0;
};

TEST(CommandComposerTest, ComposesTextAndHexCommands) {
    const std::vector<ComposeRow> rows = {
        {"text follows the prefix", "ABC", kText, kSent, "#517ABC"},
        {"blanks at both ends are kept", "  A C ", kText, kSent, "#517  A C "},
        {"spaced hex pairs", "38 38 31 02 02", kHex, kSent, "#517\x38\x38\x31\x02\x02"},
        {"either case", "ab Cd", kHex, kSent, "#517\xAB\xCD"},
        {"a trailing blank", "38 ", kHex, kSent, "#517\x38"},
        {"a lone last digit is refused", "38 3", kHex, kNotHex, "", 3},
        {"a lone digit before a blank", "38 3 ", kHex, kNotHex, "", 3},
        {"a misfit pair is refused", "38 zz 31", kHex, kNotHex, "", 3},
        {"a misfit first pair", "zz 31", kHex, kNotHex, "", 0},
        {"a tab after the pairs", "38 38\t", kHex, kNotHex, "", 5},
        {"508 pairs fill the datagram", Pairs(508), kHex, kSent, "#517" + std::string(508, 'Z')},
        {"509 pairs are too many", Pairs(509), kHex, CommandOutcome::HexTooLong, ""},
        {"packed pairs are refused", "3838", kHex, kPrompt, ""},
        {"one pair is refused", "38", kHex, kPrompt, ""},
        {"one digit: where hex stops is told", "3", kHex, kNotHex, "", 0},
        {"no hex at all: where it stops is told", "zz", kHex, kNotHex, "", 0},
        {"nothing typed is the prompt alone", "", kHex, kPrompt, ""},
    };
    for (const auto& row : rows) {
        const ComposedCommand composed = ComposeCommand(row.text, row.mode);
        EXPECT_EQ(composed.outcome, row.outcome) << row.proves;
        EXPECT_EQ(composed.hexStop, row.hexStop) << row.proves;
        if (row.outcome == kSent) {
            EXPECT_EQ(composed.datagram, ToBytes(row.datagram)) << row.proves;
        }
    }
}

using SendCommandTest = SessionTest;

TEST(CommandReportTest, AHexTypoIsThePromptThenWhereHexStops) {
    const std::vector<OperatorMessage> expected = {
        kHexPrompt,
        {"The hex text stops being hex at character 4: \"zz\\t012345678...\". Nothing was sent.",
         "Question", MessageIcon::Stop}};
    EXPECT_EQ((CommandReport{kNotHex, 0, 0, 3, "zz\t0123456789ABC"}.Messages()), expected);
}

TEST_F(SendCommandTest, WithoutAClientNothingElseIsLookedAt) {
    for (const auto mode : {kText, kHex}) {
        const CommandReport report = SendCommand(session, std::nullopt, "3838", mode);
        EXPECT_EQ(report, (CommandReport{CommandOutcome::NoClient}));
        EXPECT_EQ(
            report.Messages(),
            (std::vector<OperatorMessage>{{"Have no Client connect!", "?!", MessageIcon::Stop}}));
    }
}

TEST_F(SendCommandTest, SendsToTheNewestClientOrSaysWhyNot) {
    SendRecord(peer, 1);
    const auto client = session.Clients().Newest();
    EXPECT_EQ(SendCommand(session, client, "ABC", kText), CommandReport{});
    EXPECT_EQ(peer.ReceiveBytes(), ToBytes("#517ABC"));
    EXPECT_EQ(SendCommand(session, client, Pairs(508), kHex), CommandReport{});
    EXPECT_EQ(peer.ReceiveBytes().size(), kSendBufferSize);

    const CommandReport prompt = SendCommand(session, client, "3838", kHex);
    EXPECT_EQ(prompt.Messages(), std::vector<OperatorMessage>{kHexPrompt});
    const CommandReport typo = SendCommand(session, client, "38 zz 31", kHex);
    EXPECT_EQ(typo, (CommandReport{kNotHex, 0, 0, 3, "zz 31"}));
    const CommandReport tooLong = SendCommand(session, client, Pairs(509), kHex);
    EXPECT_EQ(tooLong, (CommandReport{CommandOutcome::HexTooLong, 0, 513}));
    ASSERT_EQ(tooLong.Messages().size(), 1u);
    EXPECT_NE(tooLong.Messages()[0].text.find("at most 508"), std::string::npos);
    EXPECT_FALSE(peer.Receive(kQuiet));
}

TEST_F(SendCommandTest, AShownClientThatCameBackOnTheOpenListenerIsReachedThroughIt) {
    SendRecord(peer, 1);
    const auto shown = session.Clients().Newest();
    session.Close();
    ASSERT_TRUE(session.Listen(0).ok());
    SendRecord(peer, 2);
    EXPECT_EQ(SendCommand(session, shown, "ABC", kText), CommandReport{});
    EXPECT_EQ(peer.ReceiveBytes(), ToBytes("#517ABC"));
}

TEST_F(SendCommandTest, AClientOfAClosedListenerIsASendFailure) {
    SendRecord(peer, 1);
    session.Close();
    ASSERT_TRUE(session.Listen(0).ok());
    const CommandReport report = SendCommand(session, session.Clients().Newest(), "ABC", kText);
    EXPECT_EQ(report, (CommandReport{CommandOutcome::SendFailed, EBADF}));
    EXPECT_EQ(report.Messages(),
              (std::vector<OperatorMessage>{{"send command fail [9]", "[9]", MessageIcon::None}}));
    EXPECT_FALSE(peer.Receive(kQuiet));
    EXPECT_TRUE(session.IsListening());
}

using HoldCommandTest = SessionTest;

TEST_F(HoldCommandTest, AHeldCommandCarriesTheDeviceTablesIdEvenBesideItsTwin) {
    const CommandReport first = HoldCommand(session, "9", "GO", kText, HoldFor::AnyKey);
    const CommandReport twin = HoldCommand(session, "9", "GO", kText, HoldFor::AnyKey);
    const std::vector<HeldCommand> held = session.Devices().HeldCommands();
    ASSERT_EQ(held.size(), 2U);
    EXPECT_EQ(first, (CommandReport{.outcome = CommandOutcome::Held, .heldId = held[0].id}));
    EXPECT_EQ(twin, (CommandReport{.outcome = CommandOutcome::Held, .heldId = held[1].id}));
    EXPECT_NE(first.heldId, twin.heldId);
}

}  // namespace
}  // namespace tarnwick::enginetest
