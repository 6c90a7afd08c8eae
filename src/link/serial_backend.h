#pragma once
// The narrow device interface behind the serial port: everything the port
// needs from the operating system, and nothing else. The port's buffers,
// states and background threads are written once on top of it; each platform
// (POSIX terminal devices, Win32 COM ports) supplies one implementation.
//
// Threading: open, configure and close are called on the host's thread while
// no background thread runs. While the port is open its I/O thread calls
// read, write and wait, and the host's thread may call wake, flush_input and
// flush_output at the same time; an implementation must allow exactly that.
// A backend that says reads_on_host_thread() also lets the host's thread
// call read and wait_readable while the I/O thread waits without reading
// (the port's direct reception).
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "link/serial_port.h"

namespace vkt::link {

// The line as the port asks the device for it.
struct LineSettings {
  int32_t baud = kLineBaud;
  Parity parity = Parity::pNone;
  uint16_t data_bits = kLineDataBits;
  uint16_t stop_bits = kLineStopBits;
  SWFlow sw_flow = SWFlow::swfNone;
  bool dtr = true;
  bool rts = true;
  uint16_t in_size = 4096;   // device input queue wanted, where the platform can set it
  uint16_t out_size = 4096;  // device output queue wanted, where the platform can set it
};

// Outcome of one non-blocking read or write.
struct IoResult {
  enum class Status {
    Ok,          // `count` bytes moved (at least one)
    WouldBlock,  // nothing to read / no room to write just now
    Gone,        // the device hung up or failed; it will not come back
  };
  Status status = Status::WouldBlock;
  std::size_t count = 0;
  int error = 0;  // the system's error number when Gone through an error, else 0
};

// What ended a wait.
struct Readiness {
  bool readable = false;  // bytes can be read
  bool writable = false;  // bytes can be written
  bool hangup = false;    // the device reports a hang-up or an error
  bool woken = false;     // wake() was called
};

class SerialBackend {
 public:
  virtual ~SerialBackend() = default;

  // The device that port number `port_number` names, or an empty text when
  // the number names none.
  virtual std::string device_path(uint16_t port_number) const = 0;

  // Opens the device for exclusive reading and writing, non-blocking.
  // Throws EBadId when the device does not exist, EAlreadyOpen when another
  // user holds it, PortIoError for any other failure; on a throw nothing
  // stays open.
  virtual void open(const std::string& path) = 0;

  // Applies the line settings in raw mode with parity checking off and NUL
  // bytes passed through, and asserts or drops DTR and RTS. Throws
  // PortIoError; the device stays open then and the caller closes it.
  virtual void configure(const LineSettings& settings) = 0;

  // Reads up to `size` available bytes without blocking.
  virtual IoResult read(void* buffer, std::size_t size) = 0;
  // Writes up to `size` bytes without blocking.
  virtual IoResult write(const void* data, std::size_t size) = 0;

  // Blocks until the device is readable (when `want_read`), writable (when
  // `want_write`), reports a hang-up, or wake() is called. With
  // `watch_device` false only wake() ends the wait (used once the device is
  // gone, so that a hung-up device cannot keep the caller spinning). A
  // pending wake() is consumed by the wait that reports it; a wake() that
  // comes before the wait starts is not lost.
  virtual Readiness wait(bool want_read, bool want_write, bool watch_device) = 0;
  // Ends the current or the next wait(). Callable from any thread while open.
  virtual void wake() = 0;

  // Direct reception: true when read() may be called on the host's thread
  // while the I/O thread waits without reading, so that a long reply goes
  // from the device straight into its reader's buffer. The default keeps
  // every read on the I/O thread.
  virtual bool reads_on_host_thread() const { return false; }
  // On the host's thread: blocks until the device is readable, reports a
  // hang-up, or `timeout` passes; true unless the time ran out. Only called
  // when reads_on_host_thread() is true.
  virtual bool wait_readable(std::chrono::milliseconds timeout) {
    (void)timeout;
    return false;
  }

  // Discard the device's input queue / output not yet sent. Errors (a
  // hung-up device) are ignored: there is nothing left to discard then.
  virtual void flush_input() = 0;
  virtual void flush_output() = 0;

  // Releases the device and its exclusive hold. Harmless when not open.
  virtual void close() = 0;
  virtual bool is_open() const = 0;

  // Runs `body` (the port's I/O loop) in the background. The default is a
  // thread of its own; a platform may choose a place whose ending needs no
  // process-wide lock, so that a module being unloaded can still wait for it
  // (Win32: a thread-pool callback; a thread's exit waits for the loader).
  virtual void start_background(std::function<void()> body) { background_ = std::thread(std::move(body)); }
  // Returns once the body has returned and nothing of it runs any more.
  // Harmless when nothing was started.
  virtual void join_background() {
    if (background_.joinable()) background_.join();
  }
  virtual bool background_started() const { return background_.joinable(); }

 private:
  std::thread background_;
};

// The backend of the platform the library is built for.
std::unique_ptr<SerialBackend> make_platform_serial_backend();

}  // namespace vkt::link
