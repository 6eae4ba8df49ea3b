#include "log/log_tail.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "log/append_file.h"
#include "support/temp_folder.h"

namespace tarnwick {
namespace {

// What stands in the log file's place.
enum class Place { File, LockedFile, Missing, Directory, Fifo };

struct TailRow {
    const char* proves;
    Place place;
    std::uint64_t offset;
    std::size_t limit;
    LogTail::Status status;
    std::string bytes;
    std::uint64_t size;
    int error;
};

void Make(Place place, const std::string& path, const std::string& contents) {
    switch (place) {
        case Place::File:
        case Place::LockedFile:
            test::WriteFile(path, contents);
            return;
        case Place::Missing:
            return;
        case Place::Directory:
            std::filesystem::create_directory(path);
            return;
        case Place::Fifo:
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
            return;
    }
}

TEST(LogTailTest, ReadsUpToTheSizeUnderTheLockAndRefusesWhatIsNoLogFile) {
    const std::string contents = "0123456789";
    const std::vector<TailRow> rows = {
        {"from the offset to the end", Place::File, 4, 100, LogTail::Status::Read, "456789", 10, 0},
        {"no more than the limit", Place::File, 4, 3, LogTail::Status::Read, "456", 10, 0},
        {"a file cut below the offset reads nothing, and says its size", Place::File, 12, 100,
         LogTail::Status::Read, "", 10, 0},
        {"a batch being appended is not read", Place::LockedFile, 0, 100, LogTail::Status::Busy, "",
         0, 0},
        {"a missing file", Place::Missing, 0, 100, LogTail::Status::Missing, "", 0, ENOENT},
        {"a directory in the file's place", Place::Directory, 0, 100, LogTail::Status::Failed, "",
         0, kNotRegularFile},
        {"a FIFO in the file's place, without waiting for a writer", Place::Fifo, 0, 100,
         LogTail::Status::Failed, "", 0, kNotRegularFile},
    };
    for (const TailRow& row : rows) {
        SCOPED_TRACE(row.proves);
        const test::TempFolder folder;
        const std::string path = folder.PathOf("Data_logs_0307.txt");
        Make(row.place, path, contents);
        const int writer = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (row.place == Place::LockedFile) {
            ASSERT_EQ(flock(writer, LOCK_EX), 0);
        }
        const LogTail tail = ReadLogTail(path, row.offset, row.limit);
        EXPECT_EQ(tail.status, row.status);
        EXPECT_EQ(tail.bytes, row.bytes);
        EXPECT_EQ(tail.size, row.size);
        EXPECT_EQ(tail.error, row.error);
        if (writer >= 0) {
            close(writer);
        }
    }
}

}  // namespace
}  // namespace tarnwick
