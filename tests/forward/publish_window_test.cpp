#include "forward/publish_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnwick {
namespace {

constexpr std::size_t kCapacity = 8;
const std::string kFile = "Data_logs_1208.txt";

// Entry i (from 0) ends at offset 10 * (i + 1).
LogPosition After(std::size_t entry) {
    return {kFile, 10 * (entry + 1)};
}

struct WindowRow {
    const char* proves;
    std::string entries;         // R: a record published, H: a hex entry published, P: passed over
    std::vector<int> acked;      // the broker's PUBACKs in order; publishes are mids 1, 2 ...
    std::uint64_t acknowledged;  // the acknowledged position's offset then
    std::size_t records;         // records it moved over
    std::size_t roomOnceSaved;   // what may go out once that position is saved
};

TEST(PublishWindowTest, ThePositionMovesOverTheAcknowledgedPrefixAndGoesBackToItOnALoss) {
    const std::vector<WindowRow> rows = {
        {"in order: over every one", "RRR", {1, 2, 3}, 30, 3, 8},
        {"out of order: not past the first unacknowledged", "RRR", {2, 3}, 0, 0, 5},
        {"the gap filled: over all of them", "RRR", {3, 2, 1}, 30, 3, 8},
        {"a partial acknowledgement: up to the gap", "RRRR", {1, 3, 4}, 10, 1, 5},
        {"an acknowledgement twice counts once", "RRR", {1, 1}, 10, 1, 6},
        {"an unknown mid moves nothing", "RR", {7}, 0, 0, 6},
        {"hex entries move it but count no record", "RHR", {1, 2}, 20, 1, 7},
        {"passed over: acknowledged at once", "PPR", {}, 20, 2, 7},
        {"passed over behind a message waits for it", "RPR", {}, 0, 0, 5},
        {"and moves with it", "RPR", {1}, 20, 2, 7},
    };
    for (const WindowRow& row : rows) {
        SCOPED_TRACE(row.proves);
        PublishWindow window({kFile, 0}, kCapacity);
        std::size_t records = 0;
        int mid = 0;
        for (std::size_t i = 0; i < row.entries.size(); ++i) {
            if (row.entries[i] == 'P') {
                records += window.PassedOver(After(i), true);
            } else {
                window.Published(++mid, After(i), row.entries[i] == 'R');
            }
        }
        for (const int acked : row.acked) {
            records += window.Acked(acked);
        }
        const LogPosition acknowledged{kFile, row.acknowledged};
        EXPECT_EQ(window.Acknowledged(), acknowledged);
        EXPECT_EQ(records, row.records);
        EXPECT_EQ(window.Unsaved(),
                  row.acknowledged == 0 ? std::nullopt : std::optional(acknowledged));
        EXPECT_EQ(window.Room(), kCapacity - row.entries.size()) << "unsaved, all still count";

        window.Saved();
        EXPECT_EQ(window.Unsaved(), std::nullopt);
        EXPECT_EQ(window.Room(), row.roomOnceSaved);

        EXPECT_EQ(window.Rewind(), acknowledged);
        EXPECT_EQ(window.Room(), kCapacity) << "nothing is out after a loss";
        EXPECT_EQ(window.Acked(mid), 0U) << "an acknowledgement of the lost connection";
        EXPECT_EQ(window.Acknowledged(), acknowledged);
    }
}

TEST(PublishWindowTest, TheLogIsReadInBatchesOfAQuarterOfTheWindowAtLeast) {
    const struct {
        const char* proves;
        std::size_t out;
        std::size_t batchRoom;
    } rows[] = {
        {"empty: all of it", 0, 8},
        {"a quarter free: that quarter", 6, 2},
        {"less than a quarter free: none yet", 7, 0},
        {"full: none", 8, 0},
    };
    for (const auto& row : rows) {
        PublishWindow window({kFile, 0}, kCapacity);
        for (std::size_t i = 0; i < row.out; ++i) {
            window.Published(static_cast<int>(i + 1), After(i), true);
        }
        EXPECT_EQ(window.BatchRoom(), row.batchRoom) << row.proves;
    }
}

}  // namespace
}  // namespace tarnwick
