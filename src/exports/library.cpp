#include "exports/library.h"

#include "link/port_error.h"
#if !defined(_WIN32)
#include "link/port_survey.h"
#endif
#include "protocol/clock_setting.h"
#include "protocol/connect.h"
#include "protocol/exchange.h"
#include "records/record_decoder.h"
#include "settings/reservation_check.h"
#include "ui/window_backend.h"


namespace vkt {

namespace {
// How often the host's message loop dispatches the library's messages.
constexpr uint32_t kHostLoopTickMs = 100;

// Shows each message box through the notifier it wraps, keeps its text
// (vkt_last_message) and records it in the trace.
class RememberingNotifier final : public Notifier {
 public:
  RememberingNotifier(std::shared_ptr<Notifier> shown, std::shared_ptr<std::string> last, Trace& trace)
      : shown_(std::move(shown)), last_(std::move(last)), trace_(trace) {}
  void show_error(std::string_view text) override {
    *last_ = std::string(text);
    trace_.event("message box: \"" + *last_ + "\"");
    shown_->show_error(text);
    trace_.event("message box answered");
  }

 private:
  std::shared_ptr<Notifier> shown_;
  std::shared_ptr<std::string> last_;
  Trace& trace_;
};
}  // namespace

LibraryServices LibraryServices::defaults() {
  return {make_system_clock(), make_default_notifier(), ui::make_platform_window_backend(), {}, {},
          platform::environment_text("VKTCOM_TRACE")};
}

Library::Library(LibraryServices services) : services_(std::move(services)), queue_(services_.clock) {
  if (!services_.notifier) services_.notifier = vkt::make_default_notifier();
  services_.notifier = std::make_shared<RememberingNotifier>(services_.notifier, last_message_, trace_);
  if (!services_.backend) services_.backend = std::make_shared<ui::HeadlessBackend>();
  if (!services_.trace_path.empty()) start_trace(services_.trace_path);
  // The thread's own window messages come first (the host's windows are
  // served while the library waits), then the window system's.
  queue_.set_pump([this, backend = services_.backend] {
    // A tick of the host's own loop: the host serves its messages itself
    // (a wait inside that tick, one level down, serves them again).
    if (!(in_host_loop_tick_ && dispatch_depth_ == 1)) platform::pump_thread_messages();
    backend->pump();
  });
  // While its switch is on, the terminal view takes the received bytes at
  // every dispatch.
  terminal_hook_ = queue_.add_idle_hook([this] {
    if (auto* m = monitor(); m && m->terminal.active() && m->terminal.pump(m->ApdComPort1) > 0) m->show_terminal();
  });
  host_loop_timer_ = platform::start_host_loop_timer(kHostLoopTickMs, [this] {
    if (dispatch_depth_ != 0) return;
    in_host_loop_tick_ = true;
    try {
      dispatch_messages();
    } catch (...) {
      in_host_loop_tick_ = false;
      throw;
    }
    in_host_loop_tick_ = false;
  });
}

Library::~Library() {
  host_loop_timer_.reset();
  queue_.remove_idle_hook(terminal_hook_);
  queue_.release_pending();
  popup_ = nullptr;
  popups_.clear();
  form4_.reset();
  form2_.reset();  // closes the port
  queue_.release_pending();
}

std::optional<std::string> Library::command_reply(const std::string& command) {
  windows::TForm2* form = monitor();
  if (!form) return std::nullopt;
  form->Edit1.set_text(command);
  try {
    return protocol::exchange(channel(), command);
  } catch (const link::PortError&) {
    return std::nullopt;  // a closed port: nothing was sent
  }
}

bool Library::start_trace(const std::string& path) {
  if (!trace_.start(path)) {
    platform::report_trace_failure(path);
    return false;
  }
  trace_.event("trace of vktcom begins");
  return true;
}

void Library::enter_export() { queue_.release_pending(); }

void Library::dispatch_messages() {
  // Counted so that the host-loop timer's tick, which the thread's pump may
  // meet inside a dispatch, does not start one of its own there.
  ++dispatch_depth_;
  try {
    queue_.dispatch_once();
  } catch (...) {
    --dispatch_depth_;
    throw;
  }
  --dispatch_depth_;
}

void Library::dispatch_while_closing() {
  // A handler may release the monitor window whose port is closing; the
  // window stays until the close is done and goes at the next dispatch.
  ui::MessageQueue::ReleaseHold hold(queue_);
  dispatch_messages();
}

windows::TForm2& Library::ensure_monitor() {
  if (!form_created || !form2_) {
    form2_ = std::make_unique<windows::TForm2>(backend(), queue_, services_.serial_backends, services_.registry);
    form2_->ApdComPort1.set_trace(&trace_);
    // A close (com_close, "COM resume") lets pending messages run while it
    // waits for the port's threads.
    form2_->ApdComPort1.set_close_wait_hook([this] { dispatch_while_closing(); });
    windows::wire_monitor_handlers(monitor_services(), *form2_);
    form_created = true;
  }
  return *form2_;
}

windows::MonitorServices Library::monitor_services() {
  return {clock(), notifier(), *this, watch, download_context(), *this, [this] { return monitor(); }};
}

records::DownloadContext Library::download_context() {
  return {[this] { return record_parts(); }, clock(), *this, *this, logger, LastYearTag, download_state};
}

settings::SettingsContext Library::settings_context() {
  return {channel(), [this] { return form2_ ? &form2_->settings_lines : nullptr; }, logger, settings_state};
}

bool Library::connect() {
  return protocol::vkt_connect(channel(), logger, [this]() -> protocol::ReplyView* { return monitor(); });
}

bool Library::set_clock() { return protocol::vkt_clkset(channel(), notifier(), settings_state.reservetime); }

bool Library::check_start_time() {
  return settings::vkt_startsetcheck(settings_dialog(), settings_state, clock(), notifier());
}

void Library::decode_rows(int32_t first_row, int32_t last_row) {
  if (ui::TextGrid* table = record_table())
    records::decode_record_rows(*table, logger.param_year, LastYearTag, first_row, last_row);
}

link::DiscoveryResult Library::search_ports() { return ensure_monitor().search(); }

bool Library::set_search_timer(bool on) {
  windows::TForm2& form = ensure_monitor();
  form.Timer1.set_timer_enabled(on);
  return form.Timer1.timer_enabled();
}

void Library::form_open() { ensure_monitor().show(); }

void Library::form_close() {
  if (form_created && form2_) form2_->hide();
}

void Library::form_release() {
  if (!form_created) return;
  form_created = false;
  if (!form2_) return;
  // The last download's text shares the released table's reply: let go of it too.
  download_state.last_download.forget_text();
  // The window is unreachable from now on and destroyed at the next dispatch.
  std::shared_ptr<windows::TForm2> released(std::move(form2_));
  queue_.defer_release([released]() mutable { released.reset(); });
}

settings::TForm4& Library::ensure_settings_dialog() {
  if (!settingform_created || !form4_) {
    form4_ = std::make_unique<settings::TForm4>(dialog_services());
    settingform_created = true;
  }
  return *form4_;
}

settings::DialogServices Library::dialog_services() {
  return {backend(), settings_context(), *this, clock(), notifier(), [this] { return settings_dialog(); },
          [this] { ensure_monitor(); }};
}

void Library::release_settings_dialog() {
  if (!settingform_created) return;
  settingform_created = false;
  if (!form4_) return;
  std::shared_ptr<settings::TForm4> released(std::move(form4_));
  queue_.defer_release([released]() mutable { released.reset(); });
}

windows::TForm3& Library::create_popup() {
  popups_.push_back(std::make_unique<windows::TForm3>(backend()));
  popup_ = popups_.back().get();
  popup_->trace = &trace_;
  return *popup_;
}

void Library::release_popup(windows::TForm3& popup) {
  popup.hide();
  if (popup_ == &popup) popup_ = nullptr;
  for (auto it = popups_.begin(); it != popups_.end(); ++it) {
    if (it->get() != &popup) continue;
    std::shared_ptr<windows::TForm3> released(std::move(*it));
    popups_.erase(it);
    queue_.defer_release([released]() mutable { released.reset(); });
    return;
  }
}

records::ProgressPopup& Library::open_progress() {
  windows::TForm3& popup = create_popup();
  popup.show();
  return popup;
}

void Library::close_progress(records::ProgressPopup& popup) { release_popup(static_cast<windows::TForm3&>(popup)); }

#if !defined(_WIN32)
int32_t Library::open_path(const std::string& path) {
  const int table_port = path.empty() ? 0 : link::port_for_device_path(path);
  const uint16_t port = table_port > 0 ? static_cast<uint16_t>(table_port) : kPathPort;
  return link::com_open_path(*this, path, port, &last_open_failure_);
}
#endif

}  // namespace vkt
