#include "display/handoff_handler.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

struct CutRow {
    const char* proves;
    std::string text;
    std::string kept;
};

TEST(CutAfterReplyMarkerTest, KeepsSixCharactersAfterTheMarker) {
    const std::vector<CutRow> rows = {
        {"more than six after the marker are cut", "#ST,1@517abcdefghijk", "#ST,1@517abcdef"},
        {"exactly six after the marker stay whole", "#ST,1@517abcdef", "#ST,1@517abcdef"},
        {"the first marker counts", "@517abcdefg@517", "@517abcdef"},
        {"no marker, no cut", "#ST,123;A:1;#", "#ST,123;A:1;#"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(CutAfterReplyMarker(row.text), row.kept) << row.proves;
    }
}

class HandOffHandlerTest : public ::testing::Test {
protected:
    // A log whose clock stands still.
    static DailyLog LogIn(const std::string& folder) {
        return DailyLog(folder + "/Data_logs_0307.txt", [] {
            std::tm t{};
            strptime("2026-03-07 14:05:09", "%Y-%m-%d %H:%M:%S", &t);
            return LocalTime(t);
        });
    }
    static std::string Entry(const std::string& text) {
        return "-->2026-03-07 14:05:09" + std::string(40, '-') + "\r\n" + text + "\r\n";
    }

    test::TempFolder m_temp;
    const std::string m_folder = m_temp.Path();
    EngineCounters m_counters;
};

TEST_F(HandOffHandlerTest, LogsTextRecordsAfterTheCutHexRecordsWholeAndEmptyTextsNot) {
    DailyLog log = LogIn(m_folder);
    HandOffHandler handler(log, m_counters);
    EXPECT_FALSE(handler.Handle(RecvHandOff(HandOffKind::Text, "", 0, 0)));
    const std::string tail = "#ST,123;A:1;#@517abcdefghijk";
    const auto text = handler.Handle(MakeHandOff(HandOffKind::Text, "127.0.0.1", 5000, tail, 0));
    const auto hex = handler.Handle(MakeHandOff(HandOffKind::Hex, "127.0.0.1", 5000, tail, 0));
    ASSERT_TRUE(text && hex);
    EXPECT_EQ(text->record.text, "127.0.0.1 (5000):#ST,123;A:1;#@517abcdef");
    EXPECT_EQ(text->record.Body(), "#ST,123;A:1;#@517abcdef");
    EXPECT_EQ(hex->record.text, "127.0.0.1  (5000):" + tail);
    EXPECT_TRUE(text->log.ok() && hex->log.ok());
    EXPECT_FALSE(text->logReport || hex->logReport);
    EXPECT_EQ(test::ReadFile(log.LogFile()), Entry(text->record.text) + Entry(hex->record.text));
    EXPECT_EQ(m_counters.Snapshot(), CounterSnapshot{.logged = 2});
}

TEST_F(HandOffHandlerTest, AnUnwritableLogIsReportedOnceAndItsRecoveryToo) {
    const std::string blocker = m_folder + "/blocker";
    std::ofstream(blocker) << "a file where the log folder should be";
    DailyLog log = LogIn(blocker);
    HandOffHandler handler(log, m_counters);
    const std::string record = "127.0.0.1 (5000):#ST,123;A:1;#";
    auto Handle = [&] { return handler.Handle(RecvHandOff(HandOffKind::Text, record, 16, 0)); };

    const auto first = Handle();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->record.text, record);
    EXPECT_EQ(first->log.error, ENOTDIR);
    EXPECT_EQ(first->logReport,
              "Log not written: " + log.LogFile() + ": " + std::strerror(ENOTDIR));
    const auto second = Handle();
    ASSERT_TRUE(second);
    EXPECT_FALSE(second->log.ok());
    EXPECT_FALSE(second->logReport);
    EXPECT_EQ(m_counters.logMissed, 2u);

    fs::remove(blocker);
    const auto recovered = Handle();
    ASSERT_TRUE(recovered);
    EXPECT_TRUE(recovered->log.ok());
    EXPECT_EQ(recovered->logReport,
              "Log written again: " + log.LogFile() + " (2 records missed the log)");
    EXPECT_EQ(test::ReadFile(log.LogFile()), Entry(record));
    EXPECT_EQ(m_counters.logged, 1u);
}

}  // namespace
}  // namespace tarnwick
