#pragma once
// Setting the logger's clock and sending the pending start-time reservation.
#include <string>

#include "base/services.h"
#include "protocol/channel.h"

namespace vkt::protocol {

// The clock text "yyyy/mm/dd hh:nn:ss" ("/" and ":" on every machine).
std::string clock_text(const LocalTime& t);

// "s" + the local date and time, then "t", then the pending reservation
// (`reservetime`, left pending; none when empty). True when every command
// was answered; false after the message of the first command that was not
// ("Clock Set Error(Command s)", "Clock Set Error(Command t)", "Command Set
// Error(starttime)"), shown by `notifier`, and false without a message on a
// closed port or without a monitor window.
bool vkt_clkset(const Channel& channel, Notifier& notifier, const std::string& reservetime);

}  // namespace vkt::protocol
