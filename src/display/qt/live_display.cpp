#include "display/qt/live_display.h"

#include <algorithm>

#include "display/record_rows.h"

namespace tarnwick {

LiveDisplay::LiveDisplay(MeasureWidth measure) : m_measure(std::move(measure)) {}

void LiveDisplay::Show(const RecvHandOff& record, const LocalTime& now) {
    DisplayRows rows;
    if (record.kind == HandOffKind::Text) {
        rows = TextRecordRows(record.text, TimeColumnText(now), m_nextIsFirstRecord);
        m_nextIsFirstRecord = false;
        for (const std::string& row : rows.data) {
            m_widest = std::max(m_widest, m_measure(row));
        }
    } else {
        // Hex rows leave the extent alone, as they always have.
        rows = HexRecordRows(TimeColumnText(LocalTimeOf(record.receivedAt)), record.Source(),
                             record.Body());
    }
    m_time.StageOnTop(rows.time);
    m_source.StageOnTop(rows.source);
    m_data.StageOnTop(rows.data);
}

void LiveDisplay::Commit() {
    m_time.Commit();
    m_source.Commit();
    m_data.Commit();
}

void LiveDisplay::Clear() {
    m_time.Clear();
    m_source.Clear();
    m_data.Clear();
    m_nextIsFirstRecord = true;
    m_widest = 0;
}

}  // namespace tarnwick
