// What an answer promises, tried against the real headless centre: a record answered "@517"
// is in the log file, whatever happens to the centre or its log folder, and nothing outside
// the centre (a full disk, another program's lock, a FIFO, a reader that stopped) stops it
// answering what it logs or delays its stop.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "support/numbered_devices.h"
#include "support/process.h"
#include "support/temp_folder.h"
#include "support/todays_log.h"

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto kTimeout = 10s;
// Far above the 100 ms plus 1 ms a stop may take, so a slow machine does not fail the test;
// a stop held by something outside the centre takes as long as that lasts.
constexpr auto kStopBound = 2s;

// Every whole entry in the folder's log files, by record line.
std::unordered_set<std::string> LoggedRecords(const fs::path& folder, bool& whole) {
    std::unordered_set<std::string> logged;
    whole = true;
    for (const auto& file : fs::directory_iterator(folder)) {
        const LogRecords read = ReadLogRecords(ReadFile(file.path().string()));
        whole = whole && read.whole;
        logged.insert(read.records.begin(), read.records.end());
    }
    return logged;
}

// Every answered record is in the log; how many were answered.
std::size_t ExpectAnsweredAreLogged(const NumberedDevices& devices, const fs::path& folder,
                                    bool expectWhole) {
    bool whole = true;
    const auto logged = LoggedRecords(folder, whole);
    if (expectWhole) {
        EXPECT_TRUE(whole) << "a torn entry in " << folder;
    }
    std::unordered_set<std::string> tails;
    for (const std::string& line : logged) {
        tails.insert(line.substr(line.find("):") + 2));
    }
    for (const std::string& number : devices.Answered()) {
        EXPECT_TRUE(tails.contains(NumberedDevices::RecordFor(number)))
            << "answered but not logged: " << number;
    }
    return devices.Answered().size();
}

class HeadlessFaults : public ::testing::Test {
protected:
    ChildProcess StartCentre(std::vector<std::string> args = {}) {
        args.insert(args.begin(), {TARNWICK_EXE, "--headless", "--port", "0", "--auto-reply",
                                   "--log-dir", m_dir.string()});
        return ChildProcess::Start(std::move(args));
    }

    // SIGTERM, and the time until the centre has exited with status 0.
    static std::chrono::steady_clock::duration StopTime(ChildProcess& centre) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(centre.Signal(SIGTERM), 0);
        EXPECT_EQ(centre.Wait(kTimeout), 0) << centre.Stderr();
        return std::chrono::steady_clock::now() - start;
    }

    TempFolder m_temp;
    const fs::path m_dir = m_temp.Path();
};

struct KillRow {
    const char* proves;
    std::size_t devices;     // records in flight at once
    std::uint64_t answered;  // answers to wait for before the kill
};

TEST_F(HeadlessFaults, KillNineLosesNoAnsweredRecord) {
    for (const KillRow row :
         {KillRow{"a flood, many in flight", 256, 4000}, KillRow{"one record at a time", 1, 200}}) {
        SCOPED_TRACE(row.proves);
        fs::remove_all(m_dir);
        fs::create_directory(m_dir);
        ChildProcess centre = StartCentre();
        const std::uint16_t port = ListeningPort(centre, kTimeout);
        ASSERT_NE(port, 0) << centre.Stderr();
        NumberedDevices devices(port, row.devices);
        std::thread sender([&] { devices.Run(1'000'000, 1s); });
        const auto deadline = std::chrono::steady_clock::now() + kTimeout;
        while (devices.AnsweredCount() < row.answered &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        EXPECT_EQ(centre.Signal(SIGKILL), 0);
        EXPECT_EQ(centre.Wait(kTimeout), 128 + SIGKILL);
        devices.Stop();
        sender.join();
        // The kill may cut the last append short: that entry was never answered.
        EXPECT_GE(ExpectAnsweredAreLogged(devices, m_dir, false), row.answered);
    }
}

// A 64 KiB filesystem for the log folder fills after some 600 entries.
class MountedTmpfs {
public:
    explicit MountedTmpfs(const fs::path& at) : m_at(at) {
        m_mounted = mount("tarnwick-test", at.c_str(), "tmpfs", 0, "size=64k") == 0;
    }
    MountedTmpfs(const MountedTmpfs&) = delete;
    MountedTmpfs& operator=(const MountedTmpfs&) = delete;
    ~MountedTmpfs() {
        if (m_mounted) {
            umount2(m_at.c_str(), MNT_DETACH);
        }
    }
    [[nodiscard]] bool Mounted() const { return m_mounted; }
    bool Grow() { return mount(nullptr, m_at.c_str(), nullptr, MS_REMOUNT, "size=4m") == 0; }

private:
    fs::path m_at;
    bool m_mounted = false;
};

TEST_F(HeadlessFaults, AFullDiskAnswersOnlyWhatItWroteAndResumesWhenSpaceReturns) {
    MountedTmpfs disk(m_dir);
    if (!disk.Mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root); the short write itself is "
                        "tested against a file size limit in AppendFileTest";
    }
    ChildProcess centre = StartCentre();
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_NE(port, 0) << centre.Stderr();
    NumberedDevices filling(port, 64);
    filling.Run(1500, 100ms);
    const std::size_t answered = ExpectAnsweredAreLogged(filling, m_dir, true);
    EXPECT_GT(answered, 100u);
    EXPECT_LT(answered, 1500u);
    EXPECT_TRUE(centre.WaitForStderrLine(StartsWith("tarnwick: Log not written: "), kTimeout));

    ASSERT_TRUE(disk.Grow());
    NumberedDevices after(port, 4);
    after.Run(200, 2s);
    EXPECT_EQ(ExpectAnsweredAreLogged(after, m_dir, true), 200u);
    EXPECT_TRUE(centre.WaitForStderrLine(StartsWith("tarnwick: Log written again: "), kTimeout));
    EXPECT_LT(StopTime(centre), kStopBound);
}

