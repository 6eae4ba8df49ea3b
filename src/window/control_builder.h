#pragma once

// Makes a window template's controls as child widgets at their template rectangles.

#include <QWidget>
#include <span>

#include "window/dialog_template.h"

namespace tarnwick {

// Created in template order, so the focus chain (tab order) is template order. Every control
// takes its objectName from the template.
void CreateControls(QWidget& parent, std::span<const ControlSpec> controls, const DialogBase& base);

}  // namespace tarnwick
