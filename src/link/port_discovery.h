#pragma once
// Finding the logger's port: the serial device map and the USB-serial
// adapters seen, read through a registry-like backend.
#include <cstdint>

namespace vkt {
class Library;
}

namespace vkt::link {

// Creates the monitor window if needed, searches, and returns the number of
// the logger's port, 0 when none was found or the search failed.
int32_t com_search(Library& library);
// Creates the monitor window if needed; 1 switches the port-watching timer
// on, any other value off. Returns the timer's state.
bool com_search_timer(Library& library, int32_t mode);

}  // namespace vkt::link
