#include "vktsim/sysfs_tree.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <system_error>
#include <vector>

namespace vktsim {
namespace fs = std::filesystem;

namespace {

fs::path normal_root(const fs::path& root) { return fs::absolute(root).lexically_normal(); }

bool lexically_inside(const fs::path& p, const fs::path& folder) {
  return std::mismatch(folder.begin(), folder.end(), p.begin(), p.end()).first == folder.end();
}

// The relative target sysfs writes: up from the link's folder to the
// nearest folder that holds the target's parent, then down to the target,
// always naming the target itself ("../../../ttyUSB0", never "../..").
fs::path sysfs_relative(const fs::path& target, const fs::path& link_dir) {
  fs::path base = link_dir;
  fs::path up;
  while (!lexically_inside(target.parent_path(), base)) {
    base = base.parent_path();
    up /= "..";
  }
  return up / target.lexically_relative(base);
}

// Creates `link` pointing at `target` with a relative path as sysfs does;
// an old entry of that name is replaced.
void relative_link(const fs::path& link, const fs::path& target) {
  fs::create_directories(link.parent_path());
  fs::remove_all(link);  // removes a symlink itself, never what it points at
  fs::create_symlink(sysfs_relative(target, link.parent_path()), link);
}

void absolute_link(const fs::path& link, const fs::path& target) {
  fs::create_directories(link.parent_path());
  fs::remove_all(link);
  fs::create_symlink(target, link);
}

// One attribute file: the value and a newline, as sysfs shows it.
void write_attribute(const fs::path& file, const std::string& value) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::trunc);
  out << value << '\n';
  if (!out)
    throw fs::filesystem_error("cannot write attribute", file, std::make_error_code(std::errc::io_error));
}

std::string hex4(std::uint16_t v) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(v));
  return text;
}

// The number at the end of a tty name ("ttyUSB3" gives 3), 0 without one.
int trailing_number(const std::string& name) {
  std::size_t i = name.size();
  while (i > 0 && name[i - 1] >= '0' && name[i - 1] <= '9') --i;
  return i == name.size() ? 0 : std::stoi(name.substr(i));
}

void write_tty_attributes(const fs::path& tty_dir, const std::string& name, int major, int minor) {
  write_attribute(tty_dir / "dev", std::to_string(major) + ":" + std::to_string(minor));
  write_attribute(tty_dir / "uevent", "MAJOR=" + std::to_string(major) + "\nMINOR=" + std::to_string(minor) +
                                          "\nDEVNAME=" + name);
}

// Removes every class/tty link that leads into `folder`.
void remove_class_links_into(const fs::path& sys, const fs::path& folder) {
  const fs::path class_tty = sys / "class" / "tty";
  std::error_code ec;
  if (!fs::is_directory(class_tty, ec)) return;
  std::vector<fs::path> doomed;
  for (const fs::directory_entry& entry : fs::directory_iterator(class_tty)) {
    if (!entry.is_symlink()) continue;
    const fs::path target = (class_tty / fs::read_symlink(entry.path())).lexically_normal();
    if (lexically_inside(target, folder)) doomed.push_back(entry.path());
  }
  for (const fs::path& p : doomed) fs::remove(p);
}

std::string usb_driver(const UsbSerialAdapter& adapter) {
  if (!adapter.driver.empty()) return adapter.driver;
  return adapter.acm ? "cdc_acm" : "ftdi_sio";
}

fs::path interface_dir(const fs::path& root, const UsbSerialAdapter& adapter) {
  return usb_device_dir(root, adapter) / (usb_device_name(adapter) + ":1." + std::to_string(adapter.interface_number));
}

// Links a tty folder to its device, lists it in class/tty and, when a
// target is given, makes its node in the device folder.
void attach_tty(const fs::path& root, const fs::path& tty, const fs::path& device, const std::string& tty_name,
                const std::string& node_target) {
  const fs::path sys = root / "sys";
  relative_link(tty / "device", device);
  relative_link(tty / "subsystem", sys / "class" / "tty");
  relative_link(sys / "class" / "tty" / tty_name, tty);
  if (!node_target.empty()) absolute_link(root / "dev" / tty_name, node_target);
}

}  // namespace

std::string usb_device_name(const UsbSerialAdapter& adapter) { return std::to_string(adapter.bus) + "-" + adapter.port; }

