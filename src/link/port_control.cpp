#include "link/port_control.h"

#include "base/constants.h"
#include <exception>

#include "link/port_error.h"
#include "link/serial_port.h"

namespace vkt::link {

namespace {

// Opens `p` on port number `n` and, when not empty, the device `path`.
int32_t open_port(SerialPort* p, uint16_t n, const std::string* path, OpenFailure* failure) {
  if (failure) *failure = {};
  if (!p) {
    if (failure) *failure = {OpenFailure::kNoPortHolder, 0, "no monitor window holds a port"};
    return -1;
  }
  if (!p->is_open()) {
    // A number other than the one given with a device path names the
    // table's device again.
    if (path) {
      p->DevicePath = *path;
    } else if (n != p->ComNumber) {
      p->DevicePath.clear();
    }
    p->InSize = 8192;
    p->ComNumber = n;
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

}  // namespace

int32_t com_open(PortOwner& owner, int32_t port, OpenFailure* failure) {
  // The port number is 16 bits wide; 0 or negative selects no port.
  const uint32_t n = port > 0 ? static_cast<uint32_t>(port) : 0;
  return open_port(owner.port(), static_cast<uint16_t>(n), nullptr, failure);
}

int32_t com_open_path(PortOwner& owner, const std::string& path, uint16_t port, OpenFailure* failure) {
  // An empty path selects no port, whatever the number.
  return open_port(owner.port(), path.empty() ? 0 : port, &path, failure);
}

void com_close(PortOwner& owner) {
  if (SerialPort* p = owner.port()) p->set_open(false);
}

}  // namespace vkt::link
