#pragma once
// The monitor window's parts that the download and the record accessors
// work with. The monitor window holds them; the records are handed them.
#include "link/serial_port.h"
#include "link/terminal_view.h"
#include "ui/controls.h"

namespace vkt::records {

struct RecordParts {
  link::SerialPort& port;           // ApdComPort1
  ui::TextGrid& grid;               // StringGrid1, the record table
  ui::Memo& reply;                  // Memo1: the last reply, or the record count
  ui::Label& waiting;               // Label1: bytes of the last read
  ui::CheckBox& terminal_switch;    // CheckBox1
  link::TerminalView& terminal;     // takes the received bytes while its switch is on
};

}  // namespace vkt::records
