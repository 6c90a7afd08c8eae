#pragma once
// The settings dialog (`TForm4`, caption "VKT Setting").
#include "windows/window.h"

namespace vkt {
class Library;
}

namespace vkt::settings {

class TForm4 final : public windows::Window {
 public:
  explicit TForm4(Library& library);

  // The start-time fields: month, day, hour, minute.
  windows::ComboBox ComboBox_starttime_mm{"ComboBox_starttime_mm", ""};
  windows::ComboBox ComboBox_starttime_dd{"ComboBox_starttime_dd", ""};
  windows::ComboBox ComboBox_starttime_hh{"ComboBox_starttime_hh", ""};
  windows::ComboBox ComboBox_starttime_nn{"ComboBox_starttime_nn", ""};

 private:
  Library& library_;
};

}  // namespace vkt::settings
