#pragma once
// The machine's serial ports as a Linux user knows them (device path, USB
// identifiers and strings, the /dev/serial/by-id link), read from sysfs
// ($VKTCOM_SYSFS_ROOT) and the device folder ($VKTCOM_DEV_ROOT) with the
// library's bounded attribute reads, and what they tell when no logger is
// found.
#include <optional>
#include <string>
#include <vector>

#include "link/port_discovery.h"

namespace vktcli {

inline constexpr unsigned kLoggerVendor = vkt::link::kLoggerVendorId;
inline constexpr unsigned kLoggerProduct = vkt::link::kLoggerProductId;

struct SerialPortInfo {
  std::string tty;     // "ttyUSB0"
  std::string device;  // "<dev>/ttyUSB0"
  int com = 0;         // its port number, 1 for ttyUSB0
  bool node_exists = false;
  bool usb = false;                         // a USB device lies above it
  std::optional<unsigned> vendor, product;  // its identifiers, when readable
  std::string serial, manufacturer, product_name;
  std::string by_id;  // "<dev>/serial/by-id/..." leading to the device, empty when none
  bool is_logger() const { return vendor == kLoggerVendor && product == kLoggerProduct; }
};

// The terminal devices of the port table that have a device in sysfs, in
// port-number order.
std::vector<SerialPortInfo> list_serial_ports();

// USB devices with the logger's identifiers that no terminal device of the
// port table lies below (the driver was never bound to them), by their
// sysfs names ("1-1").
std::vector<std::string> logger_adapters_without_terminal(const std::vector<SerialPortInfo>& ports);

// The table `vkt ports` prints, one line per port, with a header.
std::string format_port_table(const std::vector<SerialPortInfo>& ports);

// The explanation of "no logger found": where the search looked and what it
// saw there, with a hint for each case.
std::string explain_no_logger();

// A device path given to --port ("/dev/ttyUSB0", "/dev/serial/by-id/...",
// a link to either) resolved to its port number; 0 when it is no device of
// the port table.
int port_for_device_path(const std::string& path);

}  // namespace vktcli
