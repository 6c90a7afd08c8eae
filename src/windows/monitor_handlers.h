#pragma once
// The monitor window's handlers: its test buttons and the port-watching tick.
#include "link/port_discovery.h"
#include "records/download.h"
#include "windows/monitor_window.h"
#include "windows/progress_popup.h"

namespace vkt::windows {

// What the handlers work with: the download's host (the session and the
// progress popup), the port search, and the monitor window and popups of
// the library.
class MonitorHost : public virtual records::DownloadHost, public virtual link::PortSearcher {
 public:
  TForm2* monitor() override = 0;  // nullptr: absent or released
  // A new popup, hidden; the one the library refers to from now on.
  virtual TForm3& create_popup() = 0;
  // Hides the popup and releases it (destroyed at the next dispatch).
  virtual void release_popup(TForm3& popup) = 0;
};

// Connects the buttons, the terminal switch and the timer of a newly created
// monitor window to the library's operations.
void wire_monitor_handlers(MonitorHost& library, TForm2& form);

}  // namespace vkt::windows
