#pragma once
// The command exchange: a bare command written to the port, and a wait of at
// most 3000 ms for a reply that ends in the terminator "#".
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vkt {
class Library;
}
namespace vkt::windows {
class Clock;
}
namespace vkt::link {
class SerialPort;
}

namespace vkt::protocol {

constexpr char kTerminator = '#';
constexpr uint32_t kReplyBoundMs = 3000;
// One poll's worth of received bytes is read into a chunk of this size
// (plus one byte for the NUL stored behind it).
constexpr std::size_t kChunkSize = 1024;
// Longest single sleep between two polls. The wait itself is bounded by the
// library's clock; this cap keeps a wait responsive to that clock even when
// it is not the machine's (a scripted clock in a test).
constexpr std::chrono::milliseconds kPollWaitCap{20};

// What the reply wait needs of the port: the byte count, the ready test, the
// block read, and a bounded sleep until bytes arrive. The monitor window's
// serial port is adapted to it; tests feed bytes from memory.
class ReplySource {
 public:
  virtual ~ReplySource() = default;
  virtual uint32_t InBuffUsed() = 0;
  virtual bool InputReady() = 0;
  virtual void ReadBlock(void* destination, uint16_t count) = 0;
  // Returns when at least one byte is waiting or `timeout` has passed.
  virtual void wait_for_input(std::chrono::milliseconds timeout) = 0;
  // True when nothing more can ever arrive (the device was unplugged, or
  // the port closed): a wait then ends at once instead of running out its
  // bound.
  virtual bool exhausted() { return false; }
};

// The serial port as a reply source. A port that is not Open, or whose
// device is gone, is exhausted: nothing more can arrive.
class PortReplySource final : public ReplySource {
 public:
  explicit PortReplySource(link::SerialPort& port) : port_(port) {}
  uint32_t InBuffUsed() override;
  bool InputReady() override;
  void ReadBlock(void* destination, uint16_t count) override;
  void wait_for_input(std::chrono::milliseconds timeout) override;
  bool exhausted() override;

 private:
  link::SerialPort& port_;
};

// The reply wait. Polls `source` for at most 3000 ms by `clock` from the
// call's start (elapsed time taken modulo 2^32, so the bound holds across the
// clock's wrap). Each poll reads at most kChunkSize of the waiting bytes as
// one chunk; the chunk contributes its bytes up to its first NUL to the reply
// text, and is scanned for the terminator over all its bytes and the NUL
// stored behind them. The text read so far is handed back as soon as a chunk
// holds the terminator; bytes after that chunk stay in the source. Empty
// when no chunk with the terminator came within the bound. Between polls it
// sleeps on `source` until bytes arrive (at most kPollWaitCap at a time).
std::string ResponseReader(ReplySource& source, windows::Clock& clock, char terminator = kTerminator);

// The reply wait on the monitor window's port, bounded by the library's
// clock. Empty at once when there is no monitor window.
std::string ResponseReader(Library& library, char terminator = kTerminator);

// Flush, write, dispatch window messages once, wait: returns the reply text
// (empty: no reply). Throws link::ECommNotOpen when there is no monitor
// window or its port is closed, and the port's other errors as they come.
std::string exchange(Library& library, std::string_view command);

// The exchange without the flush: write, dispatch once, wait. Bytes left
// over from the previous reply become the start of this one.
std::string exchange_unflushed(Library& library, std::string_view command);

// Sends one command and judges it by the arrival of a reply: true when one
// came, whatever its content. Throws as exchange() does.
bool set_command(Library& library, std::string_view command);

}  // namespace vkt::protocol
