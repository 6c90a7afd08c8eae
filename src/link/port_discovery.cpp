#include "link/port_discovery.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "base/text.h"
#include "link/registry_reader.h"

namespace vkt::link {
namespace {

// Closes the reader's current key however the search ends.
class KeyCloser {
 public:
  explicit KeyCloser(RegistryReader& registry) : registry_(registry) {}
  ~KeyCloser() { registry_.close_key(); }
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;

 private:
  RegistryReader& registry_;
};

}  // namespace

DiscoveryResult PortDiscovery(RegistryReader& registry) {
  DiscoveryResult found;
  try {
    KeyCloser closer(registry);

    // The serial devices present now, and among them the virtual COM ports.
    if (registry.open_key(kDeviceMapKey)) found.device_map = registry.value_names();
    for (const std::string& name : found.device_map)
      if (ascii_upper(name).find("VCP") != std::string::npos) found.vcp_ports.push_back(registry.read_string(name));

    if (found.vcp_ports.empty()) {
      found.ports.push_back("VCP none");
    } else {
      // The adapters of the logger's kind seen on this machine, and the
      // present virtual COM ports they name.
      if (registry.open_key(kAdapterKey)) found.adapters = registry.subkey_names();
      std::string port_name;  // kept from the previous matching adapter when a key does not open
      for (const std::string& adapter : found.adapters) {
        if (adapter.find(kLoggerAdapterId) == std::string::npos) continue;
        const std::string parameters = std::string(kAdapterKey) + "\\" + adapter + std::string(kParametersSubkey);
        if (registry.open_key(parameters)) port_name = std::string(trimmed(registry.read_string("PortName")));
        for (const std::string& present : found.vcp_ports)
          if (present == port_name) found.ports.push_back(port_name);
      }
      if (found.ports.empty()) found.ports.push_back("COM none");
    }
  } catch (const RegistryError&) {
    return found;
  }
  found.completed = true;
  return found;
}

uint32_t result_port_number(std::string_view entry) {
  if (entry.find("none") != std::string_view::npos) return 0;
  const std::size_t com = entry.find("COM");
  if (com == std::string_view::npos) return 0;
  const std::string_view digits = entry.substr(com + 3);
  uint32_t number = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  // Port numbers are 16 bits wide; anything else after "COM" names no port.
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || number > 0xFFFF) return 0;
  return number;
}

uint32_t DiscoveryResult::first_port() const { return ports.empty() ? 0 : result_port_number(ports.front()); }

int32_t com_search(PortSearcher& searcher) {
  const DiscoveryResult found = searcher.search_ports();
  return found.completed ? static_cast<int32_t>(found.first_port()) : 0;
}

bool com_search_timer(PortSearcher& searcher, int32_t mode) { return searcher.set_search_timer(mode == 1); }

}  // namespace vkt::link
