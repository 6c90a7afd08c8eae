#pragma once
// Builds device and sysfs folders that look like a Linux machine with serial
// adapters attached, so that port discovery can be exercised without
// hardware. Everything is created below `root`:
//   <root>/dev/<tty>            symlink to the real device node (a pty slave)
//   <root>/sys/class/tty/<tty>  symlink into <root>/sys/devices/...
//   <root>/sys/devices/...      the device folders in the kernel's layout
//   <root>/sys/bus/...          the driver folders the `driver` links name
// Symlinks inside <root>/sys are relative, as in the real sysfs, so the tree
// can be resolved with realpath. A host points port discovery at it with
// VKTCOM_DEV_ROOT=<root>/dev and VKTCOM_SYSFS_ROOT=<root>/sys.
//
// None of these functions are thread-safe against each other on the same
// root. They throw std::filesystem::filesystem_error on I/O failures.
#include <cstdint>
#include <filesystem>
#include <string>

namespace vktsim {

// One USB serial adapter. The layouts built:
//
// usb-serial driver (acm == false, an FTDI chip with ftdi_sio):
//   class/tty/ttyUSB0 -> ../../devices/<pci>/usb<bus>/<bus>-<port>/<bus>-<port>:1.<if>/ttyUSB0/tty/ttyUSB0
//   .../ttyUSB0/tty/ttyUSB0/device -> ../../../ttyUSB0  (the usb-serial port device)
//   .../<bus>-<port>:1.<if>/ttyUSB0/driver -> bus/usb-serial/drivers/<driver>
//   .../<bus>-<port>:1.<if>/driver -> bus/usb/drivers/<driver>
// CDC ACM (acm == true):
//   class/tty/ttyACM0 -> ../../devices/<pci>/usb<bus>/<bus>-<port>/<bus>-<port>:1.<if>/tty/ttyACM0
//   .../tty/ttyACM0/device -> ../../../<bus>-<port>:1.<if>  (the interface)
//   .../<bus>-<port>:1.<if>/driver -> bus/usb/drivers/<driver>
// In both, the USB device folder <bus>-<port> holds idVendor and idProduct
// (four lower-case hexadecimal digits), serial (left out when empty),
// manufacturer, product, busnum and devnum, one line each ending in a
// newline.
struct UsbSerialAdapter {
  std::string tty_name = "ttyUSB0";
  std::uint16_t vendor = 0x1f2e;
  std::uint16_t product = 0x3d4c;
  std::string serial = "VKT00001";
  std::string manufacturer = "FTDI";
  std::string product_name = "FT232R USB UART";
  int bus = 1;
  std::string port = "1";  // port path on the bus: "1" gives device 1-1, "2.3" gives 1-2.3
  int devnum = 2;
  int interface_number = 0;
  std::string pci_path = "pci0000:00/0000:00:14.0";
  std::string driver;              // empty: ftdi_sio, or cdc_acm when acm
  std::string device_node_target;  // target of <root>/dev/<tty>; empty: no device node
  bool acm = false;
};

// A plain on-board serial port:
//   class/tty/ttyS0 -> ../../devices/platform/serial8250/tty/ttyS0
//   .../serial8250/tty/ttyS0/device -> ../../../serial8250
//   .../serial8250/driver -> bus/platform/drivers/serial8250
struct PlatformSerialPort {
  std::string tty_name = "ttyS0";
  std::string platform_device = "serial8250";
  std::string driver = "serial8250";
  std::string device_node_target;  // target of <root>/dev/<tty>; empty: no device node
};

// Adds the adapter (plugging it in). Existing entries of the same names are
// replaced; other adapters under the same root are left alone.
void lay_out_usb_serial(const std::filesystem::path& root, const UsbSerialAdapter& adapter);
// Removes the adapter (unplugging it): its USB device folder with all its
// interfaces, every class/tty link into that folder, and <root>/dev/<tty>.
// The driver folders stay, as they do when a module stays loaded. Removing
// an adapter that is not there does nothing.
void remove_usb_serial(const std::filesystem::path& root, const UsbSerialAdapter& adapter);

void lay_out_platform_serial(const std::filesystem::path& root, const PlatformSerialPort& port);
void remove_platform_serial(const std::filesystem::path& root, const PlatformSerialPort& port);

// Paths inside the tree, for tests that look at it.
std::filesystem::path usb_device_dir(const std::filesystem::path& root, const UsbSerialAdapter& adapter);
std::filesystem::path usb_tty_dir(const std::filesystem::path& root, const UsbSerialAdapter& adapter);
// The name of the USB device folder, "<bus>-<port>".
std::string usb_device_name(const UsbSerialAdapter& adapter);

}  // namespace vktsim
