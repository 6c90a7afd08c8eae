#include "link/port_control.h"

#include "base/constants.h"
#include <exception>

#include "link/port_error.h"
#include "link/serial_port.h"

namespace vkt::link {

int32_t com_open(PortOwner& owner, int32_t port, OpenFailure* failure) {
  if (failure) *failure = {};
  SerialPort* p = owner.port();
  if (!p) {
    if (failure) *failure = {OpenFailure::kNoPortHolder, 0, "no monitor window holds a port"};
    return -1;
  }
  const uint32_t n = port > 0 ? static_cast<uint32_t>(port) : 0;
  if (!p->is_open()) {
    p->InSize = 8192;
    p->ComNumber = static_cast<uint16_t>(n);  // the port number is 16 bits wide
    p->DataBits = kLineDataBits;
    p->parity = Parity::pNone;
    p->Baud = kLineBaud;
    p->StopBits = kLineStopBits;
    p->SWFlowOptions = SWFlow::swfNone;
    try {
      p->set_open(true);
    } catch (const PortError& e) {
      if (failure) *failure = {e.code(), e.system_errno(), e.what()};
      return -1;
    } catch (const std::exception& e) {
      if (failure) *failure = {OpenFailure::kNoPortHolder, 0, e.what()};
      return -1;
    } catch (...) {
      if (failure) *failure = {OpenFailure::kNoPortHolder, 0, "unknown failure"};
      return -1;
    }
  }
  return p->ComNumber;
}

void com_close(PortOwner& owner) {
  if (SerialPort* p = owner.port()) p->set_open(false);
}

}  // namespace vkt::link
