#include "windows/monitor_handlers.h"

#include "exports/library.h"
#include "windows/monitor_window.h"

namespace vkt::windows {

void wire_monitor_handlers(Library& library, TForm2& form) {
  (void)library;
  (void)form;
}

}  // namespace vkt::windows
