#include "windows/progress_popup.h"

namespace vkt::windows {

// No border and no title bar, on top of other windows, centred; a raised
// panel with a 2-pixel bevel fills the client area.
TForm3::TForm3(ui::WindowBackend& backend)
    : Window(backend, "TForm3", "VKT",
             {.client_width = kClientWidth,
              .client_height = kClientHeight,
              .border = ui::WindowLayout::Border::None,
              .title_buttons = false,
              .top_most = true,
              .centred = true,
              .panel_bevel = 2}) {
  // Three lines across the whole width, each text centred: 49, 22 and 28
  // pixels high, top to bottom.
  Label1.place = {0, 0, kClientWidth, 49};
  Label2.place = {0, 49, kClientWidth, 22};
  Label3.place = {0, kClientHeight - 28, kClientWidth, 28};
  add(Label1);
  add(Label2);
  add(Label3);
}

void TForm3::set_line(ui::Label& line, std::string text) {
  if (trace && trace->on()) trace->event("popup " + line.name() + ": \"" + text + "\"");
  // The label reports the change to the backend, which draws (or records) it.
  line.set_text(std::move(text));
}

void TForm3::set_progress_line(int line, std::string text) {
  set_line(line == 1 ? Label1 : line == 2 ? Label2 : Label3, std::move(text));
}

}  // namespace vkt::windows
