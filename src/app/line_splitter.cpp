#include "app/line_splitter.h"

namespace tarnwick {

void LineSplitter::Feed(std::string_view chunk, std::vector<std::string>& lines) {
    for (auto newline = chunk.find('\n'); newline != std::string_view::npos;
         newline = chunk.find('\n')) {
        m_pending += chunk.substr(0, newline);
        lines.push_back(std::move(m_pending));
        m_pending.clear();
        chunk.remove_prefix(newline + 1);
    }
    m_pending += chunk;
}

void LineSplitter::Finish(std::vector<std::string>& lines) {
    if (!m_pending.empty()) {
        lines.push_back(std::move(m_pending));
        m_pending.clear();
    }
}

}  // namespace tarnwick
