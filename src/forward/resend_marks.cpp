#include "forward/resend_marks.h"

namespace tarnwick {

bool ResendMarks::Resent(const LogPosition& at, std::string_view key, std::string_view text,
                         LogSecond second) {
    Place place{at.file, at.offset};
    if (const auto known = m_marks.find(place); known != m_marks.end()) {
        return known->second;
    }
    const bool resent = m_window.Seen(key, text, second);
    if (m_order.size() == kRemembered) {
        m_marks.erase(m_order.front());
        m_order.pop_front();
    }
    m_marks.emplace(place, resent);
    m_order.push_back(std::move(place));
    return resent;
}

}  // namespace tarnwick
