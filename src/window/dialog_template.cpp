#include "window/dialog_template.h"

namespace tarnwick {
namespace {

using K = ControlKind;

constexpr ControlSpec kMainDialog[] = {
    {K::Label, "label_local_ip", "Local IP:", {8, 10, 28, 8}},
    {K::AddressField, "IDC_LOCAL_IP", "", {43, 8, 109, 14}},
    {K::Label, "label_port", "Port:", {168, 10, 17, 8}},
    {K::Edit, "IDC_LOCAL_PORT", "", {192, 8, 58, 14}},
    {K::PushButton, "IDC_LISTEN", "Listen", {332, 7, 55, 14}},
    {K::PushButton, "IDC_BUFFER_CLEAR", "Buffer Clear", {517, 44, 54, 14}},
    {K::Label, "IDC_STATUS_TEXT", "", {11, 46, 75, 8}},
    {K::GroupBox, "IDC_DISPLAY_FRAME", "", {4, 37, 573, 356}},
    {K::Edit, "IDC_SAVE_PATH", "", {43, 25, 274, 14}},
    {K::PushButton, "IDC_SAVE_PATH_BUTTON", "Save Path", {332, 24, 55, 14}},
    {K::Picture, "IDC_STATUS_LIGHT", "", {400, 10, 9, 9}},
    {K::Label, "label_gprs_data_logger", "GPRS Data Logger", {484, 10, 63, 8}},
    {K::Label, "label_data_receiving_centre", "Data Receiving Centre V1.0.4", {476, 23, 95, 8}},
    {K::ListBox, "IDC_LIST_DATA", "", {153, 59, 418, 328}},
    {K::ListBox, "IDC_LIST_TIME", "", {9, 59, 43, 328}},
    {K::GroupBox, "group_send_command", "Send Command", {9, 396, 556, 61}},
    {K::Label, "label_destination_ip", "Desination IP:", {20, 409, 50, 13}},
    {K::Label, "label_destination_port", "Port:", {182, 409, 20, 8}},
    {K::Label, "label_sending_buffer", "Sending Buffer:", {303, 408, 53, 9}},
    // Display-only, and an IPv6 destination as much as an IPv4 one: no IPv4 address field.
    {K::Edit, "IDC_DEST_IP", "", {75, 407, 92, 12}},
    {K::Edit, "IDC_DEST_PORT", "", {210, 407, 50, 13}},
    {K::CheckBox, "IDC_AUTO_REPLY", " Automatic reply with @517", {389, 407, 96, 10}},
    {K::CheckBox, "IDC_SEND_HEX", " HEX", {528, 406, 25, 12}},
    {K::Edit, "IDC_SEND_BUFFER", "", {19, 424, 438, 29}},
    {K::PushButton, "IDC_CLEAR_SEND_BUFFER", "Clear Sending Buffer", {468, 423, 85, 12}},
    {K::PushButton, "IDC_SEND", "SEND", {468, 436, 85, 15}},
    {K::Label, "label_live_data_display", "Live Data Display ", {153, 46, 61, 10}},
    {K::ListBox, "IDC_LIST_SOURCE", "", {55, 59, 96, 328}},
    {K::CheckBox, "IDC_DISPLAY_HEX", " Hex", {245, 46, 49, 11}},
    // The free space of the display's header row, between " Hex" and "Buffer Clear".
    {K::Label, "IDC_NOTICES", "", {298, 46, 215, 10}},
    // Free places: beside Save Path, under the status light; the send group's title row, over
    // the SEND column.
    {K::PushButton, "IDC_DEVICES", "Devices", {400, 24, 55, 14}},
    {K::CheckBox, "IDC_SEND_AT_NEXT_REPORT", " Send at next report", {468, 396, 85, 10}},
};

constexpr ControlSpec kAboutDialog[] = {
    {K::Picture, "label_icon", "", {11, 17, 20, 20}},
    {K::Label, "label_version", "", {47, 24, 99, 11}},
    {K::DefaultButton, "IDOK", "OK", {183, 17, 50, 16}},
};

}  // namespace

std::span<const ControlSpec> MainDialogControls() {
    return kMainDialog;
}

std::span<const ControlSpec> AboutDialogControls() {
    return kAboutDialog;
}

}  // namespace tarnwick
