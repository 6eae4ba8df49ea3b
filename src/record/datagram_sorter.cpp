#include "record/datagram_sorter.h"

#include "record/record_rules.h"

namespace tarnwick {

SortedDatagram DatagramSorter::Sort(std::span<const std::uint8_t> datagram, bool displayHexTicked) {
    const std::string_view text = DatagramText(datagram);
    if (IsDeviceRecord(text)) {
        if (IsIgnoredRecord(text)) {
            return {Verdict::Ignored, {}};
        }
        m_lastWasRecord = true;
        return SortRecord(text);
    }
    const bool followsRecord = m_lastWasRecord;
    m_lastWasRecord = false;
    if (followsRecord && displayHexTicked && datagram.size() <= kMaxHexDatagram) {
        return {Verdict::HexRecord, HexDump(datagram)};
    }
    return {Verdict::NotRecord, {}};
}

SortedDatagram DatagramSorter::SortRecord(std::string_view text) {
    if (!IsValidCodeField(CodeField(text))) {
        return {Verdict::InvalidCode, {}};
    }
    return {Verdict::TextRecord, TrimFieldValues(text)};
}

}  // namespace tarnwick
