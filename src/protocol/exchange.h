#pragma once
// The command exchange: a bare command written to the port, and a wait of at
// most 3000 ms for a reply that ends in the terminator "#".
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/serial_port.h"
#include "protocol/channel.h"
#include "protocol/reply_wait.h"

namespace vkt::protocol {

constexpr char kTerminator = '#';
// One poll's worth of received bytes is read into a chunk of this size
// (plus one byte for the NUL stored behind it).
constexpr std::size_t kChunkSize = 1024;

// The serial port as a reply source. A port that is not Open, or whose
// device is gone, is exhausted: nothing more can arrive.
class PortReplySource final : public ReplySource {
 public:
  // `stop`, when given, is the host's request to end the wait (read at
  // each poll, from any thread).
  explicit PortReplySource(link::SerialPort& port, const std::atomic<bool>* stop = nullptr)
      : port_(port), stop_(stop) {}
  uint32_t InBuffUsed() override;
  bool InputReady() override;
  void ReadBlock(void* destination, uint16_t count) override;
  void wait_for_input(std::chrono::milliseconds timeout) override;
  bool exhausted() override;
  Trace* trace() override;
  const char* exhausted_reason() override;
  bool stop_requested() override { return stop_ && stop_->load(std::memory_order_relaxed); }

 private:
  link::SerialPort& port_;
  const std::atomic<bool>* stop_;
};

// The reply wait. Polls `source` for at most 3000 ms by `clock` from the
// call's start (wait_for_reply with the command's bound). Each poll reads
// at most kChunkSize of the waiting bytes as one chunk; the chunk contributes its bytes up to its first NUL to the reply
// text, and is scanned for the terminator over all its bytes and the NUL
// stored behind them. The text read so far is handed back as soon as a chunk
// holds the terminator; bytes after that chunk stay in the source. Empty
// when no chunk with the terminator came within the bound.
std::string ResponseReader(ReplySource& source, Clock& clock, char terminator = kTerminator);

// The reply wait on the monitor window's port, bounded by the channel's
// clock. Empty at once when there is no monitor window.
std::string ResponseReader(const Channel& channel, char terminator = kTerminator);

// Flush, write, dispatch window messages once, wait: returns the reply text
// (empty: no reply). Throws link::ECommNotOpen when there is no monitor
// window or its port is closed, and the port's other errors as they come.
std::string exchange(const Channel& channel, std::string_view command);

// The exchange without the flush: write, dispatch once, wait. Bytes left
// over from the previous reply become the start of this one.
std::string exchange_unflushed(const Channel& channel, std::string_view command);

// Sends one command and judges it by the arrival of a reply: true when one
// came, whatever its content. Throws as exchange() does.
bool set_command(const Channel& channel, std::string_view command);

}  // namespace vkt::protocol
