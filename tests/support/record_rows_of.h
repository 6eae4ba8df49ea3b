#pragma once

// A record's display rows as a value, for tests that state what the live display shows.

#include <string_view>

#include "record/record_rows.h"

namespace tarnwick::test {

[[nodiscard]] inline DisplayRows TextRecordRows(std::string_view text, std::string_view timeText,
                                                bool firstRecord) {
    DisplayRows rows;
    TextRecordRowsInto(rows, text, timeText, firstRecord);
    return rows;
}

[[nodiscard]] inline DisplayRows HexRecordRows(std::string_view timeText,
                                               std::string_view sourceText,
                                               std::string_view hexText) {
    DisplayRows rows;
    HexRecordRowsInto(rows, timeText, sourceText, hexText);
    return rows;
}

}  // namespace tarnwick::test
