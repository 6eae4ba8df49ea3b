#include "datagram_source.h"

#include <charconv>
#include <cstdint>
#include <span>

#include "record/record_rules.h"

namespace tarnwick::device {
namespace {

constexpr std::string_view kHead = "#ST,123;ID:";
constexpr std::string_view kTail = ",x;STA:12.5,N;#";

}  // namespace

void WriteRecord(std::uint64_t seq, std::size_t size, std::string& out) {
    char digits[20];
    const auto [end, error] = std::to_chars(std::begin(digits), std::end(digits), seq);
    const auto seqLength = static_cast<std::size_t>(end - digits);
    const std::size_t natural = kHead.size() + seqLength + kTail.size();
    out.assign(kHead);
    out.append(size > natural ? size - natural : 0, '0');
    out.append(digits, seqLength);
    out.append(kTail);
}

bool IsRecord(std::string_view datagram) {
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(datagram.data()), datagram.size());
    return IsDeviceRecord(DatagramText(bytes));
}

DatagramSource::DatagramSource(std::vector<std::string> datagrams, std::uint64_t count,
                               std::size_t size)
    : m_datagrams(std::move(datagrams)), m_count(count), m_size(size) {}

DatagramSource DatagramSource::FromList(std::vector<std::string> datagrams) {
    const std::uint64_t count = datagrams.size();
    return DatagramSource(std::move(datagrams), count, 0);
}

DatagramSource DatagramSource::Generated(std::uint64_t count, std::size_t size) {
    return DatagramSource({}, count, size);
}

std::string_view DatagramSource::At(std::uint64_t index, std::string& scratch) const {
    if (!m_datagrams.empty()) {
        return m_datagrams[index];
    }
    WriteRecord(index + 1, m_size, scratch);
    return scratch;
}

}  // namespace tarnwick::device
