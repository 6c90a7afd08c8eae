// The serial port's portable core: the receive and output rings, the port
// state, and the one background thread that moves bytes between the rings
// and the device. Device access goes through SerialBackend.
//
// The background thread sleeps in SerialBackend::wait() until the device has
// bytes (and the receive ring has room), the device can take bytes (and the
// output ring holds some), the device hangs up, or the host's thread wakes it
// (new output, room made in a full receive ring, close). An idle port thus
// costs no CPU time at all.
//
// With direct reception on (a long reply taken by one reader) the background
// thread stops watching the device for input; the reader's thread reads the
// device itself, under the same lock as the ring, so the ring's bytes are
// always older than the device's.
#include "link/serial_port.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <span>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "link/serial_backend.h"

namespace vkt::link {
namespace {

// A first-in first-out ring of bytes with a fixed capacity. Not locked: its
// owner guards it.
class ByteRing {
 public:
  void reset(std::size_t capacity) {
    storage_.assign(capacity, 0);
    clear();
  }
  void clear() {
    head_ = 0;
    size_ = 0;
  }

  std::size_t capacity() const { return storage_.size(); }
  std::size_t size() const { return size_; }
  std::size_t room() const { return capacity() - size_; }
  bool empty() const { return size_ == 0; }
  bool full() const { return size_ == capacity(); }

  // Appends `count` bytes; the caller has checked that they fit.
  void push(const uint8_t* data, std::size_t count) {
    while (count > 0) {
      const std::span<uint8_t> span = back_room();
      const std::size_t n = std::min(count, span.size());
      std::memcpy(span.data(), data, n);
      commit_back(n);
      data += n;
      count -= n;
    }
  }

  // Removes the `count` oldest bytes into `out`; the caller has checked that
  // they are there.
  void pop(uint8_t* out, std::size_t count) {
    while (count > 0) {
      const std::span<const uint8_t> span = front();
      const std::size_t n = std::min(count, span.size());
      std::memcpy(out, span.data(), n);
      drop_front(n);
      out += n;
      count -= n;
    }
  }

  // The oldest waiting bytes that lie in one piece.
  std::span<const uint8_t> front() const {
    return {storage_.data() + head_, std::min(size_, capacity() - head_)};
  }
  void drop_front(std::size_t count) {
    head_ = (head_ + count) % capacity();
    size_ -= count;
  }

  // The free room after the newest byte that lies in one piece.
  std::span<uint8_t> back_room() {
    if (capacity() == 0) return {};
    const std::size_t tail = (head_ + size_) % capacity();
    const std::size_t end = tail < head_ || full() ? head_ : capacity();
    return {storage_.data() + tail, end - tail};
  }
  void commit_back(std::size_t count) { size_ += count; }

 private:
  std::vector<uint8_t> storage_;
  std::size_t head_ = 0;  // index of the oldest byte
  std::size_t size_ = 0;  // bytes waiting
};

}  // namespace

struct SerialPort::Impl {
  explicit Impl(std::unique_ptr<SerialBackend> device) : backend(std::move(device)) {
    if (!backend) backend = make_platform_serial_backend();
    rx.reset(kReceiveRingSize);
  }

  ~Impl() {
    // Only reached with a running thread when the port is destroyed from a
    // handler that runs inside its own close; stop the thread all the same.
    if (backend->background_started()) {
      stop = true;
      backend->wake();
      backend->join_background();
      backend->close();
    }
  }

  void open(uint16_t com, const std::string& device, const LineSettings& settings);
  void close();

  void io_loop();
  bool receive(bool hangup_reported);
  bool transmit();
  void mark_gone();
  void wait_for_io_thread();

  std::unique_ptr<SerialBackend> backend;

  // Changed only on the host's thread, and under rx_mutex so that
  // wait_for_input() sees every change.
  std::atomic<PortState> state{PortState::Closed};
  std::atomic<bool> gone{false};  // the device hung up while Open
  std::atomic<bool> stop{false};  // the background thread is to end

  mutable std::mutex rx_mutex;
  // Signalled on arrivals, on hang-up and on close.
  mutable std::condition_variable rx_cv;
  ByteRing rx;             // guarded by rx_mutex
  bool rx_paused = false;  // guarded by rx_mutex: the thread waits without reading, rx is full
  bool direct = false;     // guarded by rx_mutex: the host's thread reads the device

  mutable std::mutex tx_mutex;
  ByteRing tx;  // guarded by tx_mutex

  std::mutex life_mutex;
  std::condition_variable life_cv;
  bool io_finished = false;  // guarded by life_mutex

