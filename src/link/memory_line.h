#pragma once
// An in-memory serial line: a SerialBackend for the port, and a far side that
// plays the device (a scripted logger) without any file descriptor. The port
// opens it as the device of one port number; what the port writes reaches
// the far side in bursts (everything the port sent before it next went idle,
// so one command written at once arrives as one burst), and what the far
// side sends becomes readable at once.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "link/serial_backend.h"

namespace vkt::link {

class MemoryLine : public std::enable_shared_from_this<MemoryLine> {
 public:
  // Called with each burst the port wrote, on the port's I/O thread; it may
  // call send() and hang_up().
  using FarSide = std::function<void(MemoryLine& line, const std::string& burst)>;

  // The line answers to port number `port_number` ("COM1" by default).
  static std::shared_ptr<MemoryLine> make(uint16_t port_number = 1);

  // A backend for one SerialPort; every backend made opens this same line.
  std::unique_ptr<SerialBackend> make_backend();

  void set_far_side(FarSide far_side);
  // The far side sends: the bytes become readable by the port.
  void send(std::string_view bytes);
  // Sends the pieces one after the other, all becoming readable at once.
  void send(const std::vector<std::string>& pieces);
  // With `on`, the port may read the line on its reader's own thread (its
  // direct reception, as a terminal device allows), and every read returns
  // at most the rest of one send(): the reader's reads are the far side's
  // pieces, cut only where the reader's room ends. A hang-up is then
  // reported once every byte sent has been read. Set before the port opens.
  void set_direct_reads(bool on);
  // The device goes away: the port sees a hang-up; bytes already sent stay
  // readable. replug() makes the line usable again for the next open.
  void hang_up();
  void replug();

  bool is_open() const;
  // The line settings of the last open.
  LineSettings settings() const;
  // Every byte the port wrote so far, in order.
  std::string written() const;
  // Bytes sent by the far side that the port has not read yet.
  std::size_t unread() const;

  // The state the backends share; public for them only.
  struct State;
  explicit MemoryLine(uint16_t port_number);
  ~MemoryLine();

 private:
  std::shared_ptr<State> state_;
};

}  // namespace vkt::link
