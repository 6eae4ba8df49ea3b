#include "window/live_display.h"

#include <algorithm>

namespace tarnwick {

LiveDisplay::LiveDisplay(MeasureWidth measure, std::size_t maxRecords)
    : m_measure(std::move(measure)), m_maxRecords(maxRecords) {}

void LiveDisplay::Show(const RecvHandOff& record, const LocalTime& now) {
    if (record.kind == HandOffKind::Text) {
        TextRecordRowsInto(m_rows, record.text, TimeColumnText(now), m_nextIsFirstRecord);
        m_nextIsFirstRecord = false;
    } else {
        HexRecordRowsInto(m_rows, TimeColumnText(LocalTimeOf(record.receivedAt)), record.Source(),
                          record.Body());
    }
    // Every row shown counts, hex rows too: a row past the extent could never be scrolled to.
    for (const std::string& row : m_rows.data) {
        m_widest = std::max(m_widest, m_measure(row));
    }
    m_time.StageOnTop(m_rows.time);
    m_source.StageOnTop(m_rows.source);
    m_data.StageOnTop(m_rows.data);
    ++m_records;
}

void LiveDisplay::Commit() {
    m_time.Commit();
    m_source.Commit();
    m_data.Commit();
    if (m_records <= m_maxRecords) {
        return;
    }
    const std::size_t excess = m_records - m_maxRecords;
    for (RowColumnModel* column : {&m_time, &m_source, &m_data}) {
        column->DropOldestRecords(excess);
    }
    m_records = m_maxRecords;
    m_recordsLeft += excess;
}

void LiveDisplay::Clear() {
    m_time.Clear();
    m_source.Clear();
    m_data.Clear();
    m_nextIsFirstRecord = true;
    m_widest = 0;
    m_records = 0;
    m_recordsLeft = 0;
}

}  // namespace tarnwick
