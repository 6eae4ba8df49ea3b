#include "window/row_widths.h"

namespace tarnwick {

RowWidths::RowWidths(const QFontMetrics& metrics) {
    for (std::size_t byte = 0; byte < m_advance.size(); ++byte) {
        m_advance[byte] = metrics.horizontalAdvance(QChar::fromLatin1(static_cast<char>(byte)));
    }
}

int RowWidths::operator()(std::string_view row) const {
    int width = 0;
    for (const char c : row) {
        width += m_advance[static_cast<unsigned char>(c)];
    }
    return width;
}

}  // namespace tarnwick