  std::function<void()> close_wait_hook;
  Trace* trace = nullptr;
};

void SerialPort::Impl::open(uint16_t com, const std::string& device, const LineSettings& settings) {
  if (com == 0 && device.empty()) throw ENoPortSelected();
  const std::string path = device.empty() ? backend->device_path(com) : device;
  if (path.empty()) throw EBadId();
  backend->open(path);
  try {
    backend->configure(settings);
    {
      std::lock_guard lock(rx_mutex);
      rx.clear();
      rx_paused = false;
      direct = false;
    }
    {
      std::lock_guard lock(tx_mutex);
      tx.reset(settings.out_size);
    }
    gone = false;
    stop = false;
    io_finished = false;
    backend->start_background([this] { io_loop(); });
  } catch (const std::system_error& error) {
    backend->close();
    throw PortIoError(error.code().value(), error.code().message());
  } catch (...) {
    backend->close();
    throw;
  }
  std::lock_guard lock(rx_mutex);
  state = PortState::Open;
}

void SerialPort::Impl::close() {
  {
    std::lock_guard lock(rx_mutex);
    state = PortState::Closing;
    direct = false;
  }
  rx_cv.notify_all();
  // Nothing more is sent or received once the close has begun.
  stop = true;
  backend->wake();
  {
    std::lock_guard lock(tx_mutex);
    backend->flush_output();
    tx.clear();
  }
  {
    std::lock_guard lock(rx_mutex);
    backend->flush_input();
    rx.clear();
    rx_paused = false;
  }

  std::exception_ptr hook_error;
  try {
    wait_for_io_thread();
  } catch (...) {
    // A failing handler must not leave the port half closed: finish the
    // close first, then report the failure.
    hook_error = std::current_exception();
    std::unique_lock lock(life_mutex);
    life_cv.wait(lock, [this] { return io_finished; });
  }
  backend->join_background();

  // Whatever the thread still wrote or received while it was stopping goes
  // too; a terminal would otherwise hold the close until its output drained.
  backend->flush_output();
  backend->flush_input();
  backend->close();
  {
    std::lock_guard lock(tx_mutex);
    tx.clear();
  }
  {
    std::lock_guard lock(rx_mutex);
    rx.clear();
    gone = false;
    state = PortState::Closed;
  }
  rx_cv.notify_all();
  if (hook_error) std::rethrow_exception(hook_error);
}

// Waits for the background thread to end, running the close-wait hook (the
// host's message dispatch) at least once and then every few milliseconds.
void SerialPort::Impl::wait_for_io_thread() {
  const std::function<void()> hook = close_wait_hook;  // a handler may replace it
  std::unique_lock lock(life_mutex);
  if (!hook) {
    life_cv.wait(lock, [this] { return io_finished; });
    return;
  }
  do {
    lock.unlock();
    hook();
    lock.lock();
    life_cv.wait_for(lock, std::chrono::milliseconds(5), [this] { return io_finished; });
  } while (!io_finished);
}

void SerialPort::Impl::io_loop() {
  try {
    while (!stop) {
      const bool watch_device = !gone;
      bool want_read = false;
      bool want_write = false;
      if (watch_device) {
        {
          std::lock_guard lock(rx_mutex);
          // With the ring full the bytes stay in the device's queue; the
          // host's thread wakes this thread when it has taken some. With
          // direct reception the host's thread reads the device itself.
          want_read = !rx.full() && !direct;
          rx_paused = rx.full();
        }
        std::lock_guard lock(tx_mutex);
        want_write = !tx.empty();
      }
      const Readiness ready = backend->wait(want_read, want_write, watch_device);
      if (stop || !watch_device) continue;

      bool alive = true;
      if (ready.readable || ready.hangup) alive = receive(ready.hangup);
      if (alive && ready.writable) alive = transmit();
      if (!alive) mark_gone();
    }
  } catch (...) {
    // Only a failing lock can get here; the port then receives nothing more.
    mark_gone();
  }
  {
    std::lock_guard lock(life_mutex);
    io_finished = true;
  }
  life_cv.notify_all();
}

// Moves the bytes the device holds into the receive ring, as many as there is
// room for. Returns false when the device has gone.
bool SerialPort::Impl::receive(bool hangup_reported) {
  std::size_t moved = 0;
  bool alive = true;
  {
    // The lock is held across the (non-blocking) reads so that FlushInput,
    // which empties the device queue and the ring under the same lock,
    // cannot miss bytes that were read but not yet stored.
    std::lock_guard lock(rx_mutex);
    // A wait begun before direct reception was turned on; a hang-up is still
    // this thread's to handle (it takes what the device still holds).
    while (!rx.full() && (!direct || hangup_reported)) {
      const std::span<uint8_t> room = rx.back_room();
      const IoResult result = backend->read(room.data(), room.size());
      if (result.status == IoResult::Status::Ok) {
        rx.commit_back(result.count);
        moved += result.count;
        continue;
      }
      alive = result.status != IoResult::Status::Gone;
      break;
    }
  }
  if (moved > 0) rx_cv.notify_all();
  // A hang-up that yields no more bytes (or finds no room for them) ends
  // reception; polling the device again would only report it again.
  if (hangup_reported && moved == 0) alive = false;
  return alive;
}

// Sends as much of the output ring as the device takes, in order. Returns
// false when the device has gone.
bool SerialPort::Impl::transmit() {
  std::lock_guard lock(tx_mutex);
  while (!tx.empty()) {
    const std::span<const uint8_t> pending = tx.front();
    const IoResult result = backend->write(pending.data(), pending.size());
    if (result.status != IoResult::Status::Ok) return result.status != IoResult::Status::Gone;
    tx.drop_front(result.count);
  }
  return true;
}

// The device hung up: stop using it. What was received stays readable;
// output can no longer be sent and is dropped.
void SerialPort::Impl::mark_gone() {
  {
    std::lock_guard lock(tx_mutex);
    tx.clear();
  }
  {
    std::lock_guard lock(rx_mutex);
    gone = true;
    rx_paused = false;
  }
  rx_cv.notify_all();
  if (trace) trace->event("port: the device hung up (unplugged)");
}

SerialPort::SerialPort() : SerialPort(std::unique_ptr<SerialBackend>{}) {}

SerialPort::SerialPort(std::unique_ptr<SerialBackend> backend)
    : impl_(std::make_unique<Impl>(std::move(backend))) {}

SerialPort::~SerialPort() {
  if (impl_->state == PortState::Open) {
    try {
      impl_->close();
    } catch (...) {
      // A failing close-wait hook; the port is closed regardless.
    }
  }
}

void SerialPort::set_open(bool open) {
  if (open) {
    if (impl_->state != PortState::Closed) return;
    LineSettings settings;
    settings.baud = Baud;
    settings.parity = parity;
    settings.data_bits = DataBits;
    settings.stop_bits = StopBits;
    settings.sw_flow = SWFlowOptions;
    settings.dtr = DTR;
    settings.rts = RTS;
    settings.in_size = InSize;
    settings.out_size = OutSize;
    Trace* trace = impl_->trace;
    const bool traced = trace && trace->on();
    const std::string line = traced ? "port COM" + std::to_string(ComNumber) + " (" +
                                          (DevicePath.empty() ? impl_->backend->device_path(ComNumber) : DevicePath) +
                                          ") " + std::to_string(Baud) + " " +
                                          std::to_string(DataBits) + "NOEMS"[static_cast<int>(parity) % 5] +
                                          std::to_string(StopBits)
                                    : std::string();
    try {
      impl_->open(ComNumber, DevicePath, settings);
    } catch (const PortError& error) {
      if (traced) trace->event(line + ": open failed (" + std::to_string(error.code()) + " " + error.what() + ")");
      throw;
    }
    if (traced) trace->event(line + ": opened");
  } else if (impl_->state == PortState::Open) {
    if (impl_->trace) impl_->trace->event("port COM" + std::to_string(ComNumber) + ": closing");
    impl_->close();
    if (impl_->trace) impl_->trace->event("port COM" + std::to_string(ComNumber) + ": closed");
  }
}

bool SerialPort::is_open() const { return impl_->state == PortState::Open; }

PortState SerialPort::state() const { return impl_->state; }

uint32_t SerialPort::InBuffUsed() const {
  if (impl_->state == PortState::Closed) return 0;
  std::lock_guard lock(impl_->rx_mutex);
  return static_cast<uint32_t>(impl_->rx.size());
}

bool SerialPort::InputReady() const {
  const PortState state = impl_->state;
  if (state == PortState::Closed) throw ECommNotOpen();
  if (state == PortState::Closing) return false;
  std::lock_guard lock(impl_->rx_mutex);
  return !impl_->rx.empty();
}

void SerialPort::ReadBlock(void* destination, uint16_t count) {
  const PortState state = impl_->state;
  if (state == PortState::Closed) throw ECommNotOpen();
  if (state == PortState::Closing || count == 0) return;
  bool wake = false;
  {
    std::lock_guard lock(impl_->rx_mutex);
    if (impl_->rx.size() < count) throw EBufferIsEmpty();
    impl_->rx.pop(static_cast<uint8_t*>(destination), count);
    wake = std::exchange(impl_->rx_paused, false);
  }
  if (wake) impl_->backend->wake();
  if (impl_->trace) impl_->trace->bytes("received", {static_cast<const char*>(destination), count});
}

void SerialPort::WriteString(std::string_view text) {
  const PortState state = impl_->state;
  if (state == PortState::Closed) throw ECommNotOpen();
  if (state == PortState::Closing || text.empty()) return;
  {
    std::lock_guard lock(impl_->tx_mutex);
    if (impl_->tx.room() < text.size()) throw EOutputBufferTooSmall();
    // A device that has gone takes nothing; the text is dropped as if sent.
    if (impl_->gone) return;
    impl_->tx.push(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  }
  impl_->backend->wake();
  if (impl_->trace) impl_->trace->bytes("write", text);
}

void SerialPort::FlushInput() {
  const PortState state = impl_->state;
  if (state == PortState::Closed) throw ECommNotOpen();
  if (state == PortState::Closing) return;
  bool wake = false;
  std::size_t dropped = 0;
  {
    std::lock_guard lock(impl_->rx_mutex);
    impl_->backend->flush_input();
    dropped = impl_->rx.size();
    impl_->rx.clear();
    wake = std::exchange(impl_->rx_paused, false);
  }
  if (wake) impl_->backend->wake();
  if (impl_->trace && impl_->trace->on())
    impl_->trace->event("input flushed (" + std::to_string(dropped) + " received bytes dropped)");
}

void SerialPort::set_direct_receive(bool on) {
  bool wake = false;
  {
    std::lock_guard lock(impl_->rx_mutex);
    const bool direct = on && impl_->state == PortState::Open && impl_->backend->reads_on_host_thread();
    // Turned off: the background thread watches the device's input again.
    wake = impl_->direct && !direct;
    impl_->direct = direct;
  }
  if (wake) impl_->backend->wake();
}

bool SerialPort::direct_receive() const {
  std::lock_guard lock(impl_->rx_mutex);
  return impl_->direct;
}

std::size_t SerialPort::TakeAvailable(void* destination, std::size_t max) {
  const PortState state = impl_->state;
  if (state == PortState::Closed) throw ECommNotOpen();
  if (state == PortState::Closing || max == 0) return 0;
  auto* out = static_cast<uint8_t*>(destination);
  std::size_t taken = 0;
  bool wake = false;
  bool lost = false;
  {
    std::lock_guard lock(impl_->rx_mutex);
    taken = std::min(max, impl_->rx.size());
    impl_->rx.pop(out, taken);
    if (taken > 0) wake = std::exchange(impl_->rx_paused, false);
    while (impl_->direct && !impl_->gone && taken < max) {
      const IoResult result = impl_->backend->read(out + taken, max - taken);
      if (result.status != IoResult::Status::Ok) {
        lost = result.status == IoResult::Status::Gone;
        break;
      }
      const bool drained = result.count < max - taken;
      taken += result.count;
      // A short read emptied the device's queue: another read now would only
      // answer "nothing" (at the cost of a terminal's buffer flush); the
      // caller waits for the next bytes instead.
      if (drained) break;
    }
  }
  if (lost) impl_->mark_gone();
  if (wake) impl_->backend->wake();
  if (impl_->trace && taken > 0) impl_->trace->bytes("received", {reinterpret_cast<const char*>(out), taken});
  return taken;
}

bool SerialPort::wait_for_input(std::chrono::milliseconds timeout) const {
  // Bounded so that the deadline (now + timeout) cannot overflow the clock.
  constexpr std::chrono::milliseconds kLongestWait = std::chrono::hours(24 * 365);
  std::unique_lock lock(impl_->rx_mutex);
  if (impl_->state == PortState::Open && impl_->direct && impl_->rx.empty() && !impl_->gone) {
    // Only the host's thread reads the device now, and only it could turn
    // direct reception off or close the port: the wait needs no lock.
    lock.unlock();
    return impl_->backend->wait_readable(std::min(timeout, kLongestWait));
  }
  if (impl_->state == PortState::Open) {
    impl_->rx_cv.wait_for(lock, std::min(timeout, kLongestWait), [this] {
      return !impl_->rx.empty() || impl_->gone || impl_->state != PortState::Open;
    });
  }
  return impl_->state != PortState::Closed && !impl_->rx.empty();
}

bool SerialPort::device_gone() const { return impl_->gone; }

std::size_t SerialPort::pending_output() const {
  std::lock_guard lock(impl_->tx_mutex);
  return impl_->tx.size();
}

void SerialPort::set_close_wait_hook(std::function<void()> hook) {
  impl_->close_wait_hook = std::move(hook);
}

void SerialPort::set_trace(Trace* trace) { impl_->trace = trace; }

Trace* SerialPort::trace() const { return impl_->trace; }

}  // namespace vkt::link
