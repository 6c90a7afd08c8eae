#include "link/port_discovery.h"

#include "exports/library.h"
#include "windows/monitor_window.h"

namespace vkt::link {

int32_t com_search(Library& library) {
  library.ensure_monitor();
  return 0;
}

bool com_search_timer(Library& library, int32_t mode) {
  auto& form = library.ensure_monitor();
  form.Timer1.set_timer_enabled(mode == 1);
  return form.Timer1.timer_enabled();
}

}  // namespace vkt::link
