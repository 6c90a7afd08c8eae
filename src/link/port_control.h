#pragma once
// Opening and closing the logger's port with its fixed line settings:
// 19200 bits per second, 8 data bits, no parity, 1 stop bit, no flow control.
#include <cstdint>

namespace vkt {
class Library;
}

namespace vkt::link {

// Opens the monitor window's port on `port` (stored modulo 65536; 0 or
// negative selects no port). Returns the port number in use, or -1 when the
// open failed or there is no monitor window. An open port stays as it is.
int32_t com_open(Library& library, int32_t port);
// Closes the port; nothing on a closed port or without a monitor window.
void com_close(Library& library);

}  // namespace vkt::link
