#pragma once
// The download's overall bound: how many bytes a reply may bring and how
// long it may take in all. The 3000 ms silence rule ends a download whose
// logger goes quiet; this bound ends one whose logger never stops sending (a
// flood without "#", or a trickle that keeps restarting the silence bound).
//
// For R records it allows
//   expected bytes = R x 24 + 64       (20 digits and up to 4 bytes of blanks
//                                       and line end per record; the "#" line)
//   byte limit     = 2 x expected bytes + 65536
//   time limit     = 2 x (byte limit at 1920 bytes/s, the line's 19200 baud)
//                    + 60 s
// where R is the larger of the record count the logger reported at connect
// and the record lines received so far, at most kCeilingRecords. A count
// that is missing, not a decimal number, or above kCeilingRecords counts as
// kCeilingRecords (about 50 MB and 14.6 hours).
//
// So the count never costs records: a reply of record lines can only pass
// the bound of the records it brings, which a logger at a quarter of the
// line's speed never reaches, up to kCeilingRecords of them. What the count
// bounds is a reply that stops being record lines: other bytes (a flood of
// them, or a trickle that never completes a line) have the count's bound
// and the margin of the record lines received.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vkt::records {

struct DownloadBound {
  static constexpr std::size_t kWorstBytesPerRecord = 24;
  static constexpr std::size_t kTerminatorBytes = 64;
  static constexpr std::size_t kByteMargin = 65536;
  static constexpr uint64_t kLineBytesPerSecond = 1920;  // 19200 baud, 10 bits a byte
  static constexpr uint32_t kTimeMarginMs = 60000;
  static constexpr std::size_t kCeilingRecords = std::size_t{1} << 20;

  std::size_t max_bytes = 0;  // bytes received from the request on
  uint32_t max_ms = 0;        // milliseconds from the request on

  // The records a reported record count (`param_count`) stands for: its
  // value, or kCeilingRecords when it is no decimal number or larger.
  static std::size_t records_of_count(std::string_view param_count);
  // The bound for a reported record count, before any record line came.
  static DownloadBound for_count(std::string_view param_count) { return for_records(records_of_count(param_count)); }
  // The bound for a number of records (capped at kCeilingRecords).
  static DownloadBound for_records(std::size_t records);

  bool bytes_exceeded(std::size_t received) const { return received > max_bytes; }
  bool time_exceeded(uint32_t elapsed_ms) const { return elapsed_ms > max_ms; }
};

// True when `line`, a line of the reply up to and including its LF, is a
// record line for the bound: at most kWorstBytesPerRecord bytes ending in
// CR LF, and 20 hexadecimal digits once trimmed.
bool counts_as_record_line(std::string_view line);

// One download's use of its bound: the bytes received and the time since the
// request, checked at every arrival against the bound of the larger of the
// reported records and the record lines received.
class DownloadBudget {
 public:
  DownloadBudget(std::size_t reported_records, uint32_t started_ms)
      : reported_(reported_records), started_ms_(started_ms) {}

  // Counts `bytes` more received (zero bytes included) at clock reading
  // `now_ms` (elapsed time taken modulo 2^32); `text` is the reply as kept
  // so far, which only ever grows at its end. True once either limit is
  // passed, and from then on. The record lines of `text` are only counted
  // when the bound of those counted so far is passed, so a reply within the
  // count's bound is never scanned for them.
  bool spend(std::size_t bytes, std::string_view text, uint32_t now_ms);
  bool passed() const { return passed_; }
  // The record lines counted so far (not more than `text` held).
  std::size_t record_lines() const { return record_lines_; }

  // The popup's text once passed: "DATA ERROR over=<bytes received>" for
  // the byte limit, "TIME OUT total=<ms since the request>" for the time.
  std::string message() const;

 private:
  bool within(const DownloadBound& bound) const {
    return !bound.bytes_exceeded(received_) && !bound.time_exceeded(elapsed_ms_);
  }
  DownloadBound bound() const;
  void count_record_lines(std::string_view text);

  std::size_t reported_;
  uint32_t started_ms_;
  std::size_t received_ = 0;
  uint32_t elapsed_ms_ = 0;
  std::size_t record_lines_ = 0;
  std::size_t scanned_ = 0;  // where the next line of the text starts
  bool passed_ = false;
  bool by_time_ = false;
};

}  // namespace vkt::records
