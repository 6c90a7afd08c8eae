#include "link/memory_line.h"

#include <algorithm>
#include <cstring>
#include <deque>

#include "link/port_error.h"

namespace vkt::link {

namespace {

// Bytes sent to the port and not read yet, oldest first, in one text that is
// read from the front (and compacted now and then).
class ByteQueue {
 public:
  bool empty() const { return at_ == bytes_.size(); }
  std::size_t size() const { return bytes_.size() - at_; }
  void push(std::string_view bytes) { bytes_.append(bytes); }
  // Takes the oldest `count` bytes (at most size()).
  void pop(char* out, std::size_t count) {
    std::memcpy(out, bytes_.data() + at_, count);
    at_ += count;
    if (at_ == bytes_.size()) {
      clear();
    } else if (at_ > 65536 && at_ > bytes_.size() / 2) {
      bytes_.erase(0, at_);
      at_ = 0;
    }
  }
  void clear() {
    bytes_.clear();
    at_ = 0;
  }

 private:
  std::string bytes_;
  std::size_t at_ = 0;
};

}  // namespace

struct MemoryLine::State {
  explicit State(uint16_t number) : port_number(number) {}

  const uint16_t port_number;
  mutable std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
  bool gone = false;
  bool woken = false;
  bool direct_reads = false;
  LineSettings settings;
  ByteQueue to_port;
  std::deque<std::size_t> pieces;  // the sizes of what each send() left in to_port
  std::string burst;    // written since the port last went idle
  std::string written;  // everything written
  FarSide far_side;
  MemoryLine* line = nullptr;
};

namespace {

class MemoryBackend final : public SerialBackend {
 public:
  explicit MemoryBackend(std::shared_ptr<MemoryLine::State> state) : state_(std::move(state)) {}
  ~MemoryBackend() override { close(); }

  std::string device_path(uint16_t port_number) const override {
    return port_number == state_->port_number ? "memory:COM" + std::to_string(port_number) : std::string();
  }

  void open(const std::string& path) override {
    std::lock_guard lock(state_->mutex);
    if (path != device_path(state_->port_number) || state_->gone) throw EBadId();
    if (state_->open) throw EAlreadyOpen();
    state_->open = true;
    holder_ = true;
    state_->woken = false;
  }

  void configure(const LineSettings& settings) override {
    std::lock_guard lock(state_->mutex);
    state_->settings = settings;
  }

  IoResult read(void* buffer, std::size_t size) override {
    std::lock_guard lock(state_->mutex);
    if (state_->to_port.empty()) return {state_->gone ? IoResult::Status::Gone : IoResult::Status::WouldBlock, 0, 0};
    const std::size_t n = std::min(size, state_->direct_reads ? state_->pieces.front() : state_->to_port.size());
    state_->to_port.pop(static_cast<char*>(buffer), n);
    for (std::size_t left = n; left > 0;) {
      const std::size_t from_piece = std::min(left, state_->pieces.front());
      left -= from_piece;
      if ((state_->pieces.front() -= from_piece) == 0) state_->pieces.pop_front();
    }
    return {IoResult::Status::Ok, n, 0};
  }

  IoResult write(const void* data, std::size_t size) override {
    std::lock_guard lock(state_->mutex);
    if (state_->gone) return {IoResult::Status::Gone, 0, 0};
    state_->burst.append(static_cast<const char*>(data), size);
    state_->written.append(static_cast<const char*>(data), size);
    return {IoResult::Status::Ok, size, 0};
  }

  Readiness wait(bool want_read, bool want_write, bool watch_device) override {
    // The port has sent all it had: the far side gets the burst now.
    hand_over_burst();
    std::unique_lock lock(state_->mutex);
    Readiness r;
    state_->changed.wait(lock, [&] {
      r.woken = state_->woken;
      if (watch_device) {
        r.readable = want_read && !state_->to_port.empty();
        r.writable = want_write && !state_->gone;
        r.hangup = state_->gone && (!state_->direct_reads || state_->to_port.empty());
      }
      return r.woken || r.readable || r.writable || r.hangup;
    });
    state_->woken = false;
    return r;
  }

