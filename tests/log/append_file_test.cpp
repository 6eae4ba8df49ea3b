#include "log/append_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "support/temp_folder.h"

namespace tarnwick {
namespace {

using test::ReadFile;
using test::WriteFile;

class AppendFileTest : public ::testing::Test {
protected:
    test::TempFolder m_temp;
    const std::string m_path = m_temp.PathOf("Data_logs_0307.txt");
};

// The file may grow to `limit` bytes: the append runs in a child so the limit stays there.
int AppendUnderSizeLimit(const std::string& path, std::string_view bytes, rlim_t limit) {
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of killing
        const rlimit size{limit, limit};
        setrlimit(RLIMIT_FSIZE, &size);
        _exit(AppendWhole(path, bytes, {}) == 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(AppendFileTest, AShortWriteIsCutBackSoOnlyWholeAppendsRemain) {
    WriteFile(m_path, "whole\r\n");
    EXPECT_EQ(AppendUnderSizeLimit(m_path, std::string(100, 'x'), 50), 1);
    EXPECT_EQ(ReadFile(m_path), "whole\r\n");
    EXPECT_EQ(AppendUnderSizeLimit(m_path, "more\r\n", 50), 0);
    EXPECT_EQ(ReadFile(m_path), "whole\r\nmore\r\n");
}

TEST_F(AppendFileTest, ANonRegularFileIsRefusedWithoutWaitingForAReader) {
    ASSERT_EQ(mkfifo(m_path.c_str(), 0644), 0);
    EXPECT_EQ(AppendWhole(m_path, "entry", {}), kNotRegularFile);  // no reader: at once too
    const int reader = open(m_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_EQ(AppendWhole(m_path, "entry", {}), kNotRegularFile);
    EXPECT_EQ(AppendErrorText(kNotRegularFile), "not a regular file");
    close(reader);
}

TEST_F(AppendFileTest, SyncedAppendsLandToo) {
    EXPECT_EQ(AppendWhole(m_path, "entry\r\n", {true, {}}), 0);
    EXPECT_EQ(ReadFile(m_path), "entry\r\n");
}

// What makes a centre ready to be called so: its log folder, made where missing, can be written.
TEST_F(AppendFileTest, AFolderIsPreparedWithItsParentsOrSaysWhyNot) {
    WriteFile(m_temp.PathOf("plain"), "");
    const struct {
        const char* folder;
        int error;
    } rows[] = {
        {"new/deeper", 0},
        {"new/deeper", 0},  // already there
        {"plain/deeper", ENOTDIR},
        {"plain", ENOTDIR},  // a file where the folder should be
    };
    for (const auto& [folder, error] : rows) {
        SCOPED_TRACE(folder);
        EXPECT_EQ(PrepareFolder(m_temp.PathOf(folder)), error);
    }
    struct stat made {};
    EXPECT_EQ(stat(m_temp.PathOf("new/deeper").c_str(), &made), 0);
    EXPECT_TRUE(S_ISDIR(made.st_mode));
}

}  // namespace
}  // namespace tarnwick
