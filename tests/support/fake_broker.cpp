#include "support/fake_broker.h"

#include <thread>
#include <utility>

namespace tarnwick::test {

class FakeBroker::Connection final : public BrokerConnection {
public:
    Connection(FakeBroker& broker, std::size_t index) : m_broker(broker), m_index(index) {}
    ~Connection() override {
        const std::lock_guard lock(m_broker.m_mutex);
        m_broker.m_made[m_index].open = false;
    }

    std::string Start(const std::string& /*password*/, const std::string& /*willTopic*/,
                      const std::string& /*will*/) override {
        const std::lock_guard lock(m_broker.m_mutex);
        return m_broker.m_startError;
    }

    bool Publish(const std::string& topic, std::string_view payload, bool retain,
                 int& mid) override {
        const std::lock_guard lock(m_broker.m_mutex);
        if (m_broker.m_refusePublishing) {
            return false;
        }
        mid = ++m_broker.m_made[m_index].lastMid;
        m_broker.m_published.push_back({m_index, topic, std::string(payload), retain, mid});
        return true;
    }

    bool Subscribe(const std::string& filter) override {
        const std::lock_guard lock(m_broker.m_mutex);
        m_broker.m_made[m_index].subscribed.push_back(filter);
        return true;
    }

    // The test delivers the broker's events, from any thread.
    void Pump() override {}
    ConnectionSocket Socket() override { return {}; }

    std::string LastError() override {
        const std::lock_guard lock(m_broker.m_mutex);
        return m_broker.m_lastError;
    }

private:
    FakeBroker& m_broker;
    std::size_t m_index;
};

ConnectionMaker FakeBroker::Maker() {
    return [this](BrokerConnection::Deliver deliver) {
        const std::lock_guard lock(m_mutex);
        m_made.push_back({std::move(deliver)});
        return std::make_unique<Connection>(*this, m_made.size() - 1);
    };
}

void FakeBroker::FailStarts(std::string reason) {
    const std::lock_guard lock(m_mutex);
    m_startError = std::move(reason);
}

void FakeBroker::SetLastError(std::string text) {
    const std::lock_guard lock(m_mutex);
    m_lastError = std::move(text);
}

void FakeBroker::RefusePublishing(bool refuse) {
    const std::lock_guard lock(m_mutex);
    m_refusePublishing = refuse;
}

// Outside the lock: the link's queue wakes the forwarder, whose thread may be publishing here.
void FakeBroker::Deliver(std::size_t connection, LinkEvent event) {
    BrokerConnection::Deliver deliver;
    {
        const std::lock_guard lock(m_mutex);
        deliver = m_made.at(connection).deliver;
    }
    deliver(std::move(event));
}

std::size_t FakeBroker::Connections() const {
    const std::lock_guard lock(m_mutex);
    return m_made.size();
}

bool FakeBroker::Open(std::size_t connection) const {
    const std::lock_guard lock(m_mutex);
    return connection < m_made.size() && m_made[connection].open;
}

std::vector<FakePublish> FakeBroker::Published() const {
    const std::lock_guard lock(m_mutex);
    return m_published;
}

std::vector<std::string> FakeBroker::Subscribed(std::size_t connection) const {
    const std::lock_guard lock(m_mutex);
    return m_made.at(connection).subscribed;
}

bool FakeBroker::WaitFor(const std::function<bool(const FakeBroker&)>& done,
                         std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done(*this)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return done(*this);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace tarnwick::test
