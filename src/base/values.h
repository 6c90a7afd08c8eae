#pragma once
// The library-wide values: all clear or empty at load, shared by the
// exchanges, the download, the record decoder and the settings.
#include <array>
#include <cstdint>
#include <string>

namespace vkt {

struct LibraryValues {
  bool form_created = false;         // the monitor window exists
  bool settingform_created = false;  // the settings dialog exists
  bool settingform_active = false;   // the settings dialog is in use
  std::string reservetime;           // pending start-time reservation command
  std::string param_year;            // the logger's year, four characters
  std::string param_count;           // the logger's record count
  int32_t LastYearTag = 0;           // year tag of the previously decoded record
  uint32_t WatchedPort = 0;          // port last announced as connected
  uint32_t HeartbeatCount = 0;       // port-watching ticks so far
  std::array<std::string, 4> param_values;  // values of the last parameter line read back
  bool download_running = false;     // a download is under way (handlers must not start another)
};

}  // namespace vkt
