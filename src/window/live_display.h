#pragma once

// The live display's three columns (time, source, data) and what one record, text or hex,
// adds to them, with the data column's horizontal extent kept from the new rows only. At most a
// given number of records stay in view: past it the oldest leave the bottom, and they are counted.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "log/time_text.h"
#include "record/record_rows.h"
#include "record/recv_hand_off.h"
#include "window/row_column_model.h"

namespace tarnwick {

class LiveDisplay {
public:
    // Width in pixels of a data row as the data column draws it.
    using MeasureWidth = std::function<int(std::string_view)>;

    static constexpr int kExtentMargin = 90;

    // maxRecords: how many records stay in view.
    LiveDisplay(MeasureWidth measure, std::size_t maxRecords);

    // Stages a handled record's rows; a text record is stamped with now, a hex record with
    // its time of receipt. Shown at the next Commit.
    void Show(const RecvHandOff& record, const LocalTime& now);
    // Inserts every staged row, one block per column, then takes the oldest records past the
    // limit off the bottom.
    void Commit();
    // "Buffer Clear": every row, and the count of records that left.
    void Clear();

    [[nodiscard]] std::size_t MaxRecords() const { return m_maxRecords; }
    // Records taken off the bottom since the last clear.
    [[nodiscard]] std::uint64_t RecordsLeftView() const { return m_recordsLeft; }

    // The widest data row ever shown since the last clear, plus the margin.
    [[nodiscard]] int DataExtent() const { return m_widest + kExtentMargin; }

    [[nodiscard]] RowColumnModel& Time() { return m_time; }
    [[nodiscard]] RowColumnModel& Source() { return m_source; }
    [[nodiscard]] RowColumnModel& Data() { return m_data; }

private:
    MeasureWidth m_measure;
    std::size_t m_maxRecords;
    std::size_t m_records = 0;  // shown or staged
    std::uint64_t m_recordsLeft = 0;
    RowColumnModel m_time;
    RowColumnModel m_source;
    RowColumnModel m_data;
    DisplayRows m_rows;               // the latest record's, reused by the next
    bool m_nextIsFirstRecord = true;  // no text record since start-up or "Buffer Clear"
    int m_widest = 0;
};

}  // namespace tarnwick
