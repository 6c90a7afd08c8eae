#pragma once
// The monitor window (`TForm2`): the library's working window. It owns the
// serial port, the record table, the parameter list, the reply view, the
// port-search lists, the terminal view and the port-watching timer. It is
// created hidden; showing it makes it a diagnostic console.
#include "link/serial_port.h"
#include "windows/controls.h"
#include "windows/message_queue.h"
#include "windows/terminal_view.h"
#include "windows/window.h"

namespace vkt::windows {

class TForm2 final : public Window {
 public:
  TForm2(WindowBackend& backend, MessageQueue& queue);
  ~TForm2() override;

  link::SerialPort ApdComPort1;

  TextGrid StringGrid1;           // the record table
  ListBox ListBox1{"ListBox1"};   // lines of the last parameter reply
  Memo Memo1{"Memo1", "Memo1"};   // last reply, or the record count
  Edit Edit1{"Edit1", "Edit1"};   // the command line
  Button Button5{"Button5", "Button5"};
  ListBox ListBox11{"ListBox11"};  // port search: serial device map entries
  ListBox ListBox12{"ListBox12"};  // port search: virtual COM port names
  ListBox ListBox13{"ListBox13"};  // port search: adapters seen
  ListBox ListBox14{"ListBox14"};  // port search: the result
  Button Button1{"Button1", "USBRS_Search"};
  Button Button2{"Button2", "inputdata_block"};
  Button Button4{"Button4", "clock set"};
  Button Button3{"Button3", "COM resume"};
  Label Label11{"Label11", "Label11"};  // search status and heartbeat
  Label Label2{"Label2", "InBuffUsed"};
  Label Label1{"Label1", ""};           // bytes waiting, written by the download
  CheckBox CheckBox1{"CheckBox1", "Terminal Active"};
  Timer Timer1;
  TerminalView terminal;
};

}  // namespace vkt::windows
