#include "centre/centre.h"

#include <cstring>
#include <ctime>

#include "app/session_options.h"
#include "command/command_restore.h"
#include "forward/forward_position.h"
#include "forward/run_broker_commands.h"
#include "log/journal_files.h"
#include "metrics/metrics_page.h"

namespace tarnwick {
namespace {

SessionConfig ConfigOf(const Options& options, const CentreHooks& hooks) {
    SessionConfig config = SessionConfigOf(options, hooks.wake);
    config.heartbeat = hooks.heartbeat;
    return config;
}

// The forwarder's saved position is what the broker has acknowledged: the upkeep asks it for
// every round, whether or not this run forwards, so that files a later run would still send
// are kept.
UpkeepSettings UpkeepOf(const Options& options, const CentreHooks& hooks) {
    const std::string folder = LogFolderOf(options);
    return {.folder = folder,
            .rules = {options.compressAfter, options.deleteAfter, options.deleteUnforwarded,
                      JournalDaysWithin(options.holdFor)},
            .minFree = options.minFree,
            .forwarded = [folder]() -> std::optional<LogPosition> {
                const SavedPosition saved = LoadPosition(folder);
                switch (saved.state) {
                    case SavedPosition::State::None:
                        return std::nullopt;
                    case SavedPosition::State::Read:
                        return saved.position;
                    case SavedPosition::State::Corrupt:
                        return LogPosition{};  // names no file: nothing counts as forwarded
                }
                return LogPosition{};
            },
            .wake = hooks.wake};
}

}  // namespace

Centre::Centre(const Options& options, CentreHooks hooks)
    : m_options(options),
      m_hooks(std::move(hooks)),
      m_session(ConfigOf(m_options, m_hooks)),
      m_upkeep(std::make_unique<LogUpkeep>(UpkeepOf(m_options, m_hooks))) {
    RestoreCommands(m_session, std::time(nullptr), SystemHoldClock());
}

std::string ServerFailure::Reason() const {
    return why.empty() ? std::strerror(error) : why;
}

Centre::~Centre() {
    if (!m_stopped) {
        // Their threads read the session and wake the front end: gone before either is.
        m_metrics.reset();
        m_web.reset();
        m_upkeep.reset();
        m_forwarder.reset();
        m_session.Close();
    }
}

std::optional<ServerFailure> Centre::StartServers() {
    if (auto failure = StartMetrics()) {
        return failure;
    }
    return StartWeb();
}

std::optional<ServerFailure> Centre::StartMetrics() {
    if (!m_options.metrics || m_metrics) {
        return std::nullopt;
    }
    const HttpEndpoint& at = *m_options.metrics;
    auto started = MetricsServer::Start(at.address, at.port, [this] {
        MetricsFigures figures = FiguresOf(m_session);
        figures.logSpace = m_upkeep->Space();
        if (m_forwarder) {
            figures.forwarding =
                BacklogFigures{m_forwarder->Behind(), m_forwarder->BehindSeconds()};
        }
        return MetricsPage(figures);
    });
    if (!started.server) {
        return ServerFailure{"metrics", at.address, at.port, started.error};
    }
    m_metrics = std::move(started.server);
    m_hooks.report("metrics on " + m_metrics->Url());
    return std::nullopt;
}

std::optional<ServerFailure> Centre::StartWeb() {
    if (!m_options.web || m_web) {
        return std::nullopt;
    }
    const HttpEndpoint& at = *m_options.web;
    WebSettings settings{at.address,
                         at.port,
                         m_options.webTokenFile.value_or(DefaultTokenFile(LogFolderOf(m_options))),
                         m_options.webCert,
                         m_options.webKey,
                         m_options.deviceKey,
                         m_hooks.wake,
                         {[this] {
                             std::lock_guard lock(m_brokerGuard);
                             return m_broker;
                         }}};
    const std::string tokenFile = settings.tokenFile;
    auto started = WebServer::Start(m_session, std::move(settings));
    if (!started.server) {
        return ServerFailure{"web", at.address, at.port, started.error, started.why};
    }
    m_web = std::move(started.server);
    m_hooks.report("operator page on " + m_web->Url() + "; its access token in " + tokenFile);
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
    if (m_web) {
        m_web->Feed().Records(std::span(out).subspan(before));
    }
}

void Centre::Serve() {
    ServeForwarder();
    ServeWeb();
    ServeEvents();
    ServeUpkeep();
    if (std::optional<std::string> failure = m_session.Journal().TakeFailure()) {
        m_hooks.report(*failure);
    }
}

void Centre::ServeUpkeep() {
    for (const std::string& line : m_upkeep->TakeReports()) {
        m_hooks.report(line);
    }
}

std::string Centre::LogSpaceNotice() const {
    const LogSpace space = m_upkeep->Space();
    return space.Low() ? SpaceLowText(LogFolderOf(m_options), space) : std::string();
}

void Centre::ServeWeb() {
    if (!m_web) {
        return;
    }
    const HoldFor holdFor = m_options.reusePort ? HoldFor::AnyKey : HoldFor::HeardDevices;
    if (m_web->Commands().Run(m_session, holdFor, m_hooks.report)) {
        m_hooks.wake();  // the rest next turn, after the records
    }
    m_web->Serve(std::chrono::steady_clock::now());
    for (const std::string& line : m_web->TakeReports()) {
        m_hooks.report(line);
    }
    if (m_forwarder) {
        BrokerFigures figures{m_forwarder->StateText(), m_forwarder->Behind(),
                              m_forwarder->BehindSeconds()};
        std::lock_guard lock(m_brokerGuard);
        m_broker = std::move(figures);
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
    m_forwarder->SetLogSpace(m_upkeep->Space());
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
    if (m_web) {
        m_web->Feed().Events(events);
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
    m_web.reset();
    m_upkeep->Stop();
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
