#pragma once
// Opening and closing the logger's port with its fixed line settings:
// 19200 bits per second, 8 data bits, no parity, 1 stop bit, no flow control.
#include <cstdint>

namespace vkt::link {

class SerialPort;

// Whoever holds the library's one port (the monitor window, through the
// library): the port, or nullptr while there is no monitor window.
class PortOwner {
 public:
  virtual ~PortOwner() = default;
  virtual SerialPort* port() = 0;
};

// Opens the port on `port` (stored modulo 65536; 0 or negative selects no
// port). Returns the port number in use, or -1 when the open failed or
// there is no port. An open port stays as it is.
int32_t com_open(PortOwner& owner, int32_t port);
// Closes the port; nothing on a closed port or without one.
void com_close(PortOwner& owner);

}  // namespace vkt::link
