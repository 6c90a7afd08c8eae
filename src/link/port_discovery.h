#pragma once
// Finding the logger's port: the serial device map and the USB-serial
// adapters seen, read through a registry-like reader (registry_reader.h).
//
// The search's findings are a value: four lists and whether it completed.
// The monitor window shows them (ListBox11 to ListBox14, and Label11
// "finished", or "Searching..." when a search ended early), com_search and
// the port-watching tick read its first result.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vktcom_ext.h"

namespace vkt::link {

class RegistryReader;

// The logger adapter's USB identifiers, and as they appear in an adapter's
// key name.
inline constexpr unsigned kLoggerVendorId = VKT_LOGGER_VENDOR_ID;
inline constexpr unsigned kLoggerProductId = VKT_LOGGER_PRODUCT_ID;
inline constexpr std::string_view kLoggerAdapterId = "VID_1F2E+PID_3D4C";

struct DiscoveryResult {
  std::vector<std::string> device_map;  // every value name of the serial device map
  std::vector<std::string> vcp_ports;   // the port names of those whose name contains "VCP" (any case)
  std::vector<std::string> adapters;    // every adapter subkey of the FTDIBUS enumeration
  std::vector<std::string> ports;       // the logger's port(s), or exactly one of "VCP none", "COM none"
  // False when a value that is not text ended the search early; the lists
  // then hold what was found up to there.
  bool completed = false;

  // The port number the first entry of `ports` names; 0 when there is none.
  uint32_t first_port() const;
};

// The search through a reader.
DiscoveryResult PortDiscovery(RegistryReader& registry);

// The port number a result entry names: every digit after "COM" ("COM5"
// gives 5, "COM123" gives 123). 0 when the entry contains "none", holds no
// "COM", or what follows "COM" is not a decimal number.
uint32_t result_port_number(std::string_view entry);

// Who runs a search for com_search: it creates the monitor window if
// needed, searches the machine's devices and shows the findings there; and
// it switches the port-watching timer.
class PortSearcher {
 public:
  virtual ~PortSearcher() = default;
  virtual DiscoveryResult search_ports() = 0;
  // Switches the timer on or off; returns its state afterwards.
  virtual bool set_search_timer(bool on) = 0;
};

// Searches and returns the number of the logger's port, 0 when none was
// found or the search failed.
int32_t com_search(PortSearcher& searcher);
// 1 switches the port-watching timer on, any other value off. Returns the
// timer's state.
bool com_search_timer(PortSearcher& searcher, int32_t mode);

}  // namespace vkt::link
