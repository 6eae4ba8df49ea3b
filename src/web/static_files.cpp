#include "web/static_files.h"

#include <fstream>
#include <iterator>
#include <mutex>
#include <string>

namespace tarnwick {
namespace {

// libjs-chart.js's UMD build, which a plain <script> takes.
constexpr const char* kChartJs = "/usr/share/javascript/chart.js/chart.min.js";

// Read once, when first asked: the package's file does not change under a running centre.
const std::optional<std::string>& ChartJs() {
    static std::once_flag once;
    static std::optional<std::string> bytes;
    std::call_once(once, [] {
        std::ifstream file(kChartJs, std::ios::binary);
        if (file) {
            bytes.emplace(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        }
    });
    return bytes;
}

}  // namespace

std::optional<WebReply> StaticReply(std::string_view path) {
    const std::vector<std::pair<std::string, std::string>> cache = {
        {"Cache-Control", "no-cache"}, {"X-Content-Type-Options", "nosniff"}};
    if (path == "/chart.js") {
        const auto& chart = ChartJs();
        if (!chart) {
            return ErrorReply(
                404, std::string(kChartJs) + " is missing: the package libjs-chart.js installs it");
        }
        return WebReply{200, *chart, "text/javascript; charset=utf-8", cache};
    }
    for (const StaticFile& file : BuiltInFiles()) {
        if (file.path == path) {
            return WebReply{200, std::string(file.bytes), std::string(file.type), cache};
        }
    }
    return std::nullopt;
}

}  // namespace tarnwick
