#include "log/archive_round.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "log/append_file.h"
#include "log/atomic_file.h"
#include "log/gzip_file.h"
#include "log/journal_files.h"
#include "log/year_folder.h"

namespace tarnwick {
namespace {

constexpr ArchivedFamily kFamilies[] = {
    {kDayLogFamily, true, false},
    {kJournalFamily, false, true},
};

constexpr std::string_view kSaid = "log archive: ";

// Days between file's day and today: 0 for today's file.
long AgeOf(const DayFile& file, Day today) {
    return (std::chrono::sys_days(today) - std::chrono::sys_days(file.day)).count();
}

// The log may still write today's and yesterday's files (a batch that crossed midnight).
bool Touchable(const DayFile& file, Day today) {
    return AgeOf(file, today) > 1;
}

// Neither may be compressed or deleted while a start would still read it: a command held
// there is restored from it, and the broker's commands there are remembered by their ids.
bool Archivable(const UpkeepContext& context, const ArchivedFamily& family, const DayFile& file,
                Day today) {
    return Touchable(file, today) &&
           (!family.readAtStart || AgeOf(file, today) > context.rules.startReadsDays);
}

// A file the upkeep may change, under the log's lock taken without waiting: the descriptor, or
// kNotRegularFile (symlinks too), kLockNotGranted or errno.
struct Held {
    int fd = -1;
    int error = 0;
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    explicit Held(const std::string& path) {
        fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat status {};
        if (fd < 0) {
            error = errno == ELOOP || errno == ENXIO ? kNotRegularFile : errno;
        } else if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
            error = kNotRegularFile;
        } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            error = errno == EWOULDBLOCK ? kLockNotGranted : errno;
        }
    }
    ~Held() {
        if (fd >= 0) {
            close(fd);
        }
    }
};

