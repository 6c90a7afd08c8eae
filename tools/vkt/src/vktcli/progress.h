#pragma once
// The download's progress bar. vkt_inputdata blocks until the download is
// over, so the bar runs on a thread of its own and estimates how far the
// download has come: from the bytes the simulated logger has sent when
// there is one, otherwise from the time elapsed at the line speed. Either
// way the estimate never passes the record count the logger reported.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace vktcli {

// 19200 baud with 8N1 moves 1920 bytes a second; a record line is 20
// hexadecimal digits and CR LF.
inline constexpr double kLineBytesPerSecond = 1920.0;
inline constexpr double kBytesPerRecord = 22.0;

// Records received after `bytes` bytes of the reply, or after `seconds` at
// the line speed; capped at `expected` when known.
long records_from_bytes(std::size_t bytes, std::optional<long> expected);
long records_from_elapsed(double seconds, std::optional<long> expected);

// One line of the bar, e.g.
//   "   120/200 records [##################------------]  60%   52 rec/s  0:01 left"
// The time left is what the remaining records take at the line speed. The
// line stays shorter than `columns` (a terminal wraps a line that fills it):
// the bar narrows first, then the rate and the time left go.
std::string format_progress(long received, std::optional<long> expected, double elapsed_seconds,
                            int columns = 80);

class DownloadProgress {
 public:
  using ByteCounter = std::function<std::size_t()>;  // bytes sent so far

  // Starts timing; with `show_bar`, draws the bar as the status line of
  // standard error (messages.h) every 100 ms (ten times a second at most)
  // until stop(), narrower than the terminal, whose width is read at each
  // redraw. `bytes`, when set, is read from the bar's thread.
  DownloadProgress(std::optional<long> expected, ByteCounter bytes, bool show_bar);
  ~DownloadProgress();
  DownloadProgress(const DownloadProgress&) = delete;
  DownloadProgress& operator=(const DownloadProgress&) = delete;

  // Stops the bar and clears its line; returns the seconds since the start.
  double stop();

 private:
  long estimate(double seconds) const;
  void run();

  std::optional<long> expected_;
  ByteCounter bytes_;
  std::size_t bytes_at_start_ = 0;
  std::chrono::steady_clock::time_point start_;
  std::optional<double> stopped_after_;
  std::mutex mu_;
  std::condition_variable cv_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace vktcli
