#pragma once

// Where the log files go unless the operator says otherwise, and how a folder and a day make
// the log file's path.

#include <string>
#include <string_view>

#include "log/time_text.h"

namespace tarnwick {

// The folder "DataLog" beside the program (programPath: the program file's full path).
[[nodiscard]] std::string DefaultLogFolder(std::string_view programPath);

// folder + "/" + "Data_logs_MMDD.txt" (a folder ending in "/" gives a doubled separator,
// as the path has always been built).
[[nodiscard]] std::string LogFilePathIn(std::string_view folder, const LocalTime& t);

// The running program's full path ("" when the system cannot tell).
[[nodiscard]] std::string ProgramPath();

}  // namespace tarnwick
