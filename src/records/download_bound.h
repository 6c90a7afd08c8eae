#pragma once
// The download's overall bound: how many bytes a reply may bring and how
// long it may take in all, derived from the record count the logger reported
// at connect. The 3000 ms silence rule ends a download whose logger goes
// quiet; this bound ends one whose logger never stops sending (a flood
// without "#", or a trickle that keeps restarting the silence bound).
//
// A working logger can never reach it:
//   expected bytes = count x 24 + 64   (20 digits and up to 4 bytes of blanks
//                                       and line end per record; the "#" line)
//   byte limit     = 2 x expected bytes + 65536
//   time limit     = 2 x (byte limit at 1920 bytes/s, the line's 19200 baud)
//                    + 60 s
// A count that is missing, not a decimal number, or above kCeilingRecords
// counts as kCeilingRecords (about 50 MB and 14.6 hours).
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

  // The bound for a reported record count (`param_count`).
  static DownloadBound for_count(std::string_view param_count);
  // The bound for a number of records (capped at kCeilingRecords).
  static DownloadBound for_records(std::size_t records);

  bool bytes_exceeded(std::size_t received) const { return received > max_bytes; }
  bool time_exceeded(uint32_t elapsed_ms) const { return elapsed_ms > max_ms; }
};

// One download's use of its bound: the bytes received and the time since the
// request, checked at every arrival.
class DownloadBudget {
 public:
  DownloadBudget(DownloadBound bound, uint32_t started_ms) : bound_(bound), started_ms_(started_ms) {}

  // Counts `bytes` more received (zero bytes included) at clock reading
  // `now_ms` (elapsed time taken modulo 2^32); true once either limit is
  // passed, and from then on.
  bool spend(std::size_t bytes, uint32_t now_ms);
  bool passed() const { return passed_; }

  // The popup's text once passed: "DATA ERROR over=<bytes received>" for
  // the byte limit, "TIME OUT total=<ms since the request>" for the time.
  std::string message() const;

 private:
  DownloadBound bound_;
  uint32_t started_ms_;
  std::size_t received_ = 0;
  uint32_t elapsed_ms_ = 0;
  bool passed_ = false;
  bool by_time_ = false;
};

}  // namespace vkt::records
