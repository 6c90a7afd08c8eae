#include "link/port_control.h"

#include "exports/library.h"
#include "windows/monitor_window.h"

namespace vkt::link {

int32_t com_open(Library& library, int32_t port) {
  auto* form = library.monitor();
  if (!form) return -1;
  SerialPort& p = form->ApdComPort1;
  const uint32_t n = port > 0 ? static_cast<uint32_t>(port) : 0;
  if (!p.is_open()) {
    p.InSize = 8192;
    p.ComNumber = static_cast<uint16_t>(n);  // the port number is 16 bits wide
    p.DataBits = 8;
    p.parity = Parity::pNone;
    p.Baud = 19200;
    p.StopBits = 1;
    p.SWFlowOptions = SWFlow::swfNone;
    try {
      p.set_open(true);
    } catch (...) {
      return -1;
    }
  }
  return p.ComNumber;
}

void com_close(Library& library) {
  if (auto* form = library.monitor()) form->ApdComPort1.set_open(false);
}

}  // namespace vkt::link
