#include "records/download_bound.h"

#include <algorithm>
#include <charconv>

namespace vkt::records {

DownloadBound DownloadBound::for_count(std::string_view param_count) {
  std::size_t records = kCeilingRecords;
  std::size_t parsed = 0;
  const char* end = param_count.data() + param_count.size();
  const auto [stop, error] = std::from_chars(param_count.data(), end, parsed);
  // Only a whole decimal number counts; anything else takes the ceiling.
  if (!param_count.empty() && error == std::errc() && stop == end) records = parsed;
  return for_records(records);
}

DownloadBound DownloadBound::for_records(std::size_t records) {
  records = std::min(records, kCeilingRecords);
  const std::size_t expected = records * kWorstBytesPerRecord + kTerminatorBytes;
  DownloadBound bound;
  bound.max_bytes = 2 * expected + kByteMargin;
  const uint64_t line_ms = uint64_t{bound.max_bytes} * 1000 / kLineBytesPerSecond;
  bound.max_ms = static_cast<uint32_t>(2 * line_ms + kTimeMarginMs);
  return bound;
}

bool DownloadBudget::spend(std::size_t bytes, uint32_t now_ms) {
  if (passed_) return true;
  received_ += bytes;
  elapsed_ms_ = now_ms - started_ms_;
  if (bound_.bytes_exceeded(received_)) {
    passed_ = true;
  } else if (bound_.time_exceeded(elapsed_ms_)) {
    passed_ = by_time_ = true;
  }
  return passed_;
}

std::string DownloadBudget::message() const {
  if (by_time_) return "TIME OUT total=" + std::to_string(elapsed_ms_);
  return "DATA ERROR over=" + std::to_string(received_);
}

}  // namespace vkt::records
