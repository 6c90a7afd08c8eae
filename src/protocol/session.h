#pragma once
// What the exchanges, the download, the record accessors and the settings
// work with: the parts of the monitor window they read and write, the
// library-wide values, the clock, message boxes and the dispatch of window
// messages. The library (the composition root) provides it; the monitor
// window is built from the parts.
#include <memory>

#include "ui/controls.h"
#include "base/dispatcher.h"
#include "base/services.h"
#include "base/values.h"
#include "link/port_control.h"
#include "link/serial_backend.h"
#include "link/serial_port.h"
#include "link/terminal_view.h"

namespace vkt::protocol {

// The monitor window's port and the controls below the window layer that
// the exchanges, the download and the settings use.
struct MonitorParts {
  // `record_cells` is the record table's store.
  MonitorParts(std::unique_ptr<link::SerialBackend> serial_backend, int grid_columns, int grid_rows,
               std::unique_ptr<ui::GridCells> record_cells)
      : ApdComPort1(std::move(serial_backend)),
        StringGrid1("StringGrid1", grid_columns, grid_rows, std::move(record_cells)) {}

  link::SerialPort ApdComPort1;
  ui::TextGrid StringGrid1;  // the record table
  ui::ListBox ListBox1{"ListBox1"};   // lines of the last parameter reply
  ui::Memo Memo1{"Memo1", "Memo1"};   // last reply, or the record count
  ui::Edit Edit1{"Edit1", "Edit1"};   // the command line
  ui::Label Label1{"Label1", ""};     // bytes waiting, written by the download
  ui::CheckBox CheckBox1{"CheckBox1", "Terminal Active"};
  link::TerminalView terminal;
};

class Session : public virtual link::PortOwner, public virtual Dispatcher, public virtual LibraryValues {
 public:
  // A session is the library itself: never copied or moved.
  Session() = default;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The monitor window's parts; nullptr while there is none (or after it
  // was released). Looked up afresh after every dispatch.
  virtual MonitorParts* monitor() = 0;
  virtual Clock& clock() = 0;
  virtual Notifier& notifier() = 0;

  link::SerialPort* port() override {
    MonitorParts* parts = monitor();
    return parts ? &parts->ApdComPort1 : nullptr;
  }
};

}  // namespace vkt::protocol
