#include <cstdio>
#include <string_view>
#include <vector>

#include "app/options.h"
#include "headless/headless.h"
#include "tarnwick/version.h"
#include "window/tarnwick_app.h"

int main(int argc, char** argv) {
    using namespace tarnwick;
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const ParsedOptions parsed = ParseOptions(args);
    if (!parsed.error.empty()) {
        // Every line on standard error carries the program's name, for a service's journal.
        std::fprintf(stderr, "tarnwick: %s\ntarnwick: see \"tarnwick --help\"\n",
                     parsed.error.c_str());
        return 2;
    }
    const Options& options = parsed.options;
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