std::string FolderOf(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

void Refuse(const UpkeepContext& context, const std::string& path, std::string_view why) {
    context.report(std::string(kSaid) + "left " + path + " as it is: " + std::string(why));
}

// The archive's name: the year folder's, whether the file is there yet or still in the folder.
std::string ArchiveNameOf(const DayFile& file) {
    const std::string name = file.name.substr(file.name.rfind('/') + 1);
    return YearFolderName(static_cast<int>(file.day.year())) + "/" + name +
           std::string(kCompressedEnd);
}

void Compress(const UpkeepContext& context, const ArchivedFamily& family, const DayFile& file,
              const std::optional<LogPosition>& reach, Day today) {
    const std::string path = context.folder + "/" + file.name;
    if (family.forwarded && !IsForwarded(context.folder, file, reach, today)) {
        Refuse(context, path, "not yet forwarded");
        return;
    }
    const Held held(path);
    if (held.error != 0) {
        Refuse(context, path, AppendErrorText(held.error));
        return;
    }
    const std::string archive = context.folder + "/" + ArchiveNameOf(file);
    int error = PrepareFolder(FolderOf(archive));
    if (error == 0) {
        error = CompressInto(held.fd, archive, context.stop);
    }
    // The original goes only once its archive is whole on the disk.
    if (error == 0 && unlink(path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        context.report(std::string(kSaid) + "cannot compress " + path + ": " +
                       AppendErrorText(error));
        return;
    }
    (void)SyncFolder(FolderOf(path));
    context.report(std::string(kSaid) + "compressed " + path + " into " + archive);
}

bool Delete(const UpkeepContext& context, const ArchivedFamily& family, const DayFile& file,
            const std::optional<LogPosition>& reach, Day today, std::string_view why) {
    const std::string path = context.folder + "/" + file.name;
    if (family.forwarded && !context.rules.deleteUnforwarded &&
        !IsForwarded(context.folder, file, reach, today)) {
        Refuse(context, path, "not yet forwarded");
        return false;
    }
    const Held held(path);
    if (held.error != 0) {
        Refuse(context, path, AppendErrorText(held.error));
        return false;
    }
    if (unlink(path.c_str()) != 0) {
        context.report(std::string(kSaid) + "cannot delete " + path + ": " +
                       AppendErrorText(errno));
        return false;
    }
    (void)SyncFolder(FolderOf(path));
    context.report(std::string(kSaid) + "deleted " + path + std::string(why));
    return true;
}

// What a round killed while compressing left: never a whole archive, so never kept.
void RemoveParts(const std::string& folder, const FileFamily& family, Day today) {
    std::error_code error;
    for (const auto& year : std::filesystem::directory_iterator(folder, error)) {
        for (const auto& entry : std::filesystem::directory_iterator(year.path(), error)) {
            std::string name =
                year.path().filename().string() + "/" + entry.path().filename().string();
            if (name.ends_with(kPartEnd)) {
                name.resize(name.size() - std::string_view(kPartEnd).size());
                if (DayOfName(name, family, today)) {
                    std::filesystem::remove(entry.path(), error);
                }
            }
        }
    }
}

// A file that is not regular or is locked is said by the rules below, if they touch it.
void SetAsideEarlierYears(const UpkeepContext& context, const FileFamily& family, Day today) {
    for (const DayFile& file : ListDayFiles(context.folder, family, today)) {
        if (!Touchable(file, today) || file.name.find('/') != std::string::npos) {
            continue;
        }
        const std::string path = context.folder + "/" + file.name;
        const YearMove move = SetAsideEarlierYear(path, static_cast<int>(file.day.year()),
                                                  KeepWaiting(), family.yearAfter);
        if (!move.to.empty()) {
            context.report(std::string(kSaid) + "moved " + path + " to " + move.to);
        } else if (move.error != 0 && move.error != kNotRegularFile &&
                   move.error != kLockNotGranted) {
            Refuse(context, path, AppendErrorText(move.error));
        }
    }
}

void RoundOf(const UpkeepContext& context, const ArchivedFamily& family, Day today) {
    SetAsideEarlierYears(context, family.family, today);
    RemoveParts(context.folder, family.family, today);
    const ArchiveRules& rules = context.rules;
    if (!rules.compressAfterDays && !rules.deleteAfterDays) {
        return;
    }
    const std::optional<LogPosition> reach = context.forwarded();
    for (const DayFile& file : ListDayFiles(context.folder, family.family, today)) {
        if (context.stop.stop_requested()) {
            return;
        }
        const long age = AgeOf(file, today);
        if (!Archivable(context, family, file, today)) {
            continue;
        }
        if (rules.deleteAfterDays && age > *rules.deleteAfterDays) {
            (void)Delete(context, family, file, reach, today, "");
        } else if (rules.compressAfterDays && age > *rules.compressAfterDays && !file.compressed) {
            Compress(context, family, file, reach, today);
        }
    }
}

}  // namespace

std::span<const ArchivedFamily> ArchivedFamilies() {
    return kFamilies;
}

bool IsForwarded(const std::string& folder, const DayFile& file,
                 const std::optional<LogPosition>& reach, Day today) {
    if (!reach) {
        return true;
    }
    // A position past its file's end is one into a file of that name that has moved away (last
    // year's, set aside while the forwarder was behind): it says nothing of what came before.
    struct stat reached {};
    const auto reachDay = DayOfName(reach->file, kDayLogFamily, today);
    if (!reachDay || stat((folder + "/" + reach->file).c_str(), &reached) != 0 ||
        reach->offset > static_cast<std::uint64_t>(reached.st_size)) {
        return false;
    }
    if (file.day != *reachDay) {
        return file.day < *reachDay;
    }
    return !file.compressed && file.name == reach->file &&
           reach->offset >= static_cast<std::uint64_t>(reached.st_size);
}

void RunArchiveRound(const UpkeepContext& context, Day today) {
    for (const ArchivedFamily& family : ArchivedFamilies()) {
        RoundOf(context, family, today);
    }
}

void FreeLogSpace(const UpkeepContext& context, Day today,
                  const std::function<bool()>& stillShort) {
    if (!context.rules.deleteAfterDays) {
        return;
    }
    const std::optional<LogPosition> reach = context.forwarded();
    for (const ArchivedFamily& family : ArchivedFamilies()) {
        for (const DayFile& file : ListDayFiles(context.folder, family.family, today)) {
            if (context.stop.stop_requested() || !stillShort()) {
                return;
            }
            if (Archivable(context, family, file, today) &&
                (!family.forwarded || IsForwarded(context.folder, file, reach, today))) {
                (void)Delete(context, family, file, reach, today, " to free space");
            }
        }
    }
}

}  // namespace tarnwick
