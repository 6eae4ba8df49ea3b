#pragma once

// "@517" to each of a list of senders, through the listening socket, in as few system calls
// as the kernel allows.

#include <cstddef>
#include <span>

#include "net/peer_address.h"

namespace tarnwick {

// The number of replies the kernel took; one that fails is passed over.
std::size_t SendReplies(int socket, std::span<const PeerAddress> to);

}  // namespace tarnwick
