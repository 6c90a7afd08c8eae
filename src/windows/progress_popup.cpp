#include "windows/progress_popup.h"

namespace vkt::windows {

TForm3::TForm3(WindowBackend& backend) : Window(backend, "TForm3", "VKT") {
  add(Label1);
  add(Label2);
  add(Label3);
}

void TForm3::set_line(Label& line, std::string text) {
  line.set_text(text);
  backend().control_text(*this, line.name(), line.text());
}

}  // namespace vkt::windows
