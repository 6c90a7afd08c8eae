#include "vktcli/serial_ports.h"

#include <algorithm>
#include <array>

#include <fmt/format.h>

#include "vktcli/messages.h"
#include "vktcli/record_output.h"

namespace vktcli {
namespace {

std::string or_dash(const std::string& s) { return s.empty() ? "-" : s; }

std::string port_text(const Api& api, int port, int which) {
  return whole_text([&](char* b, int32_t n) { return api.vkt_serial_port_text(port, which, b, n); }).value_or("");
}

}  // namespace

std::vector<SerialPortInfo> list_serial_ports(const Api& api) {
  std::vector<vkt_serial_port> found(static_cast<std::size_t>(std::max(api.vkt_serial_ports(nullptr, 0), 0)));
  found.resize(static_cast<std::size_t>(std::clamp<int32_t>(
      api.vkt_serial_ports(found.data(), static_cast<int32_t>(found.size())), 0, static_cast<int32_t>(found.size()))));
  std::vector<SerialPortInfo> ports;
  for (const vkt_serial_port& p : found) {
    SerialPortInfo info;
    info.com = p.port;
    info.device = whole_text([&](char* b, int32_t n) { return api.vkt_port_device(p.port, b, n); }).value_or("");
    info.node_exists = p.node_exists != 0;
    info.usb = p.usb != 0;
    if (p.vendor >= 0) info.vendor = static_cast<unsigned>(p.vendor);
    if (p.product >= 0) info.product = static_cast<unsigned>(p.product);
    info.logger = p.logger != 0;
    info.serial = port_text(api, p.port, VKT_PORT_SERIAL);
    info.manufacturer = port_text(api, p.port, VKT_PORT_MANUFACTURER);
    info.product_name = port_text(api, p.port, VKT_PORT_PRODUCT);
    info.by_id = port_text(api, p.port, VKT_PORT_BY_ID);
    ports.push_back(std::move(info));
  }
  return ports;
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

std::string format_port_json(const std::vector<SerialPortInfo>& ports, int logger_port,
                             const std::string& logger_device) {
  auto text = [](const std::string& s) { return s.empty() ? std::string("null") : json_string(s); };
  auto id = [](const std::optional<unsigned>& v) { return v ? fmt::format("\"{:04x}\"", *v) : std::string("null"); };
  std::string out = "{\"ports\":[";
  for (std::size_t i = 0; i < ports.size(); ++i) {
    const SerialPortInfo& p = ports[i];
    out += fmt::format(
        "{}{{\"device\":{},\"port\":{},\"node_exists\":{},\"usb\":{},\"vendor\":{},\"product\":{},"
        "\"logger\":{},\"serial\":{},\"manufacturer\":{},\"product_name\":{},\"by_id\":{}}}",
        i == 0 ? "" : ",", json_string(p.device), p.com, p.node_exists, p.usb, id(p.vendor), id(p.product),
        p.logger, text(p.serial), text(p.manufacturer), text(p.product_name), text(p.by_id));
  }
  out += "],\"logger\":";
  out += logger_port == 0 ? std::string("null")
                          : fmt::format("{{\"port\":{},\"device\":{}}}", logger_port, text(logger_device));
  return out + "}\n";
}

std::string explain_no_logger(const Api& api, bool* seen_adapter) {
  if (seen_adapter) *seen_adapter = false;
  const std::vector<SerialPortInfo> ports = list_serial_ports(api);
  std::string out = fmt::format(
      "no logger found\n"
      "  searched: the serial devices of the port table (vkt ports lists them) for a USB-serial adapter with the "
      "logger's identifiers {:04x}:{:04x}\n",
      VKT_LOGGER_VENDOR_ID, VKT_LOGGER_PRODUCT_ID);
  if (ports.empty()) out += "  seen: no serial device of the port table\n";
  for (const SerialPortInfo& p : ports) {
    if (p.logger && !p.node_exists) {
      if (seen_adapter) *seen_adapter = true;
      out += fmt::format(
          "  seen: {} has the logger's identifiers but no device node {}: the udev rule {} is missing or has "
          "not run (install the package libvktcom1, then plug the logger in again)\n",
          p.tty(), p.device, kUdevRulePath);
    } else if (p.logger) {
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
  const std::string unbound =
      whole_text([&](char* b, int32_t n) { return api.vkt_unbound_adapters(b, n); }).value_or("");
  for (std::size_t at = 0; at < unbound.size();) {
    const std::size_t end = std::min(unbound.find('\n', at), unbound.size());
    if (seen_adapter) *seen_adapter = true;
    out += fmt::format(
        "  seen: USB device {} has the logger's identifiers but no terminal device: the udev rule that binds "
        "ftdi_sio to it, {}, is missing (install the package libvktcom1, then plug the logger in again)\n",
        unbound.substr(at, end - at), kUdevRulePath);
    at = end + 1;
  }
  out += "  Without a logger, --simulate plays one (e.g. vkt info --simulate).";
  return out;
}

}  // namespace vktcli
