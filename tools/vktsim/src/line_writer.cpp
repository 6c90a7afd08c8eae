#include "line_writer.h"

#include <algorithm>

namespace vktsim {

LineWriter::LineWriter(unsigned bytes_per_second) {
  if (bytes_per_second > 0) byte_time_ = std::chrono::nanoseconds(1'000'000'000LL / bytes_per_second);
}

LineWriter::Clock::duration LineWriter::span(std::size_t bytes) const {
  return std::chrono::duration_cast<Clock::duration>(byte_time_ * static_cast<long long>(bytes));
}

void LineWriter::push(std::string bytes, std::chrono::milliseconds pause_before) {
  if (bytes.empty()) return;
  Piece piece;
  piece.bytes = std::move(bytes);
  piece.pause = pause_before;
  queue_.push_back(std::move(piece));
}

void LineWriter::advance(Clock::time_point now) {
  if (queue_.empty()) return;
  if (idle_) {
    next_free_ = std::max(next_free_, now);
    idle_ = false;
  }
  Piece& head = queue_.front();
  if (head.pause.count() > 0 && !head.pause_started) {
    head.pause_started = true;
    next_free_ = std::max(next_free_, now) + head.pause;
  }
}

void LineWriter::restart(Clock::time_point now) { next_free_ = std::max(next_free_, now); }

std::size_t LineWriter::allowed(Clock::time_point now) const {
  if (queue_.empty() || now < next_free_) return 0;
  const Piece& head = queue_.front();
  const std::size_t remaining = head.bytes.size() - head.offset;
  if (byte_time_.count() == 0) return remaining;
  const auto due = static_cast<std::size_t>((now - next_free_) / byte_time_) + 1;
  return std::min(remaining, due);
}

const char* LineWriter::head() const { return queue_.front().bytes.data() + queue_.front().offset; }

void LineWriter::sent(std::size_t n) {
  if (n == 0 || queue_.empty()) return;
  next_free_ += span(n);
  Piece& head = queue_.front();
  head.offset += n;
  if (head.offset >= head.bytes.size()) queue_.pop_front();
  if (queue_.empty()) idle_ = true;
}

std::optional<LineWriter::Clock::time_point> LineWriter::next_time(Clock::time_point now) const {
  if (queue_.empty()) return std::nullopt;
  const Piece& head = queue_.front();
  if (idle_ || (head.pause.count() > 0 && !head.pause_started)) return now;  // advance() has work
  const std::size_t want = std::min(kSliceBytes, head.bytes.size() - head.offset);
  return std::max(now, next_free_ + span(want - 1));
}

}  // namespace vktsim
