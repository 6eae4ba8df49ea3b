#include "headless/line_splitter.h"

#include <utility>

namespace tarnwick {

void LineSplitter::Feed(std::string_view chunk, std::vector<InputLine>& lines) {
    for (auto newline = chunk.find('\n'); newline != std::string_view::npos;
         newline = chunk.find('\n')) {
        Take(chunk.substr(0, newline), lines);
        EndLine(lines);
        chunk.remove_prefix(newline + 1);
    }
    Take(chunk, lines);
}

void LineSplitter::Finish(std::vector<InputLine>& lines) {
    if (!m_pending.empty()) {
        EndLine(lines);
    }
    m_pending.clear();
    m_skipping = false;
}

void LineSplitter::EndLine(std::vector<InputLine>& lines) {
    // A line from a file written with CR LF ends the same as one typed here.
    if (m_pending.ends_with('\r')) {
        m_pending.pop_back();
    }
    if (!m_skipping) {
        lines.push_back({std::move(m_pending)});
    }
    m_pending.clear();
    m_skipping = false;
}

void LineSplitter::Take(std::string_view part, std::vector<InputLine>& lines) {
    if (m_skipping) {
        return;
    }
    // One byte of room for the CR of a CR LF line.
    const bool endsInCr = part.empty() ? m_pending.ends_with('\r') : part.ends_with('\r');
    if (m_pending.size() + part.size() > m_maxLine + (endsInCr ? 1 : 0)) {
        m_pending += part;  // one read's worth at most
        m_pending.resize(m_maxLine);
        m_skipping = true;
        lines.push_back({std::exchange(m_pending, {}), true});
        return;
    }
    m_pending += part;
}

}  // namespace tarnwick
