#include "net/reply_sender.h"

#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cstdint>

namespace tarnwick {
namespace {

constexpr std::uint8_t kReply[] = {'@', '5', '1', '7'};
constexpr std::size_t kBatch = 64;

}  // namespace

std::size_t SendReplies(int socket, std::span<const PeerAddress> to) {
    std::array<iovec, kBatch> iov{};
    std::array<mmsghdr, kBatch> messages{};
    std::size_t total = 0;
    for (std::size_t start = 0; start < to.size();) {
        const std::size_t count = std::min(kBatch, to.size() - start);
        for (std::size_t i = 0; i < count; ++i) {
            iov[i] = {const_cast<std::uint8_t*>(kReply), sizeof kReply};
            messages[i] = {};
            messages[i].msg_hdr.msg_name = const_cast<sockaddr*>(to[start + i].Sockaddr());
            messages[i].msg_hdr.msg_namelen = to[start + i].Length();
            messages[i].msg_hdr.msg_iov = &iov[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        const int sent = sendmmsg(socket, messages.data(), static_cast<unsigned>(count), 0);
        if (sent > 0) {
            total += static_cast<std::size_t>(sent);
        }
        // sendmmsg stops at the first failure: step over that one and go on.
        start += sent > 0 ? static_cast<std::size_t>(sent) : 1;
    }
    return total;
}

}  // namespace tarnwick
