#include "records/download_bound.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "base/text.h"
#include "records/record_decoder.h"

namespace vkt::records {

std::size_t DownloadBound::records_of_count(std::string_view param_count) {
  std::size_t parsed = 0;
  const char* end = param_count.data() + param_count.size();
  const auto [stop, error] = std::from_chars(param_count.data(), end, parsed);
  // Only a whole decimal number counts; anything else takes the ceiling.
  if (param_count.empty() || error != std::errc() || stop != end) return kCeilingRecords;
  return std::min(parsed, kCeilingRecords);
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

bool counts_as_record_line(std::string_view line) {
  const std::size_t n = line.size();
  return n >= kRecordLineLength + 2 && n <= DownloadBound::kWorstBytesPerRecord && line[n - 2] == '\r' &&
         line[n - 1] == '\n' && is_record_line(trimmed(line));
}

DownloadBound DownloadBudget::bound() const {
  return DownloadBound::for_records(std::max(reported_, record_lines_));
}

void DownloadBudget::count_record_lines(std::string_view text) {
  std::size_t at = std::min(scanned_, text.size());
  while (const void* lf = std::memchr(text.data() + at, '\n', text.size() - at)) {
    const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(lf) - text.data()) + 1;
    if (counts_as_record_line(text.substr(at, end - at))) ++record_lines_;
    at = end;
  }
  scanned_ = at;
}

bool DownloadBudget::spend(std::size_t bytes, std::string_view text, uint32_t now_ms) {
  if (passed_) return true;
  received_ += bytes;
  elapsed_ms_ = now_ms - started_ms_;
  if (within(bound())) return false;
  count_record_lines(text);
  const DownloadBound now_bound = bound();
  if (within(now_bound)) return false;
  passed_ = true;
  by_time_ = !now_bound.bytes_exceeded(received_);
  return true;
}

std::string DownloadBudget::message() const {
  if (by_time_) return "TIME OUT total=" + std::to_string(elapsed_ms_);
  return "DATA ERROR over=" + std::to_string(received_);
}

}  // namespace vkt::records
