#pragma once
// The pseudo-terminal pair that stands in for the adapter's serial line.
#include <string>

namespace vktsim {

struct PtyPair {
  int master = -1;  // the logger's end, non-blocking
  int slave = -1;   // held open so that the master never sees a hang-up while the host has the port closed
  std::string slave_path;
};

// Makes a pty pair with the slave in raw mode at 19200 baud. Throws
// std::system_error on failure.
PtyPair open_pty();
// Closes both ends; the host's open slave then reads a hang-up.
void close_pty(PtyPair& pty);

}  // namespace vktsim
