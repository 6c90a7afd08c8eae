// The Linux reader: the machine's serial devices shown as the two registry
// keys that port discovery reads.
//
//   \HARDWARE\DEVICEMAP\SERIALCOMM
//       one value per serial device present now: a terminal device of the
//       port table whose sysfs entry has a `device` link and whose device
//       node exists. Its name is "\Device\VCP<k>" for ttyUSB<k> (USB-serial
//       converters), "\Device\USBSER<k>" for ttyACM<k> (modem-class USB
//       devices) and "\Device\Serial<k>" for ttyS<k>; its text is "COM<n>",
//       the device's port number.
//   \System\CurrentControlSet\Enum\FTDIBUS
//       one subkey per USB device behind a terminal device of the port
//       table: "VID_<vendor>+PID_<product>+<serial><letter>" (four upper-case
//       hexadecimal digits each; the letter names the interface, A for the
//       first), with "0000\Device Parameters" holding the text value
//       "PortName" = "COM<n>".
//
// Devices are listed in the natural order of their names (ttyUSB2 before
// ttyUSB10). The view is taken once, when the reader is made; nothing in
// sysfs or the device folder is ever written.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <system_error>

#include "link/port_names.h"
#include "link/registry_reader.h"
#include "link/sysfs_attribute.h"
#include "base/text.h"

namespace vkt::link {
namespace fs = std::filesystem;

namespace {


bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Natural order: runs of digits compare by their value, so "ttyUSB2" comes
// before "ttyUSB10"; names equal that way fall back to plain order.
bool natural_less(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (is_digit(a[i]) && is_digit(b[j])) {
      std::size_t ei = i, ej = j;
      while (ei < a.size() && is_digit(a[ei])) ++ei;
      while (ej < b.size() && is_digit(b[ej])) ++ej;
      std::string_view da = a.substr(i, ei - i), db = b.substr(j, ej - j);
      while (da.size() > 1 && da.front() == '0') da.remove_prefix(1);
      while (db.size() > 1 && db.front() == '0') db.remove_prefix(1);
      if (da.size() != db.size()) return da.size() < db.size();
      if (da != db) return da < db;
      i = ei;
      j = ej;
      continue;
    }
    if (a[i] != b[j]) return a[i] < b[j];
    ++i;
    ++j;
  }
  if ((a.size() - i) != (b.size() - j)) return (a.size() - i) < (b.size() - j);
  return a < b;
}

std::optional<std::string> read_attribute(const fs::path& file) { return read_sysfs_attribute(file.string()); }


std::string hex4(unsigned v) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", v & 0xFFFFu);
  return text;
}

// The device-map value name of a terminal device of the port table.
std::string device_map_name(std::string_view tty) {
  struct Family {
    std::string_view prefix, value_prefix;
  };
  static constexpr Family kFamilies[] = {
      {"ttyUSB", "\\Device\\VCP"}, {"ttyACM", "\\Device\\USBSER"}, {"ttyS", "\\Device\\Serial"}};
  for (const Family& f : kFamilies)
    if (tty.starts_with(f.prefix)) return std::string(f.value_prefix) + std::string(tty.substr(f.prefix.size()));
  return std::string("\\Device\\") + std::string(tty);
}


// The adapter-enumeration subkey name of the USB device behind a terminal
// device, found by walking up from the device the `device` link leads to
// (the usb-serial port or the cdc-acm interface) to the first folder that
// holds idVendor. Nothing when no USB device lies above it.
std::optional<std::string> adapter_key_name(const fs::path& device, const fs::path& sysfs) {
  fs::path interface;
  const std::optional<fs::path> found = usb_device_above(device, sysfs, &interface);
  if (!found) return std::nullopt;
  const fs::path& usb = *found;

  const auto vendor_text = read_attribute(usb / "idVendor");
  const auto product_text = read_attribute(usb / "idProduct");
  if (!vendor_text || !product_text) return std::nullopt;
  const auto vendor = parse_sysfs_number(*vendor_text, 16, 0xFFFF);
  const auto product = parse_sysfs_number(*product_text, 16, 0xFFFF);
  if (!vendor || !product) return std::nullopt;

  // The serial number names the adapter; a device without one is named by
  // its place on the bus ("1-1.2") instead, so that two of them stay apart.
  std::string serial = read_attribute(usb / "serial").value_or("");
  if (serial.empty()) serial = usb.filename().string();
  for (char& c : serial)
    if (c == '\\') c = '_';

  // Interface letter: A for interface 0, B for interface 1, ...
  unsigned number = 0;
  if (!interface.empty()) {
    std::optional<unsigned> n;
    if (const auto text = read_attribute(interface / "bInterfaceNumber")) n = parse_sysfs_number(*text, 16, 25);
    if (!n) {
      const std::string name = interface.filename().string();
      if (const auto dot = name.rfind('.'); dot != std::string::npos)
        n = parse_sysfs_number(std::string_view(name).substr(dot + 1), 10, 25);
    }
    number = n.value_or(0);
  }
  return "VID_" + hex4(*vendor) + "+PID_" + hex4(*product) + "+" + serial + static_cast<char>('A' + number);
}

}  // namespace

