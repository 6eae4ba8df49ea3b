#include "log/log_folder.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>

#include "log/day_files.h"

namespace tarnwick {
namespace {

std::string_view FolderOf(std::string_view programPath) {
    const auto slash = programPath.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : programPath.substr(0, slash);
}

bool CanWriteBeside(std::string_view programFolder, const std::string& beside,
                    const AccessProbe& probe) {
    // The package manager owns /usr: root could write there, but logs do not belong in it.
    if (programFolder.starts_with("/usr/")) {
        return false;
    }
    const PathAccess folder = probe(beside);
    if (folder == PathAccess::Missing) {
        // The log creates the folder with its first entry.
        const std::string parent = programFolder.empty() ? "/" : std::string(programFolder);
        return probe(parent) == PathAccess::Writable;
    }
    return folder == PathAccess::Writable;
}

// The XDG rule: an empty or relative value counts as unset.
std::optional<std::string> Usable(const std::optional<std::string>& dir) {
    return dir && dir->starts_with('/') ? dir : std::nullopt;
}

std::optional<std::string> UserDataHome(const UserDirs& dirs) {
    if (const auto dataHome = Usable(dirs.xdgDataHome)) {
        return dataHome;
    }
    if (const auto home = Usable(dirs.home)) {
        return *home + "/.local/share";
    }
    return std::nullopt;
}

std::optional<std::string> Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

PathAccess SystemAccess(const std::string& path) {
    if (::access(path.c_str(), W_OK) == 0) {
        return PathAccess::Writable;
    }
    return errno == ENOENT ? PathAccess::Missing : PathAccess::NotWritable;
}

}  // namespace

std::string DefaultLogFolder(std::string_view programPath, const AccessProbe& probe,
                             const UserDirs& dirs) {
    const std::string_view programFolder = FolderOf(programPath);
    std::string beside = std::string(programFolder) + "/DataLog";
    if (CanWriteBeside(programFolder, beside, probe)) {
        return beside;
    }
    const auto dataHome = UserDataHome(dirs);
    return dataHome ? *dataHome + "/tarnwick/DataLog" : beside;
}

std::string DefaultLogFolder(std::string_view programPath) {
    return DefaultLogFolder(programPath, SystemAccess,
                            {Environment("XDG_DATA_HOME"), Environment("HOME")});
}

std::string LogFilePathIn(std::string_view folder, const LocalTime& t) {
    return std::string(folder) + "/" + LogFileName(t);
}

std::string ProgramPath() {
    std::array<char, 4096> path{};
    const auto length = readlink("/proc/self/exe", path.data(), path.size() - 1);
    return length > 0 ? std::string(path.data(), static_cast<std::size_t>(length)) : std::string();
}

}  // namespace tarnwick
