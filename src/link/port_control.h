#pragma once
// Opening and closing the logger's port with its fixed line settings:
// 19200 bits per second, 8 data bits, no parity, 1 stop bit, no flow control.
#include <cstdint>
#include <string>

namespace vkt::link {

class SerialPort;

// Whoever holds the library's one port (the monitor window, through the
// library): the port, or nullptr while there is no monitor window.
class PortOwner {
 public:
  virtual ~PortOwner() = default;
  virtual SerialPort* port() = 0;
};

// Why an open failed: the port's error code (negative; kNoPortHolder when
// there was no port at all), the system's error number behind it (0 when
// none) and the error's text. A code of 0 means the open succeeded.
struct OpenFailure {
  static constexpr int kNoPortHolder = -1;
  int code = 0;
  int system_errno = 0;
  std::string message;
};

// Opens the port on `port` (stored modulo 65536; 0 or negative selects no
// port). Returns the port number in use, or -1 when the open failed or
// there is no port. An open port stays as it is. When `failure` is given it
// is set to the cause of a failure, or cleared on success.
int32_t com_open(PortOwner& owner, int32_t port, OpenFailure* failure = nullptr);
// Opens the port on the device `path` instead of a port number's device,
// with the same line settings and results as com_open, and gives the port
// number `port` (the port table's number for that device, or any number
// the host keeps for it). The number keeps standing for `path`: com_open
// with the same number opens `path` again, com_open with another number
// forgets it. An open port stays as it is. An empty path selects no port.
int32_t com_open_path(PortOwner& owner, const std::string& path, uint16_t port, OpenFailure* failure = nullptr);
// Closes the port; nothing on a closed port or without one.
void com_close(PortOwner& owner);

}  // namespace vkt::link
