#pragma once

// Decides what becomes of one datagram: a device record to answer and hand over, a hex
// rendering of the datagram that follows a record, or a drop (and why).

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tarnwick {

enum class Verdict {
    TextRecord,   // body: the trimmed record
    HexRecord,    // body: the hex text of the whole datagram
    Ignored,      // device record whose fourth character is ':'
    InvalidCode,  // accepted record whose code field is not three digits
    NotRecord,    // anything else, shown nowhere
};

struct SortedDatagram {
    Verdict verdict = Verdict::NotRecord;
    std::string body;
    bool operator==(const SortedDatagram&) const = default;
};

// The one datagram shown in hex after a record is at most this long (156 hex characters).
inline constexpr std::size_t kMaxHexDatagram = 50;

class DatagramSorter {
public:
    // datagram: 1 to 4,096 bytes as received. displayHexTicked: the " Hex" box right now.
    [[nodiscard]] SortedDatagram Sort(std::span<const std::uint8_t> datagram,
                                      bool displayHexTicked);

private:
    [[nodiscard]] static SortedDatagram SortRecord(std::string_view text);

    // The latest datagram that was not an ignored record was an accepted record. Survives
    // Close and Listen, like the client list.
    bool m_lastWasRecord = false;
};

}  // namespace tarnwick