fs::path usb_device_dir(const fs::path& root, const UsbSerialAdapter& adapter) {
  return normal_root(root) / "sys" / "devices" / fs::path(adapter.pci_path) / ("usb" + std::to_string(adapter.bus)) /
         usb_device_name(adapter);
}

fs::path usb_tty_dir(const fs::path& root, const UsbSerialAdapter& adapter) {
  const fs::path iface = interface_dir(root, adapter);
  return adapter.acm ? iface / "tty" / adapter.tty_name : iface / adapter.tty_name / "tty" / adapter.tty_name;
}

void lay_out_usb_serial(const fs::path& root_in, const UsbSerialAdapter& adapter) {
  const fs::path root = normal_root(root_in);
  const fs::path sys = root / "sys";
  const std::string driver = usb_driver(adapter);
  const fs::path device = usb_device_dir(root, adapter);
  const fs::path iface = interface_dir(root, adapter);
  const fs::path tty = usb_tty_dir(root, adapter);

  // The USB device with its descriptors.
  write_attribute(device / "idVendor", hex4(adapter.vendor));
  write_attribute(device / "idProduct", hex4(adapter.product));
  if (!adapter.serial.empty()) write_attribute(device / "serial", adapter.serial);
  write_attribute(device / "manufacturer", adapter.manufacturer);
  write_attribute(device / "product", adapter.product_name);
  write_attribute(device / "busnum", std::to_string(adapter.bus));
  write_attribute(device / "devnum", std::to_string(adapter.devnum));
  relative_link(device / "subsystem", sys / "bus" / "usb");

  // The interface, bound to the USB side of the driver.
  char ifnum[8];
  std::snprintf(ifnum, sizeof ifnum, "%02x", static_cast<unsigned>(adapter.interface_number) & 0xFFu);
  write_attribute(iface / "bInterfaceNumber", ifnum);
  fs::create_directories(sys / "bus" / "usb" / "drivers" / driver);
  relative_link(iface / "driver", sys / "bus" / "usb" / "drivers" / driver);
  relative_link(iface / "subsystem", sys / "bus" / "usb");

  fs::path tty_device;
  if (adapter.acm) {
    tty_device = iface;
    write_tty_attributes(tty, adapter.tty_name, 166, trailing_number(adapter.tty_name));
  } else {
    // The usb-serial port device between the interface and the tty.
    const fs::path port = iface / adapter.tty_name;
    fs::create_directories(sys / "bus" / "usb-serial" / "drivers" / driver);
    fs::create_directories(port);
    relative_link(port / "driver", sys / "bus" / "usb-serial" / "drivers" / driver);
    relative_link(port / "subsystem", sys / "bus" / "usb-serial");
    write_attribute(port / "port_number", "0");
    tty_device = port;
    write_tty_attributes(tty, adapter.tty_name, 188, trailing_number(adapter.tty_name));
  }
  attach_tty(root, tty, tty_device, adapter.tty_name, adapter.device_node_target);
}

void remove_usb_serial(const fs::path& root_in, const UsbSerialAdapter& adapter) {
  const fs::path root = normal_root(root_in);
  const fs::path device = usb_device_dir(root, adapter);
  remove_class_links_into(root / "sys", device);
  fs::remove_all(device);
  fs::remove_all(root / "dev" / adapter.tty_name);  // the symlink only
}

void lay_out_platform_serial(const fs::path& root_in, const PlatformSerialPort& port) {
  const fs::path root = normal_root(root_in);
  const fs::path sys = root / "sys";
  const fs::path device = sys / "devices" / "platform" / port.platform_device;
  const fs::path tty = device / "tty" / port.tty_name;

  fs::create_directories(sys / "bus" / "platform" / "drivers" / port.driver);
  fs::create_directories(device);
  relative_link(device / "driver", sys / "bus" / "platform" / "drivers" / port.driver);
  relative_link(device / "subsystem", sys / "bus" / "platform");
  write_tty_attributes(tty, port.tty_name, 4, 64 + trailing_number(port.tty_name));
  attach_tty(root, tty, device, port.tty_name, port.device_node_target);
}

void remove_platform_serial(const fs::path& root_in, const PlatformSerialPort& port) {
  const fs::path root = normal_root(root_in);
  const fs::path sys = root / "sys";
  const fs::path tty = sys / "devices" / "platform" / port.platform_device / "tty" / port.tty_name;
  remove_class_links_into(sys, tty);
  fs::remove_all(tty);
  fs::remove_all(root / "dev" / port.tty_name);
}

}  // namespace vktsim
