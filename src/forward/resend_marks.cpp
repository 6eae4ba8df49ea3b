#include "forward/resend_marks.h"

namespace tarnwick {

bool ResendMarks::Resent(const LogPosition& at, std::string_view key, std::string_view text,
                         LogSecond second) {
    Place place{at.file, at.offset};
    auto reach = m_reach.find(at.file);
    if (reach == m_reach.end()) {
        if (m_files.size() == kFilesRemembered) {
            m_reach.erase(m_files.front());
            m_files.pop_front();
        }
        m_files.push_back(at.file);
        reach = m_reach.emplace(at.file, 0).first;
    } else if (at.offset <= reach->second) {
        return m_resent.contains(place);
    }
    reach->second = at.offset;
    const bool resent = m_window.Seen(key, text, second);
    if (resent) {
        Remember(std::move(place));
    }
    return resent;
}

void ResendMarks::Remember(Place place) {
    if (m_order.size() == kRemembered) {
        m_resent.erase(m_order.front());
        m_order.pop_front();
    }
    m_resent.insert(place);
    m_order.push_back(std::move(place));
}

}  // namespace tarnwick
