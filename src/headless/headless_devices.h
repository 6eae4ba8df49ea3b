#pragma once

// The headless centre's side of the device table: commands to a chosen device, now or at its
// next report, the events of held commands and silent devices on standard error, and the
// devices file.

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/options.h"
#include "headless/stdin_command.h"

namespace tarnwick {

class Session;

class HeadlessDevices {
public:
    // report prints one line on standard error.
    using Reporter = std::function<void(std::string_view line)>;

    HeadlessDevices(Session& session, const Options& options, Reporter report);

    // A line addressed to a device ("@KEY text" or "@KEY+ text").
    void Serve(const StdinLine& line);

    // Every message of report, one line each.
    void ReportAll(const CommandReport& report);
    // One line each.
    void ReportEvents(const std::vector<DeviceEvent>& events);

    // How long the poll may wait: a second at most, so the device events of the session's
    // upkeep are said within one.
    [[nodiscard]] int MillisecondsToTick() const;
    // Every 10 seconds, the devices file.
    void Tick();
    // At the stop, once the session is closed: the file, and how many commands will never
    // leave.
    void Stop();

private:
    void SendNow(const StdinLine& line);
    void Hold(const StdinLine& line);
    void WriteDevicesFile();

    using Clock = std::chrono::steady_clock;

    Session& m_session;
    Options m_options;
    Reporter m_report;
    Clock::time_point m_nextFile;
    int m_fileError = 0;  // of the last write, reported when it changes
};

}  // namespace tarnwick
