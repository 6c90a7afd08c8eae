#include "link/port_names.h"

#include <array>
#include <charconv>
#include <cstdlib>

namespace vkt::link {
namespace {

struct PortFamily {
  std::string_view prefix;  // device name without its index
  int first_port;           // port number of index 0
  int count;                // devices in the family
};

constexpr std::array<PortFamily, 3> kFamilies{{
    {"ttyUSB", 1, 20},
    {"ttyACM", 21, 20},
    {"ttyS", 41, 32},
}};

std::string folder_from_environment(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  std::string folder = (value != nullptr && *value != '\0') ? value : fallback;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

}  // namespace

std::string dev_root() { return folder_from_environment("VKTCOM_DEV_ROOT", "/dev"); }

std::string sysfs_root() { return folder_from_environment("VKTCOM_SYSFS_ROOT", "/sys"); }

std::string device_name_for_port(uint16_t com) {
  for (const PortFamily& family : kFamilies) {
    const int index = static_cast<int>(com) - family.first_port;
    if (index >= 0 && index < family.count) {
      return std::string(family.prefix) + std::to_string(index);
    }
  }
  return {};
}

std::string device_path_for_port(uint16_t com) {
  std::string name = device_name_for_port(com);
  if (name.empty()) return {};
  std::string root = dev_root();
  if (root != "/") root += '/';
  return root + name;
}

int port_for_device_name(std::string_view name) {
  if (const auto slash = name.rfind('/'); slash != std::string_view::npos) {
    name.remove_prefix(slash + 1);
  }
  for (const PortFamily& family : kFamilies) {
    if (!name.starts_with(family.prefix)) continue;
    const std::string_view digits = name.substr(family.prefix.size());
    // Plain decimal only: "ttyS01" and "ttyS1x" name no port.
    if (digits.empty() || (digits.size() > 1 && digits.front() == '0')) return 0;
    int index = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    if (error != std::errc() || end != digits.data() + digits.size()) return 0;
    if (index < 0 || index >= family.count) return 0;
    return family.first_port + index;
  }
  return 0;
}

}  // namespace vkt::link
