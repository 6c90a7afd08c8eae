// The monitor window's handlers: the test buttons and the port-watching tick.
//
// Every handler runs during a dispatch of window messages, often inside an
// export that is waiting for the logger, so none of them lets an exception
// out. A button whose work fails (a write to a closed port, a failed open
// from "COM resume") shows the error's message in a message box, as the
// window system does for a failing button; the tick stays silent, since a
// message box every second would block the host.
#include "windows/monitor_handlers.h"

#include <exception>
#include <memory>
#include <string>

#include "base/constants.h"
#include "protocol/clock_setting.h"

namespace vkt::windows {
namespace {

// Runs a button's work; a failure becomes a message box.
template <class F>
void report_failure(Notifier& notifier, F&& work) noexcept {
  try {
    work();
  } catch (const std::exception& e) {
    try {
      notifier.show_error(e.what());
    } catch (...) {
    }
  } catch (...) {
  }
}

// Shows the progress popup with the three lines for 3000 ms, then hides and
// releases it.
void announce(const MonitorServices& services, const std::string& line1, const std::string& line2) {
  TForm3& popup = services.popups.create_popup();
  popup.show();
  popup.set_line(popup.Label1, line1);
  popup.set_line(popup.Label2, line2);
  popup.set_line(popup.Label3, "");
  services.dispatcher.dispatch_messages();
  services.clock.sleep_ms(kDisplayMs);
  services.popups.release_popup(popup);
}

// The port number the first entry of the window's result list names.
uint32_t first_port_shown(const TForm2& form) {
  const auto& items = form.ListBox14.items();
  return items.empty() ? 0 : link::result_port_number(items.front());
}

// Timer1Timer: searches, beats the heartbeat, and announces the logger's
// port appearing or vanishing. A port number of 0 (a first entry such as
// "COMx") counts as no port.
void monitor_tick(const MonitorServices& services, TForm2& form) {
  PortWatch& watch = services.watch;
  // A search ended by an unreadable value ends the tick too.
  const link::DiscoveryResult found = form.search();
  if (!found.completed) return;

  watch.HeartbeatCount += 1;
  form.Label11.set_text(watch.HeartbeatCount % 2 == 0 ? "+" : "-");

  const uint32_t port = found.first_port();
  if (port != 0 && watch.WatchedPort == 0) {
    watch.WatchedPort = port;
    announce(services, "接続", "Port=" + std::to_string(port));
    // The announcement let window messages run; one of them may have
    // released this window.
    if (services.current_monitor() != &form) return;
  }

  // Read from the window again: a search that ran during the announcement
  // may have changed its findings.
  if (first_port_shown(form) == 0 && watch.WatchedPort != 0) {
    watch.WatchedPort = 0;
    announce(services, "切断", "");
  }
}

}  // namespace

void wire_monitor_handlers(const MonitorServices& services, TForm2& form) {
  // The handlers hold the window by reference: they belong to it and are
  // destroyed with it. CheckBox1's handler (the terminal switch) is the
  // window's own.
  const auto s = std::make_shared<const MonitorServices>(services);

  // "USBRS_Search"
  form.Button1.on_click = [s, &form] { report_failure(s->notifier, [&] { form.search(); }); };

  // "inputdata_block": the download reports through its popup only. It
  // works on copies: a message it lets run may release this window, and with
  // it this handler and what it holds.
  form.Button2.on_click = [s] {
    Notifier& notifier = s->notifier;
    const records::DownloadContext download = s->download;
    report_failure(notifier, [&] { (void)records::DownloadDriver(download); });
  };

  // "COM resume": closes an open port, opens a closed one with the settings
  // it has.
  form.Button3.on_click = [s, &form] {
    report_failure(s->notifier, [&] {
      link::SerialPort& port = form.ApdComPort1;
      port.set_open(!port.is_open());
    });
  };

  // "clock set": the clock command and "t" as one string; no flush before,
  // no reply awaited.
  form.Button4.on_click = [s, &form] {
    report_failure(s->notifier, [&] {
      form.ApdComPort1.WriteString("s" + protocol::clock_text(s->clock.local_now()) + "t");
    });
  };

  // "Button5": the command line as it stands, with no line end.
  form.Button5.on_click = [s, &form] {
    report_failure(s->notifier, [&] { form.ApdComPort1.WriteString(form.Edit1.text()); });
  };

  form.Timer1.on_timer = [s, &form] {
    try {
      monitor_tick(*s, form);
    } catch (...) {
    }
  };
}

}  // namespace vkt::windows
