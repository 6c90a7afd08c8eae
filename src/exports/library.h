#pragma once
// The composition root: the library-wide state, the services taken from
// the surroundings, and the windows the library owns. It hands every
// operation of the layers below exactly what it works with (the channel of
// the exchanges, the download's context, the settings' context, the record
// table) and each window the parts it works with (DialogServices for the
// settings dialog, MonitorServices for the monitor window's handlers). Each
// piece of state belongs to the layer that defines it and is kept here. The
// exported functions reach one process-wide instance; tests make their own.
#include <list>
#include <memory>
#include <optional>
#include <string>

#include "base/platform.h"
#include "base/services.h"
#include "base/trace.h"
#include "link/port_control.h"
#include "protocol/channel.h"
#include "records/download.h"
#include "settings/settings_dialog.h"
#include "ui/backend.h"
#include "ui/message_queue.h"
#include "windows/monitor_handlers.h"
#include "windows/monitor_window.h"
#include "windows/progress_popup.h"

namespace vkt {

// The platform seams, each replaceable by a host or a test.
struct LibraryServices {
  std::shared_ptr<Clock> clock;
  std::shared_ptr<Notifier> notifier;
  std::shared_ptr<ui::WindowBackend> backend;
  // Makes the serial port's device access; empty: the platform's own.
  windows::SerialBackendFactory serial_backends{};
  // Makes the reader each port search reads the machine's devices through;
  // empty: the platform's own.
  windows::RegistryFactory registry{};
  // Where the library's trace is written from the start; empty: no trace.
  // The defaults take it from the environment variable VKTCOM_TRACE.
  std::string trace_path{};
  // The machine's clock, the platform's message boxes and window system
  // (Win32 windows on Windows, the headless backend elsewhere), the
  // platform's serial devices and registry.
  static LibraryServices defaults();
};

class Library final : public link::PortOwner,
                      public link::PortSearcher,
                      public Dispatcher,
                      public records::ProgressPopups,
                      public windows::PopupMaker,
                      public settings::DialogHolder {
 public:
  explicit Library(LibraryServices services = LibraryServices::defaults());
  // Destroys every window still owned (closing the port) and releases the texts.
  ~Library() override;
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // ---- the library-wide state, all clear or empty at load ----
  bool form_created = false;         // the monitor window exists
  bool settingform_created = false;  // the settings dialog exists
  protocol::LoggerValues logger;     // param_year, param_count
  int32_t LastYearTag = 0;           // year tag of the previously decoded record
  records::DownloadState download_state;  // the last download's report; a download under way
  settings::SettingsState settings_state;  // settingform_active, reservetime, param_values
  windows::PortWatch watch;          // WatchedPort, HeartbeatCount

  Clock& clock() { return *services_.clock; }
  Notifier& notifier() { return *services_.notifier; }
  ui::WindowBackend& backend() { return *services_.backend; }
  ui::MessageQueue& queue() { return queue_; }
  // The trace for bug reports (off unless started).
  Trace& trace() { return trace_; }
  // Starts the trace in `path` (made anew); false when it cannot be written.
  bool start_trace(const std::string& path);

  // Every export begins here: windows whose release is pending are
  // destroyed now, so that a released monitor window never keeps the
  // logger's port busy on a host without a message loop.
  void enter_export();
  // Dispatches pending window messages once.
  void dispatch_messages() override;
  // The monitor window's port runs this while its close waits for the
  // port's threads: one dispatch, with releases held until the close has
  // finished.
  void dispatch_while_closing();

  // ---- what the operations of the layers below are handed ----
  protocol::Channel channel() { return {*this, clock(), *this}; }
  records::DownloadContext download_context();
  records::RecordParts* record_parts() { return form2_ ? &form2_->record_parts : nullptr; }
  ui::TextGrid* record_table() { return form2_ ? &form2_->StringGrid1 : nullptr; }
  settings::SettingsContext settings_context();

  // ---- the operations that take more than one of them ----
  bool connect();            // vkt_connect
  bool set_clock();          // vkt_clkset
  bool check_start_time();   // vkt_startsetcheck
  void decode_rows(int32_t first_row, int32_t last_row);  // the record decoder on the monitor window's table

  // ---- monitor window ----
  windows::TForm2* monitor() { return form2_.get(); }  // nullptr: absent or released
  link::SerialPort* port() override { return form2_ ? &form2_->ApdComPort1 : nullptr; }
  // What the monitor window's handlers work with.
  windows::MonitorServices monitor_services();
  windows::TForm2& ensure_monitor();                            // creates it hidden when absent
  void form_open();
  void form_close();
  void form_release();

  // ---- port (com_open) and the cause of its last failure ----
  int32_t open_port(int32_t port) { return link::com_open(*this, port, &last_open_failure_); }
#if !defined(_WIN32)
  // Opens the port on a device path (vkt_open_path): numbered as the port
  // table numbers that device, else kPathPort.
  static constexpr uint16_t kPathPort = 65535;
  int32_t open_path(const std::string& path);
#endif
  const link::OpenFailure& last_open_failure() const { return last_open_failure_; }

  // ---- the text of the last message box shown (Linux extension) ----
  const std::string& last_message() const { return *last_message_; }

  // ---- one command and its reply (Linux extension) ----
  // Sends the command as vkt_set_command does; the reply text (empty: none
  // within the reply time-out), or nothing when nothing could be sent (no
  // monitor window, the port not open).
  std::optional<std::string> command_reply(const std::string& command);

  // ---- port search (com_search, com_search_timer) ----
  link::DiscoveryResult search_ports() override;
  bool set_search_timer(bool on) override;

  // ---- settings dialog ----
  settings::TForm4* settings_dialog() override { return form4_.get(); }
  settings::TForm4& ensure_settings_dialog() override;
  void release_settings_dialog() override;
  // What a settings dialog of this library works with.
  settings::DialogServices dialog_services();

  // ---- progress popup: a new one per use, one library-wide reference ----
  windows::TForm3& create_popup() override;
  void release_popup(windows::TForm3& popup) override;
  windows::TForm3* popup() { return popup_; }
  records::ProgressPopup& open_progress() override;
  void close_progress(records::ProgressPopup& popup) override;

 private:
  std::shared_ptr<std::string> last_message_ = std::make_shared<std::string>();
  LibraryServices services_;
  // Before the windows: closing the port at their destruction is traced.
  Trace trace_;
  ui::MessageQueue queue_;
  std::unique_ptr<windows::TForm2> form2_;
  std::unique_ptr<settings::TForm4> form4_;
  std::list<std::unique_ptr<windows::TForm3>> popups_;
  windows::TForm3* popup_ = nullptr;
  int terminal_hook_ = 0;
  link::OpenFailure last_open_failure_;
  int dispatch_depth_ = 0;
  bool in_host_loop_tick_ = false;
  // Where the host's message loop drives the library (Win32), its ticks
  // dispatch the library's messages: the port-watching timer, releases.
  std::unique_ptr<platform::HostLoopTimer> host_loop_timer_;
};

}  // namespace vkt
