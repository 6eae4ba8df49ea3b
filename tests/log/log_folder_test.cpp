#include "log/log_folder.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

constexpr const char* kProgram = "/opt/tw/bin/tarnwick";
const std::string kBeside = "/opt/tw/bin/DataLog";

using Accesses = std::map<std::string, PathAccess>;

// Paths the table does not name do not exist.
AccessProbe Probe(const Accesses& accesses) {
    return [accesses](const std::string& path) {
        const auto found = accesses.find(path);
        return found == accesses.end() ? PathAccess::Missing : found->second;
    };
}

const Accesses kReadOnlyInstall = {{"/opt/tw/bin", PathAccess::NotWritable}};
const UserDirs kHomeOnly = {std::nullopt, "/home/op"};

TEST(DefaultLogFolder, NeverBesideAProgramInstalledUnderUsr) {
    const auto everythingWritable = [](const std::string&) { return PathAccess::Writable; };
    EXPECT_EQ(DefaultLogFolder("/usr/bin/tarnwick", everythingWritable, kHomeOnly),
              "/home/op/.local/share/tarnwick/DataLog");
}

TEST(DefaultLogFolder, BesideTheProgramWhenWritableElseTheUsersDataFolder) {
    struct Row {
        const char* proves;
        Accesses accesses;
        UserDirs dirs;
        std::string folder;
    };
    const std::vector<Row> rows = {
        {"a build folder keeps DataLog beside the program",
         {{"/opt/tw/bin", PathAccess::Writable}},
         kHomeOnly,
         kBeside},
        {"an existing writable DataLog is used in a read-only folder",
         {{kBeside, PathAccess::Writable}, {"/opt/tw/bin", PathAccess::NotWritable}},
         kHomeOnly,
         kBeside},
        {"an existing DataLog that cannot be written is passed over",
         {{kBeside, PathAccess::NotWritable}, {"/opt/tw/bin", PathAccess::Writable}},
         kHomeOnly,
         "/home/op/.local/share/tarnwick/DataLog"},
        {"XDG_DATA_HOME comes before HOME",
         kReadOnlyInstall,
         {"/data", "/home/op"},
         "/data/tarnwick/DataLog"},
        {"XDG_DATA_HOME needs no HOME",
         kReadOnlyInstall,
         {"/data", std::nullopt},
         "/data/tarnwick/DataLog"},
        {"an empty XDG_DATA_HOME counts as unset",
         kReadOnlyInstall,
         {"", "/home/op"},
         "/home/op/.local/share/tarnwick/DataLog"},
        {"a relative XDG_DATA_HOME counts as unset",
         kReadOnlyInstall,
         {"data", "/home/op"},
         "/home/op/.local/share/tarnwick/DataLog"},
        {"without HOME either, beside the program after all",
         kReadOnlyInstall,
         {std::nullopt, std::nullopt},
         kBeside},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        EXPECT_EQ(DefaultLogFolder(kProgram, Probe(row.accesses), row.dirs), row.folder);
    }
}

// The real probe and environment, with folders that give the same answer to root and to others.
class SystemDefaultLogFolder : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = getenv("XDG_DATA_HOME");
        m_oldDataHome = old ? std::optional<std::string>(old) : std::nullopt;
        setenv("XDG_DATA_HOME", (m_folder + "/data").c_str(), 1);
    }
    void TearDown() override {
        if (m_oldDataHome) {
            setenv("XDG_DATA_HOME", m_oldDataHome->c_str(), 1);
        } else {
            unsetenv("XDG_DATA_HOME");
        }
    }

    test::TempFolder m_temp;
    const std::string m_folder = m_temp.Path();
    std::optional<std::string> m_oldDataHome;
};

TEST_F(SystemDefaultLogFolder, AWritableProgramFolderKeepsDataLogBesideIt) {
    EXPECT_EQ(DefaultLogFolder(m_folder + "/tarnwick"), m_folder + "/DataLog");
}

TEST_F(SystemDefaultLogFolder, AProgramFolderThatCannotBeWrittenFallsBackToXdgDataHome) {
    EXPECT_EQ(DefaultLogFolder(m_folder + "/gone/tarnwick"), m_folder + "/data/tarnwick/DataLog");
}

}  // namespace
}  // namespace tarnwick
