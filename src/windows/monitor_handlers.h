#pragma once
// The monitor window's handlers: its test buttons and the port-watching tick.
#include <cstdint>
#include <functional>

#include "base/dispatcher.h"
#include "base/services.h"
#include "records/download.h"
#include "windows/monitor_window.h"
#include "windows/progress_popup.h"

namespace vkt::windows {

// The library's progress popups: a new one per use, hidden, and the one the
// library refers to from then on; released (destroyed at the next
// dispatch) when the use ends.
class PopupMaker {
 public:
  virtual ~PopupMaker() = default;
  virtual TForm3& create_popup() = 0;
  // Hides the popup and releases it.
  virtual void release_popup(TForm3& popup) = 0;
};

// The port-watching tick's own state, kept by the library: clear at load.
struct PortWatch {
  uint32_t WatchedPort = 0;     // port last announced as connected
  uint32_t HeartbeatCount = 0;  // port-watching ticks so far
};

// What the handlers work with, each part by itself. The library hands them
// over when it creates the window; every one of them outlives the window.
struct MonitorServices {
  Clock& clock;                     // the announcements' display time, the clock button's local time
  Notifier& notifier;               // a failing button's message box
  Dispatcher& dispatcher;           // lets window messages run while an announcement shows
  PortWatch& watch;                 // the port-watching tick's state
  records::DownloadContext download;  // the download of "inputdata_block"
  PopupMaker& popups;               // the "接続" and "切断" announcements
  // The library's monitor window now: nullptr, or another one, once the
  // window was released by a message that ran during an announcement.
  std::function<const TForm2*()> current_monitor;
};

// Connects the buttons, the terminal switch and the timer of a newly created
// monitor window to the library's operations.
void wire_monitor_handlers(const MonitorServices& services, TForm2& form);

}  // namespace vkt::windows
