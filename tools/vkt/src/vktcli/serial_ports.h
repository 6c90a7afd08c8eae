#pragma once
// The machine's serial ports as a Linux user knows them (device path, USB
// identifiers and strings, the /dev/serial/by-id link), as the library
// describes them, and what they tell when no logger is found.
#include <optional>
#include <string>
#include <vector>

#include "vktcli/module.h"

namespace vktcli {

struct SerialPortInfo {
  std::string device;  // "<dev>/ttyUSB0"
  int com = 0;         // its port number, 1 for ttyUSB0
  bool node_exists = false;
  bool usb = false;                         // a USB device lies above it
  std::optional<unsigned> vendor, product;  // its identifiers, when readable
  bool logger = false;                      // they are the logger adapter's
  std::string serial, manufacturer, product_name;
  std::string by_id;  // "<dev>/serial/by-id/..." leading to the device, empty when none
  // "ttyUSB0"
  std::string tty() const { return device.substr(device.rfind('/') + 1); }
};

// The terminal devices of the library's port table that the kernel
// describes, in port-number order.
std::vector<SerialPortInfo> list_serial_ports(const Api& api);

// The table `vkt ports` prints, one line per port, with a header.
std::string format_port_table(const std::vector<SerialPortInfo>& ports);

// The same ports as one JSON object, `vkt ports --json`:
//   {"ports":[{"device":..,"port":1,"node_exists":true,"usb":true,
//     "vendor":"1f2e","product":"3d4c","logger":true,"serial":..,
//     "manufacturer":..,"product_name":..,"by_id":..}, ...],
//    "logger":{"port":1,"device":".."}}
// with null for an unknown identifier or text and for "logger" when the
// search found none; `logger_port` 0: none found.
std::string format_port_json(const std::vector<SerialPortInfo>& ports, int logger_port,
                             const std::string& logger_device);

// The explanation of "no logger found": what the library saw of the
// machine's serial devices, with a hint for each case. `seen_adapter`
// (unless null) is set when the logger's identifiers were seen somewhere
// (an adapter without a device node, or without a terminal device): then
// the explanation tells what to fix.
std::string explain_no_logger(const Api& api, bool* seen_adapter = nullptr);

}  // namespace vktcli
