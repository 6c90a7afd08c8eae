#pragma once
// The monitor window's terminal view: while active it takes the bytes
// received on the serial line out of the port's receive buffer, whenever
// window messages are dispatched, and keeps the last lines for display.
// While inactive it takes nothing.
#include <cstddef>
#include <deque>
#include <string>

namespace vkt::link {

class SerialPort;

class TerminalView {
 public:
  static constexpr std::size_t kMaxLines = 200;
  static constexpr std::size_t kMaxLineLength = 256;

  bool active() const { return active_; }
  void set_active(bool on) { active_ = on; }

  // Takes what the port holds (only while active) and returns the byte count taken.
  std::size_t pump(link::SerialPort& port);
  // Feeds bytes for display: CR ends a line; LF starts a new one after a
  // line that no CR ended; other control bytes show as '.'.
  void feed(const char* data, std::size_t size);

  // The lines shown, oldest first; the last one may be incomplete.
  std::deque<std::string> lines() const;
  // The same lines joined by CR LF, as a view shows them.
  std::string text() const;
  void clear();

 private:
  bool active_ = false;
  std::deque<std::string> lines_;
  std::string current_;
};

}  // namespace vkt::link
