#pragma once

// Which records are resends: a record whose text equals one of the same device's records
// logged within the window before it. A device that missed its answer sends the same reading
// again, and the log keeps both; this tells them apart without hiding either.
//
// The rule is a function of the log's entries alone, in log order: each record's device key,
// its text and the second its entry's header gives. The log stage runs it as it writes, for the
// counters and the devices, and the forwarder runs it again over the entries it reads back, so
// a mark needs no room in the log and a replay marks what the first run marked. The header's
// fields count as seconds of days all 86,400 long, so no time zone is needed to read them; a
// clock stepped back compares by the distance either way.
//
// Bounded whatever senders do: a device's kPerDevice latest texts are kept (as hashes), and
// kInAll over every device, the oldest going first.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarnwick {

// A log header's time as a count of seconds; nothing for a text that is no such time.
using LogSecond = std::optional<std::int64_t>;
[[nodiscard]] LogSecond LogSecondOf(const std::tm& t);
// "YYYY-MM-DD HH:MM:SS", as a header has it.
[[nodiscard]] LogSecond LogSecondOf(std::string_view logTime);

class ResendWindow {
public:
    static constexpr std::size_t kPerDevice = 256;
    static constexpr std::size_t kInAll = 256 * 1024;

    // window 0: nothing is a resend, and nothing is kept.
    explicit ResendWindow(std::chrono::seconds window) : m_window(window.count()) {}
    ResendWindow(const ResendWindow&) = delete;
    ResendWindow& operator=(const ResendWindow&) = delete;

    // Each logged record, in log order: whether it is a resend. It is kept either way.
    bool Seen(std::string_view key, std::string_view text, LogSecond at);
    // Places in the order of texts kept, over every device: at most kInAll.
    [[nodiscard]] std::size_t Kept() const { return m_order.size(); }

private:
    struct Recent {
        std::uint64_t hash = 0;
        std::int64_t at = 0;
        std::uint64_t serial = 0;  // its place in m_order
    };
    struct Device {
        std::vector<Recent> recent;  // oldest first
        std::size_t inOrder = 0;     // its places in m_order, its own bound's cast-offs too
    };
    using Devices = std::unordered_map<std::string, Device>;
    struct Place {
        Devices::value_type* device = nullptr;  // nodes stay put as the map grows
        std::uint64_t serial = 0;
        std::int64_t at = 0;
    };

    [[nodiscard]] bool Within(std::int64_t a, std::int64_t b) const;
    void Keep(Devices::value_type& device, std::uint64_t hash, std::int64_t at);
    void DropOldest();

    std::int64_t m_window;
    Devices m_devices;
    std::deque<Place> m_order;  // every text kept, oldest first
    std::uint64_t m_serial = 0;
};

}  // namespace tarnwick
