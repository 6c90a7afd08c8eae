#include "vktcli/serial_ports.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>
#include <system_error>

#include <fmt/format.h>

#include "link/port_names.h"
#include "link/sysfs_attribute.h"

namespace vktcli {
namespace {

namespace fs = std::filesystem;

std::optional<unsigned> hex_attribute(const fs::path& file) {
  const auto text = vkt::link::read_sysfs_attribute(file.string());
  return text ? vkt::link::parse_sysfs_number(*text, 16, 0xFFFF) : std::nullopt;
}

std::string text_attribute(const fs::path& file) { return vkt::link::read_sysfs_attribute(file.string()).value_or(""); }

fs::path canonical_or_empty(const fs::path& p) {
  std::error_code ec;
  fs::path c = fs::canonical(p, ec);
  return ec ? fs::path() : c;
}

std::string or_dash(const std::string& s) { return s.empty() ? "-" : s; }

}  // namespace

std::vector<SerialPortInfo> list_serial_ports() {
  std::vector<SerialPortInfo> ports;
  const fs::path sysfs_root(vkt::link::sysfs_root());
  const fs::path dev(vkt::link::dev_root());
  const fs::path sysfs = canonical_or_empty(sysfs_root);
  std::error_code ec;
  for (fs::directory_iterator it(sysfs_root / "class" / "tty", ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const int com = vkt::link::port_for_device_name(name);
    if (com == 0) continue;
    std::error_code e;
    if (!fs::exists(it->path() / "device", e)) continue;  // not a real device
    SerialPortInfo info;
    info.tty = name;
    info.com = com;
    info.device = (dev / name).string();
    info.node_exists = fs::exists(dev / name, e);
    if (const auto usb = vkt::link::usb_device_above(it->path() / "device", sysfs)) {
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
  const fs::path by_id = dev / "serial" / "by-id";
  for (fs::directory_iterator it(by_id, ec), end; !ec && it != end; it.increment(ec)) {
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

std::vector<std::string> logger_adapters_without_terminal(const std::vector<SerialPortInfo>& ports) {
  const fs::path sysfs_root(vkt::link::sysfs_root());
  const fs::path sysfs = canonical_or_empty(sysfs_root);
  std::vector<fs::path> with_tty;
  std::error_code ec;
  for (const SerialPortInfo& p : ports) {
    if (auto usb = vkt::link::usb_device_above(sysfs_root / "class" / "tty" / p.tty / "device", sysfs)) with_tty.push_back(*usb);
  }
  std::vector<std::string> found;
  for (fs::directory_iterator it(sysfs_root / "bus" / "usb" / "devices", ec), end; !ec && it != end;
       it.increment(ec)) {
    if (hex_attribute(it->path() / "idVendor") != kLoggerVendor) continue;
    if (hex_attribute(it->path() / "idProduct") != kLoggerProduct) continue;
    const fs::path usb = canonical_or_empty(it->path());
    if (std::find(with_tty.begin(), with_tty.end(), usb) == with_tty.end()) {
      found.push_back(it->path().filename().string());
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::string format_port_table(const std::vector<SerialPortInfo>& ports) {
  std::vector<std::array<std::string, 7>> rows;
  rows.push_back({"DEVICE", "PORT", "VID:PID", "SERIAL", "MANUFACTURER", "PRODUCT", "BY-ID"});
  for (const SerialPortInfo& p : ports) {
    const std::string ids =
        p.vendor && p.product ? fmt::format("{:04x}:{:04x}", *p.vendor, *p.product) : std::string("-");
    rows.push_back({p.device + (p.node_exists ? "" : " (no node)"), fmt::format("COM{}", p.com), ids,
                    or_dash(p.serial), or_dash(p.manufacturer), or_dash(p.product_name), or_dash(p.by_id)});
  }
  std::array<std::size_t, 7> width{};
  for (const auto& row : rows)
    for (std::size_t i = 0; i < row.size(); ++i) width[i] = std::max(width[i], row[i].size());
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(width[i] - row[i].size() + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  }
  return out;
}

std::string explain_no_logger() {
  const std::vector<SerialPortInfo> ports = list_serial_ports();
  std::string out = fmt::format(
      "no logger found\n"
      "  searched: {}/class/tty and {} for a USB-serial adapter with the logger's identifiers {:04x}:{:04x}\n",
      vkt::link::sysfs_root(), vkt::link::dev_root(), kLoggerVendor, kLoggerProduct);
  if (ports.empty()) out += "  seen: no serial device of the port table (ttyUSB0-19, ttyACM0-19, ttyS0-31)\n";
  for (const SerialPortInfo& p : ports) {
    if (p.is_logger() && !p.node_exists) {
      out += fmt::format(
          "  seen: {} has the logger's identifiers but no device node {}: the udev rule is missing or has not "
          "run (install rules/70-vkt-logger.rules, then plug the logger in again)\n",
          p.tty, p.device);
    } else if (p.is_logger()) {
      out += fmt::format("  seen: {} (COM{}) has the logger's identifiers\n", p.device, p.com);
    } else if (p.vendor && p.product) {
      out += fmt::format("  seen: {} (COM{}) is an adapter with other identifiers {:04x}:{:04x}{}\n", p.device,
                         p.com, *p.vendor, *p.product,
                         p.product_name.empty() ? std::string() : " (" + p.product_name + ")");
    } else if (p.usb) {
      out += fmt::format("  seen: {} (COM{}) is a USB adapter whose identifiers cannot be read\n", p.device, p.com);
    } else {
      out += fmt::format("  seen: {} (COM{}) is not a USB adapter\n", p.device, p.com);
    }
  }
  for (const std::string& usb : logger_adapters_without_terminal(ports)) {
    out += fmt::format(
        "  seen: USB device {} has the logger's identifiers but no terminal device: the udev rule that binds "
        "ftdi_sio to it is missing (install rules/70-vkt-logger.rules, then plug the logger in again)\n",
        usb);
  }
  out += "  Without a logger, --simulate plays one (e.g. vkt info --simulate).";
  return out;
}

int port_for_device_path(const std::string& path) {
  std::error_code ec;
  const fs::path target = fs::canonical(path, ec);
  for (int com = 1; com <= 72; ++com) {
    const std::string device = vkt::link::device_path_for_port(static_cast<uint16_t>(com));
    if (device.empty()) continue;
    if (fs::path(path).lexically_normal() == fs::path(device).lexically_normal()) return com;
    if (!ec) {
      std::error_code e;
      const fs::path d = fs::canonical(device, e);
      if (!e && d == target) return com;
    }
  }
  return 0;
}

}  // namespace vktcli
