#include "link/terminal_view.h"

#include <vector>

#include "link/serial_port.h"

namespace vkt::link {

std::size_t TerminalView::pump(link::SerialPort& port) {
  if (!active_ || !port.is_open()) return 0;
  uint32_t n = port.InBuffUsed();
  if (n == 0) return 0;
  std::vector<char> buf(n);
  try {
    port.ReadBlock(buf.data(), static_cast<uint16_t>(n));
  } catch (const link::PortError&) {
    return 0;
  }
  feed(buf.data(), buf.size());
  return n;
}

void TerminalView::feed(const char* data, std::size_t size) {
  auto end_line = [this] {
    lines_.push_back(std::move(current_));
    current_.clear();
    while (lines_.size() > kMaxLines) lines_.pop_front();
  };
  for (std::size_t i = 0; i < size; ++i) {
    char c = data[i];
    if (c == '\r' || c == '\n') {
      // CR LF and LF CR end one line; a lone CR or LF ends one too.
      if (i + 1 < size && (data[i + 1] == '\r' || data[i + 1] == '\n') && data[i + 1] != c) ++i;
      end_line();
      continue;
    }
    if (static_cast<unsigned char>(c) < 0x20) c = '.';
    if (current_.size() >= kMaxLineLength) end_line();
    current_.push_back(c);
  }
}

std::deque<std::string> TerminalView::lines() const {
  auto out = lines_;
  if (!current_.empty()) out.push_back(current_);
  return out;
}

std::string TerminalView::text() const {
  std::string out;
  for (const std::string& line : lines_) {
    if (!out.empty()) out += "\r\n";
    out += line;
  }
  if (!current_.empty()) {
    if (!out.empty()) out += "\r\n";
    out += current_;
  }
  return out;
}

void TerminalView::clear() {
  lines_.clear();
  current_.clear();
}

}  // namespace vkt::link
