#pragma once

// The window's pictures, drawn at start rather than shipped as files.

#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace tarnwick {

inline const QColor kLightStopped{150, 150, 150};
inline const QColor kLightListening{120, 204, 51};

// A round, shaded light of the given colour on the dialog grey, 15 x 15 pixels.
[[nodiscard]] QPixmap StatusLight(const QColor& colour);

// The application icon: a receiving mast with its waves.
[[nodiscard]] QIcon ApplicationIcon();

}  // namespace tarnwick
