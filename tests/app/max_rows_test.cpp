#include "app/max_rows.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "support/process.h"

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;

struct MaxRowsRow {
    const char* proves;
    std::optional<std::string> text;
    std::size_t records;  // 0: refused
};

TEST(MaxRows, TakesADecimalCountOfRecordsAndNothingElse) {
    const MaxRowsRow rows[] = {
        {"not given", std::nullopt, 1'000'000},
        {"one", "1", 1},
        {"the largest", "1000000000", 1'000'000'000},
        {"leading zeros", "0050", 50},
        {"zero keeps nothing", "0", 0},
        {"past the largest", "1000000001", 0},
        {"far past it", "99999999999999999999999", 0},
        {"empty", "", 0},
        {"a sign", "+5", 0},
        {"trailing text", "5k", 0},
        {"grouped", "1,000", 0},
    };
    for (const MaxRowsRow& row : rows) {
        const MaxRows parsed = ParseMaxRows(row.text);
        EXPECT_EQ(parsed.records, row.records) << row.proves;
        EXPECT_EQ(parsed.error.empty(), row.records != 0) << row.proves;
    }
    EXPECT_EQ(ParseMaxRows("5k").error,
              "--max-rows takes a number of records from 1 to 1000000000, not \"5k\"");
}

TEST(MaxRows, ARefusedCountEndsTheProgramWithTwo) {
    ChildProcess program = ChildProcess::Start({TARNWICK_EXE, "--max-rows", "lots"});
    const std::optional<int> status = program.Wait(10s);
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, 2);
    EXPECT_TRUE(program.Stderr().starts_with("tarnwick: --max-rows takes a number of records"))
        << program.Stderr();
}

}  // namespace
}  // namespace tarnwick::test
