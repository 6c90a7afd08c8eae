#pragma once
// The monitor window (`TForm2`): the library's working window. It owns the
// serial port, the record table, the parameter list, the reply view, the
// port-search lists, the terminal view and the port-watching timer. It is
// created hidden; showing it makes it a diagnostic console.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "link/port_discovery.h"
#include "link/registry_reader.h"
#include "link/serial_backend.h"
#include "link/serial_port.h"
#include "link/terminal_view.h"
#include "protocol/channel.h"
#include "records/record_parts.h"
#include "settings/settings_dialog.h"
#include "ui/controls.h"
#include "ui/message_queue.h"
#include "ui/window.h"

namespace vkt::windows {

using SerialBackendFactory = std::function<std::unique_ptr<link::SerialBackend>()>;
using RegistryFactory = std::function<std::unique_ptr<link::RegistryReader>()>;

class TForm2 final : public ui::Window, public protocol::ReplyView {
 public:
  static constexpr int kClientWidth = 848;
  static constexpr int kClientHeight = 626;
  // The terminal view: right of the reply view, 336 pixels wide, 13 rows.
  static constexpr ui::Place kTerminalPlace{512, 225, 336, 240};

  // The port is made with a backend from `serial_backends`; each search
  // reads the machine's devices through a reader from `registry`.
  TForm2(ui::WindowBackend& backend, ui::MessageQueue& queue, const SerialBackendFactory& serial_backends,
         RegistryFactory registry);
  ~TForm2() override;

  link::SerialPort ApdComPort1;
  ui::TextGrid StringGrid1;                // the record table
  ui::ListBox ListBox1{"ListBox1"};        // lines of the last parameter reply
  ui::Memo Memo1{"Memo1", "Memo1"};        // last reply, or the record count
  ui::Edit Edit1{"Edit1", "Edit1"};        // the command line
  ui::Label Label1{"Label1", ""};          // bytes waiting, written by the download
  ui::CheckBox CheckBox1{"CheckBox1", "Terminal Active"};
  link::TerminalView terminal;
  ui::Button Button5{"Button5", "Button5"};
  ui::ListBox ListBox11{"ListBox11"};  // port search: serial device map entries
  ui::ListBox ListBox12{"ListBox12"};  // port search: virtual COM port names
  ui::ListBox ListBox13{"ListBox13"};  // port search: adapters seen
  ui::ListBox ListBox14{"ListBox14"};  // port search: the result
  ui::Button Button1{"Button1", "USBRS_Search"};
  ui::Button Button2{"Button2", "inputdata_block"};
  ui::Button Button4{"Button4", "clock set"};
  ui::Button Button3{"Button3", "COM resume"};
  ui::Label Label11{"Label11", "Label11"};  // search status and heartbeat
  ui::Label Label2{"Label2", "InBuffUsed"};
  ui::Timer Timer1;
  // The terminal view on screen: the lines the view keeps (a plain,
  // bounded, read-only view of the received bytes as text).
  ui::Memo Terminal1{"Terminal1", ""};

  // Searches the machine's devices and shows the findings: the four lists,
  // and "finished" in Label11 (it stays "Searching..." when the search ended
  // early, the lists holding what was found up to there).
  link::DiscoveryResult search();
  void show_discovery(const link::DiscoveryResult& found);
  // Shows the terminal view's lines in Terminal1.
  void show_terminal();

  // The connect's reply: the text in Memo1, the parameter lines in ListBox1.
  void clear_reply() override;
  void show_reply(const std::string& text, const std::vector<std::string>& lines) override;

  // What the download and the record accessors work with, and what the
  // settings work with, each made of the controls above.
  records::RecordParts record_parts{ApdComPort1, StringGrid1, Memo1, Label1, CheckBox1, terminal};
  settings::MonitorLines settings_lines{*this, ListBox1, Edit1};
  // What the search shows, one entry per line, each ended by LF: list
  // ListBox11 .. ListBox14 by its number 11 .. 14, or 15 for the status
  // text of Label11; nothing for another number.
  std::optional<std::string> search_list_text(int number) const;

 private:
  // Gives every control its place, before the controls are announced.
  void place_controls();
  RegistryFactory registry_;
};

}  // namespace vkt::windows
