#pragma once
// The serial port object (`ApdComPort1` of the monitor window): the library's
// one connection to the logger. Received bytes are collected in the
// background into an 8192-byte receive ring; writes are queued into a
// 4096-byte output ring and sent in the background. Every operation is called
// on the host's thread and never blocks on the device.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/constants.h"
#include "base/trace.h"
#include "link/port_error.h"

namespace vkt::link {

enum class Parity { pNone, pOdd, pEven, pMark, pSpace };
enum class SWFlow { swfNone, swfReceive, swfTransmit, swfBoth };
enum class PortState { Closed, Open, Closing };

class SerialBackend;  // platform device access (POSIX termios, Win32 COM)

class SerialPort {
 public:
  static constexpr std::size_t kReceiveRingSize = 8192;

  // The backend defaults to the platform's own; tests may pass another.
  SerialPort();
  explicit SerialPort(std::unique_ptr<SerialBackend> backend);
  ~SerialPort();  // closes an open port first
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Line properties; changed by the library only while Closed, used at the
  // next open.
  uint16_t ComNumber = 0;
  // The device to open instead of the one ComNumber names in the port
  // table; empty: the table's. Set by an open by device path.
  std::string DevicePath;
  int32_t Baud = kLineBaud;
  Parity parity = Parity::pNone;
  uint16_t DataBits = kLineDataBits;
  uint16_t StopBits = kLineStopBits;
  uint16_t InSize = 4096;
  uint16_t OutSize = 4096;
  SWFlow SWFlowOptions = SWFlow::swfNone;
  bool DTR = true;
  bool RTS = true;

  // Open := true / Open := false. Opening a Closed port throws on failure
  // (ENoPortSelected, EBadId, EAlreadyOpen, PortIoError) and leaves it
  // Closed; opening an Open port and closing a Closed one do nothing.
  void set_open(bool open);
  bool is_open() const;  // true only in the Open state
  PortState state() const;

  // Received bytes waiting, 0..8192; 0 on a Closed port. Never throws.
  uint32_t InBuffUsed() const;
  // At least one byte waiting. Throws ECommNotOpen when Closed; false while Closing.
  bool InputReady() const;
  // Takes exactly `count` bytes, oldest first; throws EBufferIsEmpty (taking
  // nothing) when fewer are waiting; ECommNotOpen when Closed.
  void ReadBlock(void* destination, uint16_t count);
  // Queues all bytes; EOutputBufferTooSmall (queuing nothing) when the free
  // room is smaller; ECommNotOpen when Closed. An empty text does nothing.
  void WriteString(std::string_view text);
  // Drops every received byte not yet read (ring and device queue).
  void FlushInput();

  // Direct reception, for a long reply that one reader takes in big
  // batches (the download). While it is on, the background thread leaves
  // the device's input alone and TakeAvailable reads it on the caller's
  // thread straight into the caller's buffer, so that no byte waits for a
  // hand-over between threads; wait_for_input then waits on the device.
  // Bytes already in the receive ring still come first. A platform whose
  // device cannot be read that way keeps the ring (the setting changes
  // nothing then). Only an Open port takes it; closing the port ends it.
  void set_direct_receive(bool on);
  bool direct_receive() const;
  // Takes up to `max` received bytes into `destination`, oldest first: the
  // receive ring's, then with direct reception what the device holds.
  // Returns the count, 0 when none is waiting. Throws ECommNotOpen when
  // Closed; 0 while Closing.
  std::size_t TakeAvailable(void* destination, std::size_t max);

  // Blocks the caller until at least one byte is waiting, the device has
  // gone, or `timeout` passes; returns InBuffUsed() > 0. Used by the reply
  // waits so that they sleep instead of spinning. Returns at once when the
  // port is not Open. With direct reception on, it waits on the device and
  // returns true once the device is readable or reports a hang-up.
  bool wait_for_input(std::chrono::milliseconds timeout) const;

  // True after the other side hung up (device unplugged) while Open; the
  // port stays usable as an object and receives nothing more: bytes already
  // received stay readable, text written from then on is dropped. False
  // again once the port is closed.
  bool device_gone() const;

  // Bytes still queued for transmission (for tests and diagnostics).
  std::size_t pending_output() const;

  // Called repeatedly (at least once) on the closing thread while the close
  // waits for the background threads (the library passes its message
  // dispatch here). Handlers it runs see the port Closing.
  void set_close_wait_hook(std::function<void()> hook);

  // The trace that records this port's opening and closing, every write and
  // every block of received bytes taken on the caller's thread; nullptr for
  // none. The trace must outlive the port.
  void set_trace(Trace* trace);
  Trace* trace() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vkt::link