TEST_F(HeadlessFaults, AnotherProgramsLockHoldsAnswersButNotTheStop) {
    const std::string log = (m_dir / TodaysLogName()).string();
    WriteFile(log, "");
    ChildProcess centre = StartCentre();
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_NE(port, 0) << centre.Stderr();

    int holder = open(log.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    NumberedDevices waiting(port, 1);
    waiting.Run(1, 300ms);
    EXPECT_TRUE(waiting.Answered().empty()) << "answered while the log was locked";
    close(holder);
    NumberedDevices released(port, 1);
    released.Run(1, kTimeout);
    EXPECT_EQ(ExpectAnsweredAreLogged(released, m_dir, true), 1u);

    holder = open(log.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    NumberedDevices atStop(port, 1);
    atStop.Run(1, 100ms);
    EXPECT_LT(StopTime(centre), kStopBound);
    close(holder);
    EXPECT_NE(centre.Stderr().find(", not logged 1, not answered: not logged 1, "),
              std::string::npos)
        << centre.Stderr();
}

TEST_F(HeadlessFaults, AFifoInTheLogsPlaceIsRefusedAndReported) {
    const std::string log = (m_dir / TodaysLogName()).string();
    ASSERT_EQ(mkfifo(log.c_str(), 0644), 0);
    const int reader = open(log.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ChildProcess centre = StartCentre();
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_NE(port, 0) << centre.Stderr();
    NumberedDevices devices(port, 1);
    devices.Run(3, 200ms);
    EXPECT_TRUE(devices.Answered().empty());
    EXPECT_TRUE(centre.WaitForStderrLine(
        [&](const std::string& line) {
            return line == "tarnwick: Log not written: " + log + ": not a regular file";
        },
        kTimeout))
        << centre.Stderr();
    EXPECT_LT(StopTime(centre), kStopBound);
    close(reader);
}

TEST_F(HeadlessFaults, AStdoutNobodyReadsStopsNeitherAnswersNorTheStop) {
    const std::string fifo = m_temp.PathOf("stdout");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    const int unread = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    fs::create_directory(m_dir / "logs");
    ChildProcess centre = ChildProcess::Start(
        {"/bin/sh", "-c", "exec \"$0\" \"$@\" >" + fifo, TARNWICK_EXE, "--headless", "--port", "0",
         "--auto-reply", "--log-dir", (m_dir / "logs").string()});
    const std::uint16_t port = ListeningPort(centre, kTimeout);
    ASSERT_NE(port, 0) << centre.Stderr();
    NumberedDevices devices(port, 64);
    devices.Run(20'000, kTimeout);
    EXPECT_EQ(ExpectAnsweredAreLogged(devices, m_dir / "logs", true), 20'000u);
    EXPECT_LT(StopTime(centre), kStopBound);
    EXPECT_NE(centre.Stderr().find(" lines not printed: standard output not read"),
              std::string::npos)
        << centre.Stderr();
    close(unread);
}

}  // namespace
}  // namespace tarnwick::test