  void wake() override {
    {
      std::lock_guard lock(state_->mutex);
      state_->woken = true;
    }
    state_->changed.notify_all();
  }

  bool reads_on_host_thread() const override {
    std::lock_guard lock(state_->mutex);
    return state_->direct_reads;
  }
  bool wait_readable(std::chrono::milliseconds timeout) override {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, timeout, [&] { return !state_->to_port.empty() || state_->gone; });
  }

  void flush_input() override {
    std::lock_guard lock(state_->mutex);
    state_->to_port.clear();
    state_->pieces.clear();
  }
  void flush_output() override {}

  void close() override {
    if (!holder_) return;
    hand_over_burst();
    std::lock_guard lock(state_->mutex);
    state_->open = false;
    holder_ = false;
  }
  bool is_open() const override { return holder_; }

 private:
  void hand_over_burst() {
    std::string burst;
    MemoryLine::FarSide far_side;
    MemoryLine* line = nullptr;
    {
      std::lock_guard lock(state_->mutex);
      if (state_->burst.empty()) return;
      burst.swap(state_->burst);
      far_side = state_->far_side;
      line = state_->line;
    }
    if (far_side && line) far_side(*line, burst);
  }

  std::shared_ptr<MemoryLine::State> state_;
  bool holder_ = false;
};

}  // namespace

MemoryLine::MemoryLine(uint16_t port_number) : state_(std::make_shared<State>(port_number)) { state_->line = this; }

MemoryLine::~MemoryLine() {
  std::lock_guard lock(state_->mutex);
  state_->line = nullptr;
  state_->far_side = nullptr;
}

std::shared_ptr<MemoryLine> MemoryLine::make(uint16_t port_number) {
  return std::make_shared<MemoryLine>(port_number);
}

std::unique_ptr<SerialBackend> MemoryLine::make_backend() { return std::make_unique<MemoryBackend>(state_); }

void MemoryLine::set_far_side(FarSide far_side) {
  std::lock_guard lock(state_->mutex);
  state_->far_side = std::move(far_side);
}

void MemoryLine::send(std::string_view bytes) {
  {
    std::lock_guard lock(state_->mutex);
    if (state_->gone || bytes.empty()) return;
    state_->to_port.push(bytes);
    state_->pieces.push_back(bytes.size());
  }
  state_->changed.notify_all();
}

void MemoryLine::send(const std::vector<std::string>& pieces) {
  {
    std::lock_guard lock(state_->mutex);
    if (state_->gone) return;
    for (const std::string& piece : pieces) {
      if (piece.empty()) continue;
      state_->to_port.push(piece);
      state_->pieces.push_back(piece.size());
    }
  }
  state_->changed.notify_all();
}

void MemoryLine::set_direct_reads(bool on) {
  std::lock_guard lock(state_->mutex);
  state_->direct_reads = on;
}

void MemoryLine::hang_up() {
  {
    std::lock_guard lock(state_->mutex);
    state_->gone = true;
  }
  state_->changed.notify_all();
}

void MemoryLine::replug() {
  std::lock_guard lock(state_->mutex);
  state_->gone = false;
  state_->to_port.clear();
  state_->pieces.clear();
}

bool MemoryLine::is_open() const {
  std::lock_guard lock(state_->mutex);
  return state_->open;
}

LineSettings MemoryLine::settings() const {
  std::lock_guard lock(state_->mutex);
  return state_->settings;
}

std::string MemoryLine::written() const {
  std::lock_guard lock(state_->mutex);
  return state_->written;
}

std::size_t MemoryLine::unread() const {
  std::lock_guard lock(state_->mutex);
  return state_->to_port.size();
}

}  // namespace vkt::link
