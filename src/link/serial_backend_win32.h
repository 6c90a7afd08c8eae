#pragma once
// What the Win32 serial backend decides without a device, for its tests.
#include <cstdint>
#include <string>

namespace vkt::link {

// The device a port number names: "\\.\COM<n>" for every number from 1 up
// (the prefix reaches COM10 and above as well); empty for 0.
std::string win32_device_path(uint16_t port_number);

// Throws what a failed CreateFile of a COM port means to the port: a missing
// device or path -> EBadId; access denied or a sharing violation (another
// program holds the port) -> EAlreadyOpen; anything else -> PortIoError with
// minus the system error number and the system's message text.
[[noreturn]] void throw_open_error(unsigned long system_error);

// The system's message text for an error number (UTF-8, without the line
// ending), or "system error <n>" when the system has none.
std::string win32_error_text(unsigned long system_error);

}  // namespace vkt::link
