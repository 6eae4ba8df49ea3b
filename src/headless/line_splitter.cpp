#include "headless/line_splitter.h"

namespace tarnwick {

void LineSplitter::Feed(std::string_view chunk, std::vector<InputLine>& lines) {
    for (auto newline = chunk.find('\n'); newline != std::string_view::npos;
         newline = chunk.find('\n')) {
        Take(chunk.substr(0, newline), lines);
        if (!m_skipping) {
            lines.push_back({std::move(m_pending)});
        }
        m_pending.clear();
        m_skipping = false;
        chunk.remove_prefix(newline + 1);
    }
    Take(chunk, lines);
}

void LineSplitter::Finish(std::vector<InputLine>& lines) {
    if (!m_pending.empty()) {
        lines.push_back({std::move(m_pending)});
    }
    m_pending.clear();
    m_skipping = false;
}

void LineSplitter::Take(std::string_view part, std::vector<InputLine>& lines) {
    if (m_skipping) {
        return;
    }
    if (m_pending.size() + part.size() > m_maxLine) {
        m_pending.clear();
        m_skipping = true;
        lines.push_back({"", true});
        return;
    }
    m_pending += part;
}

}  // namespace tarnwick
