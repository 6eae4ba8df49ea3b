#include <cstdio>
#include <string_view>
#include <vector>

#include "app/headless.h"
#include "app/max_rows.h"
#include "app/options.h"
#include "app/window/tarnwick_app.h"
#include "tarnwick/version.h"

int main(int argc, char** argv) {
    using namespace tarnwick;
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const ParsedOptions parsed = ParseOptions(args);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "tarnwick: %s\n\n%s", parsed.error.c_str(), UsageText().c_str());
        return 2;
    }
    const Options& options = parsed.options;
    if (const MaxRows maxRows = ParseMaxRows(options.maxRows); !maxRows.error.empty()) {
        std::fprintf(stderr, "tarnwick: %s\n\n%s", maxRows.error.c_str(), UsageText().c_str());
        return 2;
    }
    if (options.version) {
        std::printf("tarnwick %s\n", kVersion);
        return 0;
    }
    if (options.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (options.headless) {
        return RunHeadless(options);
    }
    return CTarnwickApp(argc, argv).InitInstance(options);
}
