#pragma once

// All the receive thread knows of whoever shows and logs its records: the two check boxes it
// reads at the moment of use, and the two ways it hands a record over. The window and the
// headless mode each provide it; tests provide their own.

#include <stop_token>

#include "net/recv_hand_off.h"

namespace tarnwick {

class ReceiveFrontEnd {
public:
    virtual ~ReceiveFrontEnd() = default;

    // "Automatic reply with @517"
    [[nodiscard]] virtual bool AutoReplyTicked() const = 0;
    // " Hex" of the live display
    [[nodiscard]] virtual bool DisplayHexTicked() const = 0;
    // The hex rendering of the datagram after a record: rows to show and text to log.
    // False when it was not delivered because the listener is closing (stop requested).
    virtual bool InsertHexRecord(RecvHandOff hex, std::stop_token stop) = 0;
    // A device record, for the "@517" cut, the log and the display. False as above.
    virtual bool PostTextRecord(RecvHandOff text, std::stop_token stop) = 0;
};

}  // namespace tarnwick
