#pragma once
// Port numbers on Linux. A host names the logger's port by a COM number; on
// Linux that number stands for a terminal device under the device folder:
//
//   COM1  .. COM20  ->  ttyUSB0 .. ttyUSB19  (USB-serial adapters)
//   COM21 .. COM40  ->  ttyACM0 .. ttyACM19  (USB modem-class devices)
//   COM41 .. COM72  ->  ttyS0   .. ttyS31    (built-in serial ports)
//
// Every other number names no device.
#include <cstdint>
#include <string>
#include <string_view>

namespace vkt::link {

// The folder holding the device nodes: $VKTCOM_DEV_ROOT when set and not
// empty, else "/dev". Read at each call, without a trailing slash.
std::string dev_root();
// The folder where the kernel describes its devices: $VKTCOM_SYSFS_ROOT when
// set and not empty, else "/sys". Read at each call, without a trailing slash.
std::string sysfs_root();

// The device name ("ttyUSB0") for a port number; empty when the number names
// no device.
std::string device_name_for_port(uint16_t com);
// The full device path (dev_root() + "/ttyUSB0") for a port number; empty
// when the number names no device. Whether the device exists is not checked.
std::string device_path_for_port(uint16_t com);
// The port number for a device name ("ttyACM2" -> 23); a path is accepted
// and its last component used ("/dev/ttyS0" -> 41). 0 when the name has no
// port number.
int port_for_device_name(std::string_view name);

}  // namespace vkt::link
