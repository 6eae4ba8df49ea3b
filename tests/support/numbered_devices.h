#pragma once

// Devices that number their records, for tests of what an answer promises. Each socket keeps
// one record unanswered at a time, so every "@517" it hears answers the record it has out; a
// record left unanswered past the reply timeout is given up and the next one sent.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace tarnwick::test {

class NumberedDevices {
public:
    // sockets: how many devices, so how many records are in flight at most.
    NumberedDevices(std::uint16_t port, std::size_t sockets);
    NumberedDevices(const NumberedDevices&) = delete;
    NumberedDevices& operator=(const NumberedDevices&) = delete;
    ~NumberedDevices();

    // Sends until Stop() or until `records` have been sent and answered or given up.
    void Run(std::uint64_t records, std::chrono::milliseconds replyTimeout);
    // Any thread.
    void Stop() { m_stop = true; }
    [[nodiscard]] std::uint64_t AnsweredCount() const { return m_answeredCount.load(); }

    // After Run: the numbers ("D-N", device and record) of the records answered.
    [[nodiscard]] const std::vector<std::string>& Answered() const { return m_answered; }

    // The record a device sends for number "D-N".
    [[nodiscard]] static std::string RecordFor(const std::string& number);

private:
    struct Device {
        int fd = -1;
        std::uint64_t next = 0;
        std::string outstanding;  // the number of the record in flight; empty when none
        std::chrono::steady_clock::time_point sentAt;
    };

    void Send(std::size_t index);

    std::uint16_t m_port;
    std::vector<Device> m_devices;
    std::uint64_t m_sent = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<std::uint64_t> m_answeredCount{0};
    std::vector<std::string> m_answered;
};

struct LogRecords {
    std::vector<std::string> records;  // the record line of each whole entry, in order
    bool whole = true;                 // false when something else follows them
};

// A log file's entries: a header line, then a record line, each ending CR LF.
[[nodiscard]] LogRecords ReadLogRecords(const std::string& log);

}  // namespace tarnwick::test
