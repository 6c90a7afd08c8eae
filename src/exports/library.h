#pragma once
// The library-wide state and the windows the library owns. The exported
// functions reach one process-wide instance; tests make their own.
#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "windows/backend.h"
#include "windows/message_queue.h"
#include "windows/services.h"

namespace vkt::windows {
class TForm2;
class TForm3;
}  // namespace vkt::windows
namespace vkt::settings {
class TForm4;
}

namespace vkt {

struct LibraryServices {
  std::shared_ptr<windows::Clock> clock;
  std::shared_ptr<windows::Notifier> notifier;
  std::shared_ptr<windows::WindowBackend> backend;
  // The machine's clock, message boxes on standard error, the headless backend.
  static LibraryServices defaults();
};

class Library {
 public:
  explicit Library(LibraryServices services = LibraryServices::defaults());
  // Destroys every window still owned (closing the port) and releases the texts.
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // ---- library-wide state, all clear or empty at load ----
  bool form_created = false;         // the monitor window exists
  bool settingform_created = false;  // the settings dialog exists
  bool settingform_active = false;   // the settings dialog is in use
  std::string reservetime;           // pending start-time reservation command
  std::string param_year;            // the logger's year, four characters
  std::string param_count;           // the logger's record count
  int32_t LastYearTag = 0;           // year tag of the previously decoded record
  uint32_t WatchedPort = 0;          // port last announced as connected
  uint32_t HeartbeatCount = 0;       // port-watching ticks so far
  std::array<std::string, 4> param_values;  // values of the last parameter line read back
  bool download_running = false;     // a download is under way (handlers must not start another)

  windows::Clock& clock() { return *services_.clock; }
  windows::Notifier& notifier() { return *services_.notifier; }
  windows::WindowBackend& backend() { return *services_.backend; }
  windows::MessageQueue& queue() { return queue_; }

  // Every export begins here: windows whose release is pending are
  // destroyed now, so that a released monitor window never keeps the
  // logger's port busy on a host without a message loop.
  void enter_export();
  // Dispatches pending window messages once.
  void dispatch_messages();

  // ---- monitor window ----
  windows::TForm2* monitor() { return form2_.get(); }  // nullptr: absent or released
  windows::TForm2& ensure_monitor();                   // creates it hidden when absent
  void form_open();
  void form_close();
  void form_release();

  // ---- settings dialog ----
  settings::TForm4* settings_dialog() { return form4_.get(); }  // nullptr: absent or released
  settings::TForm4& ensure_settings_dialog();                   // creates it hidden when absent
  void release_settings_dialog();

  // ---- progress popup: a new one per use, one library-wide reference ----
  windows::TForm3& create_popup();
  // Hides the popup and releases it (destroyed at the next dispatch).
  void release_popup(windows::TForm3& popup);
  windows::TForm3* popup() { return popup_; }

 private:
  LibraryServices services_;
  windows::MessageQueue queue_;
  std::unique_ptr<windows::TForm2> form2_;
  std::unique_ptr<settings::TForm4> form4_;
  std::list<std::unique_ptr<windows::TForm3>> popups_;
  windows::TForm3* popup_ = nullptr;
  int terminal_hook_ = 0;
};

}  // namespace vkt
