#pragma once

// What the device sends: the datagrams given on the command line, or generated device records.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::device {

// Writes "#ST,123;ID:<seq>,x;STA:12.5,N;#" into out (reusing its storage), the ID value padded
// with leading zeros up to size bytes; a record never gets shorter than its unpadded form.
void WriteRecord(std::uint64_t seq, std::size_t size, std::string& out);

// A device record by the centre's own rule: the only datagrams it answers, so the only ones
// whose replies are waited for.
[[nodiscard]] bool IsRecord(std::string_view datagram);

class DatagramSource {
public:
    static DatagramSource FromList(std::vector<std::string> datagrams);
    // count records numbered from 1.
    static DatagramSource Generated(std::uint64_t count, std::size_t size);

    [[nodiscard]] std::uint64_t Count() const { return m_count; }

    // The bytes of datagram index (0-based); a generated one is written into scratch, so the view
    // lives as long as scratch is left alone.
    [[nodiscard]] std::string_view At(std::uint64_t index, std::string& scratch) const;

private:
    DatagramSource(std::vector<std::string> datagrams, std::uint64_t count, std::size_t size);

    std::vector<std::string> m_datagrams;  // empty when generated
    std::uint64_t m_count;
    std::size_t m_size;
};

}  // namespace tarnwick::device
