#include "record/record_cut.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnwick {
namespace {

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

}  // namespace
}  // namespace tarnwick
