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
    case WaitEnd::Stopped: line += "stopped by the host"; break;
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

std::string ResponseReader(const Channel& channel, char terminator) {
  link::SerialPort* port = channel.ports.port();
  if (!port) return {};
  PortReplySource source(*port);
  return ResponseReader(source, channel.clock, terminator);
}

namespace {

link::SerialPort& port_of(const Channel& channel) {
  link::SerialPort* port = channel.ports.port();
  if (!port) throw link::ECommNotOpen();
  return *port;
}

}  // namespace

std::string exchange_unflushed(const Channel& channel, std::string_view command) {
  port_of(channel).WriteString(command);
  // The one point of an exchange where window messages (the host's too) run;
  // they may release the monitor window, so the wait looks it up afresh.
  channel.dispatcher.dispatch_messages();
  return ResponseReader(channel, kTerminator);
}

std::string exchange(const Channel& channel, std::string_view command) {
  port_of(channel).FlushInput();
  return exchange_unflushed(channel, command);
}

bool set_command(const Channel& channel, std::string_view command) { return !exchange(channel, command).empty(); }

}  // namespace vkt::protocol
