#include "centre/centre.h"

#include <ctime>

#include "app/session_options.h"
#include "command/command_restore.h"
#include "forward/run_broker_commands.h"
#include "metrics/metrics_page.h"

namespace tarnwick {
namespace {

SessionConfig ConfigOf(const Options& options, const CentreHooks& hooks) {
    SessionConfig config = SessionConfigOf(options, hooks.wake);
    config.heartbeat = hooks.heartbeat;
    return config;
}

}  // namespace

Centre::Centre(const Options& options, CentreHooks hooks)
    : m_options(options), m_hooks(std::move(hooks)), m_session(ConfigOf(m_options, m_hooks)) {
    RestoreCommands(m_session, std::time(nullptr), SystemHoldClock());
}

Centre::~Centre() {
    if (!m_stopped) {
        // Their threads read the session and wake the front end: gone before either is.
        m_metrics.reset();
        m_forwarder.reset();
        m_session.Close();
    }
}

std::optional<ServerFailure> Centre::StartServers() {
    if (!m_options.metrics || m_metrics) {
        return std::nullopt;
    }
    const MetricsEndpoint& at = *m_options.metrics;
    auto started = MetricsServer::Start(at.address, at.port,
                                        [this] { return MetricsPage(FiguresOf(m_session)); });
    if (!started.server) {
        return ServerFailure{"metrics", at.address, at.port, started.error};
    }
    m_metrics = std::move(started.server);
    m_hooks.report("metrics on " + m_metrics->Url());
    return std::nullopt;
}

ListenResult Centre::Listen(std::uint16_t port) {
    const ListenResult result =
        m_session.Listen(port, m_options.bind, SharingOf(m_options), FamiliesOf(m_options));
    if (result.ok()) {
        m_hooks.report("listening on UDP port " + std::to_string(m_session.Port()));
        StartForwarder(m_session.Port());
    }
    return result;
}

void Centre::Close() {
    m_session.Close();
}

void Centre::StartForwarder(std::uint16_t port) {
    if (m_forwarder || !m_options.mqtt) {
        return;
    }
    m_forwarder = std::make_unique<Forwarder>(
        ForwardSettingsOf(m_options, port), m_hooks.wake, [this](const std::string& key) {
            return m_session.Devices().Device(key, m_session.Now());
        });
    m_forwarder->Start();
}

void Centre::DrainInto(std::vector<HandledRecord>& out) {
    const std::size_t before = out.size();
    m_session.DrainInto(out);
    m_drained = m_drained || out.size() > before;
}

void Centre::Serve() {
    ServeForwarder();
    ServeEvents();
    if (std::optional<std::string> failure = m_session.Journal().TakeFailure()) {
        m_hooks.report(*failure);
    }
}

void Centre::ServeForwarder() {
    if (!m_forwarder) {
        return;
    }
    // What was just logged goes out now, not at the forwarder's next look.
    if (m_drained) {
        m_forwarder->Nudge();
    }
    m_forwarder->SetCounters(m_session.Counters());
    if (RunBrokerCommands(m_session, *m_forwarder, BrokerUrlText(*m_options.mqtt),
                          [this](const CommandReport& report) { ReportCommand(report); })) {
        m_hooks.wake();  // the rest next turn, after the records
    }
    for (const std::string& line : m_forwarder->TakeReports()) {
        m_hooks.report(line);
    }
    m_drained = false;
}

void Centre::ServeEvents() {
    const std::vector<DeviceEvent> events = m_session.Devices().TakeEvents();
    if (events.empty()) {
        return;
    }
    if (m_forwarder) {
        m_forwarder->DeviceEvents(events);
    }
    if (m_hooks.events) {
        m_hooks.events(events);
    }
}

void Centre::ReportCommand(const CommandReport& report) {
    for (const OperatorMessage& message : report.Messages()) {
        m_hooks.report(message.text);
    }
}

void Centre::Stop(const std::function<void()>& lastWork) {
    m_metrics.reset();
    m_session.Close();
    lastWork();
    Serve();
    if (m_forwarder) {
        m_forwarder->Stop();
        for (const std::string& line : m_forwarder->TakeReports()) {
            m_hooks.report(line);
        }
    }
    m_hooks.report("stopped; " + FormatCounters(m_session.Counters()));
    m_stopped = true;
}

std::string Centre::BrokerState() {
    return m_forwarder ? m_forwarder->StateText() : std::string();
}

}  // namespace tarnwick
