#include "app/log_folder_option.h"

#include "log/log_folder.h"

namespace tarnwick {

std::string LogFolderOf(const Options& options) {
    std::string folder = options.logDir.value_or(DefaultLogFolder(ProgramPath()));
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

}  // namespace tarnwick
