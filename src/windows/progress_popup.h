#pragma once
// The progress popup (`TForm3`): three centred lines of text shown while the
// library blocks the caller (a download, a port announcement). A new popup
// is made for each use; it takes no input and never closes by itself.
#include <string>

#include "windows/window.h"

namespace vkt::windows {

class TForm3 final : public Window {
 public:
  explicit TForm3(WindowBackend& backend);

  Label Label1{"Label1", ""};  // status message
  Label Label2{"Label2", ""};  // a running number or the port
  Label Label3{"Label3", ""};  // total, or empty

  // Sets a line's text and tells the backend, so that it is drawn (or recorded).
  void set_line(Label& line, std::string text);
};

}  // namespace vkt::windows
