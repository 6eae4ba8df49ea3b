#pragma once

// Where the log files go unless the operator says otherwise, and how a folder and a day make
// the log file's path.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "log/time_text.h"

namespace tarnwick {

// What a write access check (access(2), W_OK) says of a path.
enum class PathAccess { Writable, NotWritable, Missing };
using AccessProbe = std::function<PathAccess(const std::string& path)>;

// The environment variables the fallback folder is made of; nullopt when unset.
struct UserDirs {
    std::optional<std::string> xdgDataHome;
    std::optional<std::string> home;
};

// "DataLog" beside the program (programPath: the program file's full path) when that folder
// can be written: it is writable, or it is missing and the program's folder is writable.
// Never beside a program installed under /usr, even for root, who could write there.
// Otherwise, as for a program installed under /usr, $XDG_DATA_HOME/tarnwick/DataLog, with
// XDG_DATA_HOME defaulting to $HOME/.local/share; without either, beside the program anyway.
[[nodiscard]] std::string DefaultLogFolder(std::string_view programPath, const AccessProbe& probe,
                                           const UserDirs& dirs);

// The same for this process: access(2) and its environment.
[[nodiscard]] std::string DefaultLogFolder(std::string_view programPath);

// folder + "/" + "Data_logs_MMDD.txt" (a folder ending in "/" gives a doubled separator,
// so a chosen root folder gives "//Data_logs_MMDD.txt").
[[nodiscard]] std::string LogFilePathIn(std::string_view folder, const LocalTime& t);

// The running program's full path ("" when the system cannot tell).
[[nodiscard]] std::string ProgramPath();

}  // namespace tarnwick
