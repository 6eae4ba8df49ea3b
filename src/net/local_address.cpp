#include "net/local_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <vector>

namespace tarnwick {
namespace {

std::optional<Ipv4> FirstWhere(std::span<const Ipv4> addresses, bool loopback) {
    const auto found =
        std::ranges::find_if(addresses, [loopback](Ipv4 a) { return IsLoopback(a) == loopback; });
    return found == addresses.end() ? std::nullopt : std::optional<Ipv4>(*found);
}

Ipv4 HostOrder(const sockaddr* address) {
    sockaddr_in in{};
    std::copy_n(reinterpret_cast<const char*>(address), sizeof in, reinterpret_cast<char*>(&in));
    return ntohl(in.sin_addr.s_addr);
}

std::vector<Ipv4> HostNameAddresses() {
    std::array<char, 256> name{};
    if (gethostname(name.data(), name.size() - 1) != 0) {
        return {};
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(name.data(), nullptr, &hints, &list) != 0) {
        return {};
    }
    std::vector<Ipv4> addresses;
    for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
        addresses.push_back(HostOrder(a->ai_addr));
    }
    freeaddrinfo(list);
    return addresses;
}

std::vector<Ipv4> InterfaceAddresses() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return {};
    }
    std::vector<Ipv4> addresses;
    for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
        if (i->ifa_addr != nullptr && i->ifa_addr->sa_family == AF_INET) {
            addresses.push_back(HostOrder(i->ifa_addr));
        }
    }
    freeifaddrs(list);
    return addresses;
}

}  // namespace

bool IsLoopback(Ipv4 address) {
    return (address >> 24) == 127;
}

std::optional<Ipv4> ChooseLocalAddress(std::span<const Ipv4> resolved,
                                       std::span<const Ipv4> interfaces) {
    if (auto a = FirstWhere(resolved, false)) {
        return a;
    }
    if (auto a = FirstWhere(interfaces, false)) {
        return a;
    }
    if (auto a = FirstWhere(resolved, true)) {
        return a;
    }
    return FirstWhere(interfaces, true);
}

std::string DottedText(Ipv4 address) {
    return std::to_string(address >> 24) + '.' + std::to_string((address >> 16) & 0xFF) + '.' +
           std::to_string((address >> 8) & 0xFF) + '.' + std::to_string(address & 0xFF);
}

std::string DiscoverLocalAddress() {
    const auto chosen = ChooseLocalAddress(HostNameAddresses(), InterfaceAddresses());
    return chosen ? DottedText(*chosen) : std::string();
}

}  // namespace tarnwick
