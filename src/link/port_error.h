#pragma once
// Errors the serial port throws: each carries the port's negative error code
// and its message text.
#include <stdexcept>
#include <string>

namespace vkt::link {

class PortError : public std::runtime_error {
 public:
  PortError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  int code() const noexcept { return code_; }
  // The system's error number behind the failure, 0 when it was not the
  // system's (the port's own errors may carry one, e.g. EBadId for ENOENT).
  int system_errno() const noexcept { return system_errno_; }
  void set_system_errno(int error) noexcept { system_errno_ = error; }

 private:
  int code_;
  int system_errno_ = 0;
};

// The port's own error family.
class EAPDException : public PortError {
  using PortError::PortError;
};

#define VKT_PORT_ERROR(Name, Code, Text)                     \
  class Name : public EAPDException {                        \
   public:                                                   \
    static constexpr int kCode = Code;                       \
    Name() : EAPDException(Code, Text) {}                    \
  };

VKT_PORT_ERROR(ENoPortSelected, -2011, "The ComNumber property of the TApdComPort has not been set")
VKT_PORT_ERROR(EBadId, -2001, "ie_BadId - Specified comport doesn't exist")
VKT_PORT_ERROR(EAlreadyOpen, -2008, "ie_Open - device already open")
VKT_PORT_ERROR(ECommNotOpen, -2007, "ie_NOpen - device not open")
VKT_PORT_ERROR(EBufferIsEmpty, -3007, "Buffer is empty")
VKT_PORT_ERROR(EOutputBufferTooSmall, -3006, "Output buffer too small for block")
#undef VKT_PORT_ERROR

// Any other failure of the system while opening: minus the system's error
// number, and the system's text for it.
class PortIoError : public PortError {
 public:
  PortIoError(int system_errno, const std::string& message) : PortError(-system_errno, message) {
    set_system_errno(system_errno);
  }
};

}  // namespace vkt::link
