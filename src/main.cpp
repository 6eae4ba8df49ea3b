#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/options.h"
#include "app/session_options.h"
#include "app/usage_text.h"
#include "find/run_find.h"
#include "headless/headless.h"
#include "log/log_folder_lock.h"
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
    if (options.find) {
        return RunFind(options);
    }
    // A forwarder keeps its position in the folder, and centres sharing a port must not share
    // a folder: such a centre takes its folder for itself.
    std::optional<LogFolderLock> folderLock;
    if (options.mqtt || options.reusePort) {
        const std::string folder = LogFolderOf(options);
        if (folderLock.emplace(folder).Result() == LogFolderLock::Outcome::InUse) {
            std::fprintf(stderr, "tarnwick: log folder %s is in use by another centre\n",
                         folder.c_str());
            return 1;
        }
    }
    if (options.headless) {
        return RunHeadless(options);
    }
    return CTarnwickApp(argc, argv).InitInstance(options);
}
