#include "headless/headless_devices.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "centre/device_event_text.h"
#include "headless/devices_csv.h"
#include "log/atomic_file.h"
#include "session/session.h"

namespace tarnwick {
namespace {

constexpr auto kLongestWait = std::chrono::seconds(1);
constexpr auto kFileEvery = std::chrono::seconds(10);

}  // namespace

HeadlessDevices::HeadlessDevices(Session& session, const Options& options, Reporter report)
    : m_session(session),
      m_options(options),
      m_report(std::move(report)),
      m_nextFile(Clock::now() + kFileEvery) {}

void HeadlessDevices::Serve(const StdinLine& line) {
    if (line.target == StdinTarget::Held) {
        Hold(line);
    } else {
        SendNow(line);
    }
}

void HeadlessDevices::SendNow(const StdinLine& line) {
    ReportAll(SendToDevice(m_session, std::string(line.key), line.command.bufferText,
                           line.command.mode, kFromStdin));
}

void HeadlessDevices::Hold(const StdinLine& line) {
    ReportAll(HoldCommand(m_session, std::string(line.key), line.command.bufferText,
                          line.command.mode, HoldFor::HeardDevices, kFromStdin));
}

void HeadlessDevices::ReportAll(const CommandReport& report) {
    for (const OperatorMessage& message : report.Messages()) {
        m_report(message.text);
    }
}

int HeadlessDevices::MillisecondsToTick() const {
    const Clock::time_point soonest = Clock::now() + kLongestWait;
    const Clock::time_point due = m_options.devicesFile ? std::min(soonest, m_nextFile) : soonest;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(wait.count(), 0));
}

void HeadlessDevices::Tick() {
    const Clock::time_point now = Clock::now();
    if (m_options.devicesFile && now >= m_nextFile) {
        WriteDevicesFile();
        m_nextFile = now + kFileEvery;
    }
}

void HeadlessDevices::Stop() {
    if (m_options.devicesFile) {
        WriteDevicesFile();
    }
    if (const std::size_t waiting = m_session.Devices().Waiting(); waiting > 0) {
        m_report("held commands kept in the command journal for the next start: " +
                 std::to_string(waiting));
    }
}

void HeadlessDevices::ReportEvents(const std::vector<DeviceEvent>& events) {
    for (const DeviceEvent& event : events) {
        m_report(DeviceEventText(event, m_options.maxDevices));
    }
}

void HeadlessDevices::WriteDevicesFile() {
    const std::string& path = *m_options.devicesFile;
    const int error =
        ReplaceFileWhole(path, DevicesCsv(m_session.Devices().Devices(m_session.Now())));
    if (error != m_fileError) {
        m_report(error == 0 ? "devices file written again: " + path
                            : "devices file not written: " + path + ": " + std::strerror(error));
    }
    m_fileError = error;
}

}  // namespace tarnwick
