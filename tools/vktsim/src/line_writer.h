#pragma once
// The logger's transmit side: a queue of reply pieces and the schedule that
// lets them out at the line speed.
//
// Paced, the bytes of a busy line follow a deadline schedule: byte k may
// leave one byte time (10 bit times at 19200 baud 8N1, 1920 bytes per
// second) after byte k - 1. The serving loop does not wake for every byte:
// it wakes when a slice of a few bytes is due and writes everything due by
// then, so a late wake-up catches up and the average rate stays exact. The
// schedule starts afresh (no credit) when the line has been idle, after a
// pause, and after the pty was full.
//
// A piece may ask for a pause before it (a reply cut into chunks): the
// pause runs from the moment the line has sent the previous piece.
// Unpaced, everything may go at once; only pauses hold bytes back.
//
// Time is passed in; not thread-safe (used by the serving thread only).
#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>

namespace vktsim {

class LineWriter {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::size_t kSliceBytes = 8;

  // bytes_per_second 0: unpaced.
  explicit LineWriter(unsigned bytes_per_second);

  void push(std::string bytes, std::chrono::milliseconds pause_before = std::chrono::milliseconds(0));
  bool empty() const { return queue_.empty(); }

  // Starts the schedule or a pause when their time has come. Call before
  // `allowed` and `next_time`.
  void advance(Clock::time_point now);
  // Forgets credit built up while the pty was full.
  void restart(Clock::time_point now);
  // The bytes at the head of the queue that may be written now.
  std::size_t allowed(Clock::time_point now) const;
  const char* head() const;
  // Records that the first `n` of the allowed bytes have been written.
  void sent(std::size_t n);
  // When `allowed` next becomes worth a write: now when it already is,
  // nothing when the queue is empty.
  std::optional<Clock::time_point> next_time(Clock::time_point now) const;

 private:
  struct Piece {
    std::string bytes;
    std::size_t offset = 0;
    std::chrono::milliseconds pause{0};
    bool pause_started = false;
  };

  Clock::duration span(std::size_t bytes) const;  // line time of `bytes` bytes

  std::chrono::nanoseconds byte_time_{0};  // 0: unpaced
  Clock::time_point next_free_{};          // when the next byte may leave
  bool idle_ = true;                       // nothing was queued since the line last ran dry
  std::deque<Piece> queue_;
};

}  // namespace vktsim
