#pragma once
// What the exchanges work with, handed to each operation by the library:
// the monitor window's port, the clock, the dispatch of window messages, and
// the values and views the connect writes.
#include <string>
#include <vector>

#include "base/dispatcher.h"
#include "base/services.h"
#include "link/port_control.h"

namespace vkt::protocol {

// The logger's year and record count from its last parameter reply: set by
// the connect, read by the download, the year advanced by the record
// decoder. Empty at load.
struct LoggerValues {
  std::string param_year;   // four characters
  std::string param_count;
};

// The line to the logger: the monitor window's port (nullptr while there is
// no monitor window), the clock the reply bounds count on, and the dispatch
// of window messages that every exchange runs once after writing. A handler
// that runs may release the monitor window and its port with it, so the
// port is looked up afresh after every dispatch.
struct Channel {
  link::PortOwner& ports;
  Clock& clock;
  Dispatcher& dispatcher;
};

// Where the connect leaves what the logger said: the reply's text and its
// parameter lines (the monitor window's reply view and parameter list).
class ReplyView {
 public:
  virtual ~ReplyView() = default;
  virtual void clear_reply() = 0;
  virtual void show_reply(const std::string& text, const std::vector<std::string>& lines) = 0;
};

}  // namespace vkt::protocol
