#include "link/port_discovery.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "exports/library.h"
#include "link/registry_reader.h"
#include "link/trim.h"
#include "windows/monitor_window.h"

namespace vkt::link {
namespace {


std::string ascii_upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

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

bool PortDiscovery(windows::TForm2& form) {
  const auto registry = make_system_registry_reader();
  return PortDiscovery(form, *registry);
}

bool PortDiscovery(windows::TForm2& form, RegistryReader& registry) {
  form.ListBox11.clear();
  form.ListBox12.clear();
  form.ListBox13.clear();
  form.ListBox14.clear();
  form.Label11.set_text("Searching...");

  try {
    KeyCloser closer(registry);

    // The serial devices present now, and among them the virtual COM ports.
    if (registry.open_key(kDeviceMapKey))
      for (std::string& name : registry.value_names()) form.ListBox11.add(std::move(name));
    for (const std::string& name : form.ListBox11.items())
      if (ascii_upper(name).find("VCP") != std::string::npos) form.ListBox12.add(registry.read_string(name));

    if (form.ListBox12.count() == 0) {
      form.ListBox14.add("VCP none");
    } else {
      // The adapters of the logger's kind seen on this machine, and the
      // present virtual COM ports they name.
      if (registry.open_key(kAdapterKey))
        for (std::string& name : registry.subkey_names()) form.ListBox13.add(std::move(name));
      std::string port_name;  // kept from the previous matching adapter when a key does not open
      for (const std::string& adapter : form.ListBox13.items()) {
        if (adapter.find(kLoggerAdapterId) == std::string::npos) continue;
        const std::string parameters = std::string(kAdapterKey) + "\\" + adapter + std::string(kParametersSubkey);
        if (registry.open_key(parameters)) port_name = std::string(trimmed(registry.read_string("PortName")));
        for (const std::string& present : form.ListBox12.items())
          if (present == port_name) form.ListBox14.add(port_name);
      }
      if (form.ListBox14.count() == 0) form.ListBox14.add("COM none");
    }
  } catch (const RegistryError&) {
    return false;
  }

  form.Label11.set_text("finished");
  return true;
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

uint32_t first_result_port(const windows::TForm2& form) {
  const auto& items = form.ListBox14.items();
  return items.empty() ? 0 : result_port_number(items.front());
}

int32_t com_search(Library& library) {
  windows::TForm2& form = library.ensure_monitor();
  if (!PortDiscovery(form)) return 0;
  return static_cast<int32_t>(first_result_port(form));
}

bool com_search_timer(Library& library, int32_t mode) {
  auto& form = library.ensure_monitor();
  form.Timer1.set_timer_enabled(mode == 1);
  return form.Timer1.timer_enabled();
}

}  // namespace vkt::link
