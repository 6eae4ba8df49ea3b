#include "support/numbered_devices.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <regex>
#include <system_error>

namespace tarnwick::test {

NumberedDevices::NumberedDevices(std::uint16_t port, std::size_t sockets)
    : m_port(port), m_devices(sockets) {
    for (Device& device : m_devices) {
        device.fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (device.fd < 0) {
            throw std::system_error(errno, std::generic_category(), "socket");
        }
    }
}

NumberedDevices::~NumberedDevices() {
    for (const Device& device : m_devices) {
        close(device.fd);
    }
}

std::string NumberedDevices::RecordFor(const std::string& number) {
    return "#ST,123;SEQ:" + number + ";#";
}

void NumberedDevices::Send(std::size_t index) {
    Device& device = m_devices[index];
    device.outstanding = std::to_string(index) + "-" + std::to_string(device.next++);
    const std::string record = RecordFor(device.outstanding);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(m_port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sendto(device.fd, record.data(), record.size(), 0, reinterpret_cast<const sockaddr*>(&to),
           sizeof to);
    device.sentAt = std::chrono::steady_clock::now();
    ++m_sent;
}

void NumberedDevices::Run(std::uint64_t records, std::chrono::milliseconds replyTimeout) {
    std::vector<pollfd> fds(m_devices.size());
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        fds[i] = {m_devices[i].fd, POLLIN, 0};
    }
    while (!m_stop) {
        const auto now = std::chrono::steady_clock::now();
        bool busy = false;
        for (std::size_t i = 0; i < m_devices.size(); ++i) {
            Device& device = m_devices[i];
            if (!device.outstanding.empty() && now - device.sentAt > replyTimeout) {
                device.outstanding.clear();  // given up: the centre never answered it
            }
            if (device.outstanding.empty() && m_sent < records) {
                Send(i);
            }
            busy = busy || !device.outstanding.empty();
        }
        if (!busy) {
            return;
        }
        poll(fds.data(), fds.size(), 10);
        for (std::size_t i = 0; i < m_devices.size(); ++i) {
            char reply[16];
            while (recv(m_devices[i].fd, reply, sizeof reply, 0) > 0) {
                if (!m_devices[i].outstanding.empty()) {
                    m_answered.push_back(m_devices[i].outstanding);
                    m_devices[i].outstanding.clear();
                    ++m_answeredCount;
                }
            }
        }
    }
}

LogRecords ReadLogRecords(const std::string& log) {
    static const std::regex header(R"(-->\d{4}-\d\d-\d\d \d\d:\d\d:\d\d-{40})");
    LogRecords read;
    std::size_t at = 0;
    while (at < log.size()) {
        const std::size_t headerEnd = log.find("\r\n", at);
        const std::size_t recordEnd =
            headerEnd == std::string::npos ? headerEnd : log.find("\r\n", headerEnd + 2);
        if (recordEnd == std::string::npos ||
            !std::regex_match(log.substr(at, headerEnd - at), header)) {
            read.whole = false;
            break;
        }
        read.records.push_back(log.substr(headerEnd + 2, recordEnd - headerEnd - 2));
        at = recordEnd + 2;
    }
    return read;
}

}  // namespace tarnwick::test
