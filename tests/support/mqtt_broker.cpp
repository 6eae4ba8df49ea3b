#include "support/mqtt_broker.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <thread>

extern char** environ;

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;

sockaddr_in Loopback(std::uint16_t port) {
    return {.sin_family = AF_INET,
            .sin_port = htons(port),
            .sin_addr = {htonl(INADDR_LOOPBACK)},
            .sin_zero = {}};
}

// A TCP port nobody listens on now: the system's choice for a socket bound and closed again.
std::uint16_t FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

bool Accepts(std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(port);
    const bool accepted =
        connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return accepted;
}

void InitLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

}  // namespace

MqttBroker::MqttBroker(std::string listenerConfig) : m_port(FreePort()), m_openPort(FreePort()) {
    while (m_openPort == m_port) {
        m_openPort = FreePort();
    }
    m_config = m_folder.PathOf("mosquitto.conf");
    // As root the broker would change to its own user, who may not write the test's folder.
    const passwd* user = getpwuid(geteuid());
    std::ofstream(m_config) << "user " << (user != nullptr ? user->pw_name : "root") << "\n"
                            << "per_listener_settings true\n"
                            << "listener " << m_port << " 127.0.0.1\n"
                            << listenerConfig << "listener " << m_openPort << " 127.0.0.1\n"
                            << "allow_anonymous true\n"
                            << "persistence true\n"
                            // A subscriber that falls behind a catch-up must not lose messages
                            // to the broker's default bound of 1,000 queued.
                            << "max_queued_messages 0\n"
                            << "persistence_location " << m_folder.Path() << "/\n"
                            << "log_dest file " << m_folder.PathOf("broker.log") << "\n";
}

bool MqttBroker::Installed() {
    return access(kMosquittoExe, X_OK) == 0;
}

bool MqttBroker::Start() {
    Stop();  // one broker on the port at a time
    const std::string exe = kMosquittoExe;
    const std::string flag = "-c";
    char* argv[] = {const_cast<char*>(exe.c_str()), const_cast<char*>(flag.c_str()),
                    m_config.data(), nullptr};
    // Its output goes to its log file: the test's own stays the test's.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    // Nor the signals a test blocked (the stop signals' tests do): SIGTERM must stop it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &stop);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int error = posix_spawn(&m_pid, exe.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        m_pid = -1;
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!Accepts(m_port) || !Accepts(m_openPort)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// SIGTERM, so it saves what it keeps; SIGKILL when it has not ended after 10 s.
void MqttBroker::Freeze(bool frozen) {
    if (m_pid > 0) {
        kill(m_pid, frozen ? SIGSTOP : SIGCONT);
    }
}

void MqttBroker::Stop() {
    if (m_pid <= 0) {
        return;
    }
    kill(m_pid, SIGCONT);
    kill(m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (waitpid(m_pid, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
    m_pid = -1;
}

MqttSubscriber::MqttSubscriber(std::uint16_t port, const std::string& filter) : m_filter(filter) {
    InitLibraryOnce();
    static std::atomic<int> number{0};
    const std::string id =
        "tarnwick-test-" + std::to_string(getpid()) + "-" + std::to_string(number.fetch_add(1));
    m_mosq = mosquitto_new(id.c_str(), false, this);
    mosquitto_message_callback_set(
        m_mosq, [](mosquitto* mosq, void* self, const mosquitto_message* message) {
            OnMessage(mosq, self, message);
        });
    mosquitto_connect_callback_set(m_mosq, [](mosquitto* mosq, void* self, int rc) {
        if (rc == 0) {
            mosquitto_subscribe(mosq, nullptr, static_cast<MqttSubscriber*>(self)->m_filter.c_str(),
                                1);
        }
    });
    mosquitto_subscribe_callback_set(m_mosq, [](mosquitto* /*mosq*/, void* self, int /*mid*/,
                                                int /*count*/, const int* /*granted*/) {
        static_cast<MqttSubscriber*>(self)->m_subscribed = true;
    });
    mosquitto_reconnect_delay_set(m_mosq, 1, 1, false);
    mosquitto_connect(m_mosq, "127.0.0.1", port, 30);
    mosquitto_loop_start(m_mosq);
    // Subscribed before the test goes on: the first message must not slip past.
    WaitFor([this](const std::vector<MqttMessage>&) { return m_subscribed.load(); }, 10s);
}

MqttSubscriber::~MqttSubscriber() {
    mosquitto_disconnect(m_mosq);
    mosquitto_loop_stop(m_mosq, false);
    mosquitto_destroy(m_mosq);
}

void MqttSubscriber::OnMessage(mosquitto* /*mosq*/, void* self, const void* message) {
    const auto* m = static_cast<const mosquitto_message*>(message);
    auto& subscriber = *static_cast<MqttSubscriber*>(self);
    const std::lock_guard lock(subscriber.m_mutex);
    subscriber.m_messages.push_back(
        {m->topic,
         std::string(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen)),
         m->retain});
}

std::vector<MqttMessage> MqttSubscriber::WaitFor(
    const std::function<bool(const std::vector<MqttMessage>&)>& wanted,
    std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        {
            const std::lock_guard lock(m_mutex);
            if (wanted(m_messages) || std::chrono::steady_clock::now() >= deadline) {
                return m_messages;
            }
        }
        std::this_thread::sleep_for(10ms);
    }
}

std::vector<MqttMessage> MqttSubscriber::Messages() {
    const std::lock_guard lock(m_mutex);
    return m_messages;
}

void MqttSubscriber::Publish(const std::string& topic, const std::string& payload) {
    mosquitto_publish(m_mosq, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                      payload.data(), 1, false);
}

bool PublishExpiring(std::uint16_t port, const std::string& topic, const std::string& payload,
                     std::chrono::seconds expiry) {
    InitLibraryOnce();
    bool acked = false;
    mosquitto* mosq = mosquitto_new(nullptr, true, &acked);
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_publish_callback_set(mosq, [](mosquitto* /*mosq*/, void* flag, int /*mid*/) {
        *static_cast<bool*>(flag) = true;
    });
    mosquitto_property* properties = nullptr;
    mosquitto_property_add_int32(&properties, MQTT_PROP_MESSAGE_EXPIRY_INTERVAL,
                                 static_cast<std::uint32_t>(expiry.count()));
    if (mosquitto_connect(mosq, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS &&
        mosquitto_publish_v5(mosq, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                             payload.data(), 1, false, properties) == MOSQ_ERR_SUCCESS) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!acked && std::chrono::steady_clock::now() < deadline &&
               mosquitto_loop(mosq, 100, 1) == MOSQ_ERR_SUCCESS) {
        }
    }
    mosquitto_property_free_all(&properties);
    mosquitto_disconnect(mosq);
    mosquitto_destroy(mosq);
    return acked;
}

}  // namespace tarnwick::test
