#include "protocol/clock_setting.h"

#include <cstdio>

#include "link/port_error.h"
#include "protocol/exchange.h"

namespace vkt::protocol {

std::string clock_text(const LocalTime& t) {
  // The logger reads fixed separators, whatever the PC's regional settings.
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return buf;
}

bool vkt_clkset(const Channel& channel, Notifier& notifier, const std::string& reservetime) {
  if (!channel.ports.port()) return false;
  try {
    // The clock is read once, just before the command is built; the time
    // spent waiting for the replies is not added.
    const std::string clock_command = "s" + clock_text(channel.clock.local_now());
    if (protocol::exchange(channel, clock_command).empty()) {
      notifier.show_error("Clock Set Error(Command s)");
      return false;
    }
    if (protocol::exchange(channel, "t").empty()) {
      notifier.show_error("Clock Set Error(Command t)");
      return false;
    }
    // The reservation stays pending: every successful call sends it again.
    if (!reservetime.empty() && !set_command(channel, reservetime)) {
      notifier.show_error("Command Set Error(starttime)");
      return false;
    }
  } catch (const link::PortError&) {
    // A closed port (or one released during a dispatch): no message.
    return false;
  }
  return true;
}

}  // namespace vkt::protocol
