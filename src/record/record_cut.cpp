#include "record/record_cut.h"

namespace tarnwick {
namespace {

constexpr std::string_view kReplyMarker = "@517";
constexpr std::size_t kKeptFromMarker = 10;  // "@517" and six characters after it

}  // namespace

std::string_view CutAfterReplyMarker(std::string_view text) {
    const auto p = text.find(kReplyMarker);
    if (p != std::string_view::npos && text.size() - p > kKeptFromMarker) {
        return text.substr(0, p + kKeptFromMarker);
    }
    return text;
}

}  // namespace tarnwick