std::optional<unsigned> parse_sysfs_number(std::string_view text, int base, unsigned limit) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > limit) return std::nullopt;
  return value;
}

std::optional<fs::path> usb_device_above(const fs::path& device, const fs::path& sysfs, fs::path* interface) {
  std::error_code ec;
  fs::path usb = fs::canonical(device, ec);
  if (ec) return std::nullopt;
  fs::path below;  // the folder below the USB device on the way up
  for (;;) {
    const auto [in_sysfs, in_path] = std::mismatch(sysfs.begin(), sysfs.end(), usb.begin(), usb.end());
    (void)in_path;
    if (in_sysfs != sysfs.end() || usb == sysfs || usb == usb.parent_path()) return std::nullopt;
    if (fs::exists(usb / "idVendor", ec)) break;
    below = usb;
    usb = usb.parent_path();
  }
  if (interface) *interface = below;
  return usb;
}

std::optional<std::string> read_sysfs_attribute(const std::string& path) {
  // Non-blocking: opening a FIFO for reading would wait for a writer for
  // ever. The type is checked on the open file, so nothing can be swapped in
  // between a check and the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::string text(kSysfsAttributeLimit, '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  text.resize(got);
  if (const std::size_t end = text.find('\n'); end != std::string::npos) text.resize(end);
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && c != '\t' && c != '\r') || u == 0x7F) return std::nullopt;  // binary, not text
  }
  return std::string(trimmed(text));
}

RegistryTree registry_from_sysfs(const std::string& sysfs_root, const std::string& dev_root) {
  RegistryTree tree;
  std::error_code ec;
  const fs::path class_tty = fs::path(sysfs_root) / "class" / "tty";
  if (!fs::is_directory(class_tty, ec)) return tree;  // no device map at all: "VCP none"
  const fs::path sysfs = fs::canonical(sysfs_root, ec);
  if (ec) return tree;
  tree.add_key(kDeviceMapKey);
  tree.add_key(kAdapterKey);

  std::vector<std::string> ttys;
  for (fs::directory_iterator it(class_tty, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (port_for_device_name(name) != 0) ttys.push_back(std::move(name));
  }
  std::sort(ttys.begin(), ttys.end(), natural_less);

  std::set<std::string> adapters_seen;
  for (const std::string& tty : ttys) {
    const fs::path device = class_tty / tty / "device";
    if (!fs::exists(device, ec)) continue;  // not a real device (a virtual console, say)
    const std::string port_name = "COM" + std::to_string(port_for_device_name(tty));

    if (fs::exists(fs::path(dev_root) / tty, ec)) tree.set_text(kDeviceMapKey, device_map_name(tty), port_name);

    // The adapter stays listed while its device node is missing, as Windows
    // keeps the key of an adapter once seen.
    const auto adapter = adapter_key_name(device, sysfs);
    if (!adapter || !adapters_seen.insert(*adapter).second) continue;
    const std::string parameters = std::string(kAdapterKey) + "\\" + *adapter + std::string(kParametersSubkey);
    tree.set_text(parameters, "PortName", port_name);
  }
  return tree;
}

std::unique_ptr<RegistryReader> make_system_registry_reader() {
  return std::make_unique<RegistryTree>(registry_from_sysfs(link::sysfs_root(), link::dev_root()));
}

}  // namespace vkt::link
