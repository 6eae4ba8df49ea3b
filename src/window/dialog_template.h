#pragma once

// The controls of the main window and of the About box, in template order (which is also the
// tab order), with their texts and places in dialog units.

#include <span>

#include "window/dialog_units.h"

namespace tarnwick {

enum class ControlKind {
    Label,
    AddressField,  // an IPv4 address field
    Edit,
    PushButton,
    DefaultButton,
    CheckBox,
    GroupBox,
    Picture,
    ListBox,
};

struct ControlSpec {
    ControlKind kind;
    const char* name;  // the control id, or a name of its own for a label without one
    const char* text;
    DialogRect rect;
};

inline constexpr DialogRect kMainDialogSize{0, 0, 587, 465};
inline constexpr DialogRect kAboutDialogSize{0, 0, 250, 75};

[[nodiscard]] std::span<const ControlSpec> MainDialogControls();
[[nodiscard]] std::span<const ControlSpec> AboutDialogControls();

}  // namespace tarnwick
