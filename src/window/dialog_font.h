#pragma once

#include <QFont>

namespace tarnwick {

// The main window's font: Carlito 10 pt, which keeps Calibri's metrics, else the default sans.
[[nodiscard]] QFont DialogFont();

// The About box's smaller font: the default sans at 8 pt.
[[nodiscard]] QFont AboutFont();

}  // namespace tarnwick
