#pragma once
// The machine's serial devices as a Linux user knows them: for each terminal
// device of the port table that the kernel describes, its device path, port
// number, USB identifiers and strings and its persistent name under
// <dev>/serial/by-id; and the USB devices with the logger's identifiers
// that no terminal device lies below. Read from sysfs_root() and dev_root()
// with the bounded attribute reads of sysfs_attribute.h.
#include <optional>
#include <string>
#include <vector>

namespace vkt::link {

struct SerialPortInfo {
  std::string tty;     // "ttyUSB0"
  std::string device;  // "<dev>/ttyUSB0"
  int com = 0;         // its port number, 1 for ttyUSB0
  bool node_exists = false;
  bool usb = false;                         // a USB device lies above it
  std::optional<unsigned> vendor, product;  // its identifiers, when readable
  std::string serial, manufacturer, product_name;
  std::string by_id;  // "<dev>/serial/by-id/..." leading to the device, empty when none
  bool is_logger() const;
};

// The terminal devices of the port table that have a device in sysfs, in
// port-number order.
std::vector<SerialPortInfo> list_serial_ports();

// Text `which` (VKT_PORT_SERIAL, VKT_PORT_MANUFACTURER, VKT_PORT_PRODUCT,
// VKT_PORT_BY_ID of vktcom_ext.h) of the device of port `port`; nothing
// when the port has no device in sysfs or `which` names no text.
std::optional<std::string> serial_port_text(int port, int which);

// USB devices with the logger's identifiers that no terminal device of the
// port table lies below (the driver was never bound to them), by their
// sysfs names ("1-1"), sorted.
std::vector<std::string> logger_adapters_without_terminal();

// The port number of a device path ("/dev/ttyUSB0", "/dev/serial/by-id/...",
// a link to either, or a bare name "ttyUSB0"): the port whose device path
// is the same path, else the one the path leads to; 0 when it is no device
// of the port table.
int port_for_device_path(const std::string& path);

}  // namespace vkt::link
