#include "protocol/exchange.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "exports/library.h"
#include "link/port_error.h"
#include "link/serial_port.h"
#include "windows/monitor_window.h"
#include "windows/services.h"

namespace vkt::protocol {

uint32_t PortReplySource::InBuffUsed() { return port_.InBuffUsed(); }

bool PortReplySource::InputReady() { return port_.InputReady(); }

void PortReplySource::ReadBlock(void* destination, uint16_t count) { port_.ReadBlock(destination, count); }

void PortReplySource::wait_for_input(std::chrono::milliseconds timeout) { port_.wait_for_input(timeout); }

bool PortReplySource::exhausted() { return !port_.is_open() || port_.device_gone(); }

std::string ResponseReader(ReplySource& source, windows::Clock& clock, char terminator) {
  const uint32_t t0 = clock.now_ms();
  std::string text;
  std::array<char, kChunkSize + 1> chunk;

  for (;;) {
    const uint32_t n = source.InBuffUsed();
    if (n > 0 && source.InputReady()) {
      // Never more than the chunk holds; the rest comes in the next polls.
      const auto count = static_cast<uint16_t>(std::min<uint32_t>(n, kChunkSize));
      source.ReadBlock(chunk.data(), count);
      chunk[count] = '\0';
      text.append(chunk.data(), ::strnlen(chunk.data(), count));
      // The scan covers the stored NUL as well: count + 1 positions.
      if (std::memchr(chunk.data(), static_cast<unsigned char>(terminator), count + 1u) != nullptr) return text;
    }

    // An unplugged device sends nothing more: no reply, at once.
    if (n == 0 && source.exhausted()) return {};

    // Modulo-2^32 difference: right across the clock's wrap.
    const uint32_t elapsed = clock.now_ms() - t0;
    if (elapsed > kReplyBoundMs) return {};

    // Sleep until bytes arrive, but wake in time for the bound: the poll
    // after the last allowed millisecond is the one that gives up.
    const uint32_t left = kReplyBoundMs - elapsed + 1;
    source.wait_for_input(std::min(std::chrono::milliseconds(left), kPollWaitCap));
  }
}

std::string ResponseReader(Library& library, char terminator) {
  auto* form = library.monitor();
  if (!form) return {};
  PortReplySource source(form->ApdComPort1);
  return ResponseReader(source, library.clock(), terminator);
}

namespace {

link::SerialPort& port_of(Library& library) {
  auto* form = library.monitor();
  if (!form) throw link::ECommNotOpen();
  return form->ApdComPort1;
}

}  // namespace

std::string exchange_unflushed(Library& library, std::string_view command) {
  port_of(library).WriteString(command);
  // The one point of an exchange where window messages (the host's too) run;
  // they may release the monitor window, so the wait looks it up afresh.
  library.dispatch_messages();
  return ResponseReader(library, kTerminator);
}

std::string exchange(Library& library, std::string_view command) {
  port_of(library).FlushInput();
  return exchange_unflushed(library, command);
}

bool set_command(Library& library, std::string_view command) { return !exchange(library, command).empty(); }

}  // namespace vkt::protocol
