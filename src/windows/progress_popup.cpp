#include "windows/progress_popup.h"

namespace vkt::windows {

TForm3::TForm3(WindowBackend& backend) : Window(backend, "TForm3", "VKT") {
  add(Label1);
  add(Label2);
  add(Label3);
}

void TForm3::set_line(Label& line, std::string text) {
  // The label reports the change to the backend, which draws (or records) it.
  line.set_text(std::move(text));
}

void TForm3::set_progress_line(int line, std::string text) {
  set_line(line == 1 ? Label1 : line == 2 ? Label2 : Label3, std::move(text));
}

}  // namespace vkt::windows
