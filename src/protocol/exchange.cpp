#include "protocol/exchange.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "link/port_error.h"
#include "link/serial_port.h"

namespace vkt::protocol {

uint32_t PortReplySource::InBuffUsed() { return port_.InBuffUsed(); }

bool PortReplySource::InputReady() { return port_.InputReady(); }

void PortReplySource::ReadBlock(void* destination, uint16_t count) { port_.ReadBlock(destination, count); }

void PortReplySource::wait_for_input(std::chrono::milliseconds timeout) { port_.wait_for_input(timeout); }

bool PortReplySource::exhausted() { return !port_.is_open() || port_.device_gone(); }

Trace* PortReplySource::trace() { return port_.trace(); }

const char* PortReplySource::exhausted_reason() { return port_.is_open() ? "unplugged" : "port closed"; }

void trace_wait(Trace& trace, ReplySource& source, ReplyBound bound, uint32_t took_ms, WaitEnd end) {
  std::string line = "wait for the reply (" + std::to_string(bound.ms) + " ms " +
                     (bound.policy == BoundPolicy::WholeCall ? "from its start" : "of silence") + "): ";
  switch (end) {
    case WaitEnd::Complete: line += "complete"; break;
    case WaitEnd::TimedOut: line += "bound ran out"; break;
    case WaitEnd::Exhausted: line += source.exhausted_reason(); break;
  }
  trace.event(line + " after " + std::to_string(took_ms) + " ms");
}

std::string ResponseReader(ReplySource& source, Clock& clock, char terminator) {
  std::string text;
  std::array<char, kChunkSize + 1> chunk;
  const WaitEnd end = wait_for_reply(source, clock, kCommandBound, clock.now_ms(), [&] {
    const uint32_t n = source.InBuffUsed();
    if (n > 0 && source.InputReady()) {
      // Never more than the chunk holds; the rest comes in the next polls.
      const auto count = static_cast<uint16_t>(std::min<uint32_t>(n, kChunkSize));
      source.ReadBlock(chunk.data(), count);
      chunk[count] = '\0';
      text.append(chunk.data(), ::strnlen(chunk.data(), count));
      // The scan covers the stored NUL as well: count + 1 positions.
      if (std::memchr(chunk.data(), static_cast<unsigned char>(terminator), count + 1u) != nullptr)
        return PollResult{true, true};
    }
    return PollResult{n > 0, false};
  });
  return end == WaitEnd::Complete ? text : std::string();
}

std::string ResponseReader(Session& session, char terminator) {
  auto* form = session.monitor();
  if (!form) return {};
  PortReplySource source(form->ApdComPort1);
  return ResponseReader(source, session.clock(), terminator);
}

namespace {

link::SerialPort& port_of(Session& session) {
  auto* form = session.monitor();
  if (!form) throw link::ECommNotOpen();
  return form->ApdComPort1;
}

}  // namespace

std::string exchange_unflushed(Session& session, std::string_view command) {
  port_of(session).WriteString(command);
  // The one point of an exchange where window messages (the host's too) run;
  // they may release the monitor window, so the wait looks it up afresh.
  session.dispatch_messages();
  return ResponseReader(session, kTerminator);
}

std::string exchange(Session& session, std::string_view command) {
  port_of(session).FlushInput();
  return exchange_unflushed(session, command);
}

bool set_command(Session& session, std::string_view command) { return !exchange(session, command).empty(); }

}  // namespace vkt::protocol
