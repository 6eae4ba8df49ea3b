#pragma once

// The running centre, assembled once for both front ends: the receiving session, the metrics
// server, the operator page's server with its commands, the forwarder with the commands that
// come through the broker, and the device events,
// started and stopped in one order. A front end keeps presentation and the operator's input:
// it is woken when something waits, drains the records to show them, and serves the centre
// after each drain.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/options.h"
#include "forward/forwarder.h"
#include "log/log_upkeep.h"
#include "metrics/metrics_server.h"
#include "session/session.h"
#include "web/web_server.h"

namespace tarnwick {

struct CentreHooks {
    // Any thread: records, the forwarder's reports or broker commands wait. The front end then
    // drains and serves, soon, on its own thread.
    std::function<void()> wake;
    // The front end's thread: one line for the operator ("MQTT broker connected: ...").
    std::function<void(std::string_view line)> report;
    // The front end's thread: the device table's events (what became of held commands,
    // silences), as they are taken. None: the front end shows them otherwise.
    std::function<void(const std::vector<DeviceEvent>& events)> events = {};
    Heartbeat heartbeat = {};  // the log stage's, for a service manager's watchdog
};

// A server that could not be started, and why.
struct ServerFailure {
    std::string server;  // "metrics", "web"
    std::string address;
    std::uint16_t port = 0;
    int error = 0;         // errno
    std::string why = {};  // what failed, when it was not the socket
    bool operator==(const ServerFailure&) const = default;

    // why, or the errno's words.
    [[nodiscard]] std::string Reason() const;
};

class Centre {
public:
    Centre(const Options& options, CentreHooks hooks);
    Centre(const Centre&) = delete;
    Centre& operator=(const Centre&) = delete;
    // A centre never stopped stops here, in the same order, with no last work.
    ~Centre();

    // The servers that need no port (--metrics, --web); the first that could not start, if one.
    [[nodiscard]] std::optional<ServerFailure> StartServers();
    // The listener on port (0: the system chooses), as --bind, --ipv6-only and --reuse-port say.
    // The first port bound starts the forwarder, whose client id is made of it.
    [[nodiscard]] ListenResult Listen(std::uint16_t port);
    void Close();

    // The front end's thread: what was handled since the last call, in arrival order.
    void DrainInto(std::vector<HandledRecord>& out);
    // The front end's thread, after each drain and at least once a second: the forwarder is
    // woken for the records drained and given the counters, the broker's commands run, and its
    // reports and the device events go to the hooks.
    void Serve();
    // In this order: the servers stop; reception stops and what it took in is logged and
    // answered; lastWork runs (the front end's last drain); the last events are served; the
    // forwarder saves its position and stops; the stop line is reported.
    void Stop(const std::function<void()>& lastWork);

    [[nodiscard]] Session& session() { return m_session; }
    [[nodiscard]] const Session& session() const { return m_session; }
    // The broker's state and backlog as the window's notice has it; empty without --mqtt.
    [[nodiscard]] std::string BrokerState();
    [[nodiscard]] const MetricsServer* Metrics() const { return m_metrics.get(); }
    [[nodiscard]] const WebServer* Web() const { return m_web.get(); }
    // Any thread: records and drops a second over the last ten minutes.
    [[nodiscard]] const RateHistory& Rates() const { return m_session.Rates(); }
    // The log folder's size and free space, as last measured; any thread.
    [[nodiscard]] LogSpace LogFolderSpace() const { return m_upkeep->Space(); }
    // What the window's notice line says of the log folder's space: empty unless it is low.
    [[nodiscard]] std::string LogSpaceNotice() const;

private:
    void StartForwarder(std::uint16_t port);
    void ServeForwarder();
    void ServeEvents();
    void ServeWeb();
    void ServeUpkeep();
    void ReportCommand(const CommandReport& report);
    [[nodiscard]] std::optional<ServerFailure> StartMetrics();
    [[nodiscard]] std::optional<ServerFailure> StartWeb();

    Options m_options;
    CentreHooks m_hooks;
    Session m_session;
    std::unique_ptr<LogUpkeep> m_upkeep;       // the log folder's, from the start on
    std::unique_ptr<MetricsServer> m_metrics;  // after the session, whose figures it serves
    std::unique_ptr<WebServer> m_web;          // --web: reads the session, wakes the front end
    std::unique_ptr<Forwarder> m_forwarder;    // --mqtt, once a port is bound; reads the session
    // The broker's figures as the front end last looked, for the web threads.
    std::mutex m_brokerGuard;
    std::optional<BrokerFigures> m_broker;
    bool m_drained = false;  // records drained since the last Serve
    bool m_stopped = false;
};

}  // namespace tarnwick
