#pragma once

// The rows one record adds at the top of the live display's three columns (time, source,
// data). Rows are given top to bottom, as they read once inserted; the rows of one record
// line up across the columns by position only.

#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

struct DisplayRows {
    std::vector<std::string> time;
    std::vector<std::string> source;
    std::vector<std::string> data;
    bool operator==(const DisplayRows&) const = default;
};

// A text record's rows (what is left after the "@517" cut), shown at timeText ("  HH:MM:SS");
// firstRecord: the first text record since start-up or "Buffer Clear". Written over what rows
// already holds, so its strings keep their capacity: the window makes rows for every record it
// is sent and need not allocate them each time.
void TextRecordRowsInto(DisplayRows& rows, std::string_view text, std::string_view timeText,
                        bool firstRecord);

// A hex record's rows: its time text, its source text ("ADDR  (PORT)") and its hex text.
void HexRecordRowsInto(DisplayRows& rows, std::string_view timeText, std::string_view sourceText,
                       std::string_view hexText);

}  // namespace tarnwick
