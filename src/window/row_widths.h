#pragma once

// How wide a data row draws, from a table of each byte's advance. Rows are Latin-1, one
// character per byte, and only the widest row matters (for the scroll extent), so summing
// advances is exact enough and costs nothing next to shaping every row's text.

#include <QFontMetrics>
#include <array>
#include <string_view>

namespace tarnwick {

class RowWidths {
public:
    explicit RowWidths(const QFontMetrics& metrics);

    [[nodiscard]] int operator()(std::string_view row) const;

private:
    std::array<int, 256> m_advance{};
};

}  // namespace tarnwick
