#pragma once
// Finding the logger's port: the serial device map and the USB-serial
// adapters seen, read through a registry-like reader (registry_reader.h).
//
// The search leaves its findings in the monitor window:
//   ListBox11  every value name of the serial device map
//   ListBox12  the port names of those whose name contains "VCP" (any case)
//   ListBox13  every adapter subkey of the FTDIBUS enumeration
//   ListBox14  the logger's port(s), or exactly one of "VCP none", "COM none"
//   Label11    "Searching..." while it runs, "finished" when it completed
#include <cstdint>
#include <string_view>

namespace vkt {
class Library;
}
namespace vkt::windows {
class TForm2;
}

namespace vkt::link {

class RegistryReader;

// The logger adapter's USB identifiers as they appear in an adapter's key name.
inline constexpr std::string_view kLoggerAdapterId = "VID_1F2E+PID_3D4C";

// Runs the search on the machine's own devices. Returns true when it
// completed; false when a value that is not text ended it early (the status
// then stays "Searching..." and the lists keep what they held).
bool PortDiscovery(windows::TForm2& form);
// The same search through a given reader.
bool PortDiscovery(windows::TForm2& form, RegistryReader& registry);

// The port number a result entry names: every digit after "COM" ("COM5"
// gives 5, "COM123" gives 123). 0 when the entry contains "none", holds no
// "COM", or what follows "COM" is not a decimal number.
uint32_t result_port_number(std::string_view entry);
// The port number the first entry of ListBox14 names; 0 when the list is empty.
uint32_t first_result_port(const windows::TForm2& form);

// Creates the monitor window if needed, searches, and returns the number of
// the logger's port, 0 when none was found or the search failed.
int32_t com_search(Library& library);
// Creates the monitor window if needed; 1 switches the port-watching timer
// on, any other value off. Returns the timer's state.
bool com_search_timer(Library& library, int32_t mode);

}  // namespace vkt::link
