#pragma once
// The progress popup (`TForm3`): three centred lines of text shown while the
// library blocks the caller (a download, a port announcement). A new popup
// is made for each use; it takes no input and never closes by itself.
#include <string>

#include "base/trace.h"
#include "records/download.h"
#include "ui/window.h"

namespace vkt::windows {

class TForm3 final : public ui::Window, public records::ProgressPopup {
 public:
  static constexpr int kClientWidth = 319;
  static constexpr int kClientHeight = 99;

  explicit TForm3(ui::WindowBackend& backend);

  ui::Label Label1{"Label1", ""};  // status message
  ui::Label Label2{"Label2", ""};  // a running number or the port
  ui::Label Label3{"Label3", ""};  // total, or empty

  // Sets a line's text and tells the backend, so that it is drawn (or
  // recorded); the text goes into the trace, when there is one.
  void set_line(ui::Label& line, std::string text);
  Trace* trace = nullptr;
  // The download's progress: line 1, 2 or 3.
  void set_progress_line(int line, std::string text) override;
};

}  // namespace vkt::windows
