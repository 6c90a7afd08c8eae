#include "link/port_survey.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "link/port_discovery.h"
#include "link/port_names.h"
#include "link/sysfs_attribute.h"
#include "vktcom_ext.h"

namespace vkt::link {
namespace {

namespace fs = std::filesystem;

std::optional<unsigned> hex_attribute(const fs::path& file) {
  const auto text = read_sysfs_attribute(file.string());
  return text ? parse_sysfs_number(*text, 16, 0xFFFF) : std::nullopt;
}

std::string text_attribute(const fs::path& file) { return read_sysfs_attribute(file.string()).value_or(""); }

fs::path canonical_or_empty(const fs::path& p) {
  std::error_code ec;
  fs::path c = fs::canonical(p, ec);
  return ec ? fs::path() : c;
}

}  // namespace

bool SerialPortInfo::is_logger() const { return vendor == kLoggerVendorId && product == kLoggerProductId; }

std::vector<SerialPortInfo> list_serial_ports() {
  std::vector<SerialPortInfo> ports;
  const fs::path sysfs_folder(sysfs_root());
  const fs::path dev(dev_root());
  const fs::path sysfs = canonical_or_empty(sysfs_folder);
  std::error_code ec;
  for (fs::directory_iterator it(sysfs_folder / "class" / "tty", ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const int com = port_for_device_name(name);
    if (com == 0) continue;
    std::error_code e;
    if (!fs::exists(it->path() / "device", e)) continue;  // not a real device
    SerialPortInfo info;
    info.tty = name;
    info.com = com;
    info.device = (dev / name).string();
    info.node_exists = fs::exists(dev / name, e);
    if (const auto usb = usb_device_above(it->path() / "device", sysfs)) {
      info.usb = true;
      info.vendor = hex_attribute(*usb / "idVendor");
      info.product = hex_attribute(*usb / "idProduct");
      info.serial = text_attribute(*usb / "serial");
      info.manufacturer = text_attribute(*usb / "manufacturer");
      info.product_name = text_attribute(*usb / "product");
    }
    ports.push_back(std::move(info));
  }
  // The persistent names udev makes: links in <dev>/serial/by-id.
  for (fs::directory_iterator it(dev / "serial" / "by-id", ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path target = canonical_or_empty(it->path());
    if (target.empty()) continue;
    for (SerialPortInfo& p : ports) {
      if (p.by_id.empty() && (target == canonical_or_empty(p.device) || target.filename() == p.tty)) {
        p.by_id = it->path().string();
      }
    }
  }
  std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) { return a.com < b.com; });
  return ports;
}

std::optional<std::string> serial_port_text(int port, int which) {
  for (const SerialPortInfo& p : list_serial_ports()) {
    if (p.com != port) continue;
    switch (which) {
      case VKT_PORT_SERIAL: return p.serial;
      case VKT_PORT_MANUFACTURER: return p.manufacturer;
      case VKT_PORT_PRODUCT: return p.product_name;
      case VKT_PORT_BY_ID: return p.by_id;
      default: return std::nullopt;
    }
  }
  return std::nullopt;
}

std::vector<std::string> logger_adapters_without_terminal() {
  const fs::path sysfs_folder(sysfs_root());
  const fs::path sysfs = canonical_or_empty(sysfs_folder);
  std::vector<fs::path> with_tty;
  for (const SerialPortInfo& p : list_serial_ports()) {
    if (auto usb = usb_device_above(sysfs_folder / "class" / "tty" / p.tty / "device", sysfs)) with_tty.push_back(*usb);
  }
  std::vector<std::string> found;
  std::error_code ec;
  for (fs::directory_iterator it(sysfs_folder / "bus" / "usb" / "devices", ec), end; !ec && it != end;
       it.increment(ec)) {
    if (hex_attribute(it->path() / "idVendor") != kLoggerVendorId) continue;
    if (hex_attribute(it->path() / "idProduct") != kLoggerProductId) continue;
    const fs::path usb = canonical_or_empty(it->path());
    if (std::find(with_tty.begin(), with_tty.end(), usb) == with_tty.end()) {
      found.push_back(it->path().filename().string());
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

int port_for_device_path(const std::string& path) {
  if (path.empty()) return 0;
  if (path.find('/') == std::string::npos) return port_for_device_name(path);
  // The path with its links followed by hand, so that a link to a device
  // that is absent now still names its port.
  fs::path followed = fs::path(path).lexically_normal();
  for (int step = 0; step < 40; ++step) {
    std::error_code e;
    if (!fs::is_symlink(followed, e)) break;
    const fs::path target = fs::read_symlink(followed, e);
    if (e) break;
    followed = (target.is_absolute() ? target : followed.parent_path() / target).lexically_normal();
  }
  std::error_code ec;
  const fs::path canonical = fs::canonical(path, ec);
  for (int com = 1; com <= 0xFFFF; ++com) {
    const std::string device = device_path_for_port(static_cast<uint16_t>(com));
    if (device.empty()) continue;
    const fs::path normal = fs::path(device).lexically_normal();
    if (fs::path(path).lexically_normal() == normal || followed == normal) return com;
    if (!ec) {
      std::error_code e;
      const fs::path d = fs::canonical(device, e);
      if (!e && d == canonical) return com;
    }
  }
  return 0;
}

}  // namespace vkt::link
