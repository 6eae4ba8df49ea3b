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
    } else {
        rows = HexRecordRows(TimeColumnText(LocalTimeOf(record.receivedAt)), record.Source(),
                             record.Body());
    }
    // Every row shown counts, hex rows too: a row past the extent could never be scrolled to.
    for (const std::string& row : rows.data) {
        m_widest = std::max(m_widest, m_measure(row));
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
