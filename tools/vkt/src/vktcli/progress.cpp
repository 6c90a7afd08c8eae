#include "vktcli/progress.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "vktcli/messages.h"

namespace vktcli {
namespace {

long cap(long records, std::optional<long> expected) {
  records = std::max(records, 0L);
  return expected ? std::min(records, std::max(*expected, 0L)) : records;
}

std::string minutes_seconds(double seconds) {
  const long s = std::lround(std::max(seconds, 0.0));
  return fmt::format("{}:{:02}", s / 60, s % 60);
}

}  // namespace

long records_from_bytes(std::size_t bytes, std::optional<long> expected) {
  return cap(static_cast<long>(static_cast<double>(bytes) / kBytesPerRecord), expected);
}

long records_from_elapsed(double seconds, std::optional<long> expected) {
  return cap(static_cast<long>(seconds * kLineBytesPerSecond / kBytesPerRecord), expected);
}

std::string format_progress(long received, std::optional<long> expected, double elapsed_seconds, int columns) {
  const double rate = elapsed_seconds > 0.05 ? static_cast<double>(received) / elapsed_seconds : 0.0;
  const std::size_t limit = static_cast<std::size_t>(std::max(columns - 1, 10));
  auto fit = [&](std::string line) {
    if (line.size() > limit) line.resize(limit);
    return line;
  };
  if (!expected) {
    const std::string full = fmt::format("{:>6} records {:>6.0f} rec/s", received, rate);
    return fit(full.size() <= limit ? full : fmt::format("{} records", received));
  }

  const long total = std::max(*expected, 0L);
  const double fraction = total > 0 ? std::min(1.0, static_cast<double>(received) / static_cast<double>(total)) : 1.0;
  const double left = static_cast<double>(total - std::min(received, total)) * kBytesPerRecord / kLineBytesPerSecond;
  const std::string count = fmt::format("{:>6}/{} records", received, total);
  const std::string percent = fmt::format("{:>3.0f}%", fraction * 100.0);
  const std::string tail = fmt::format("{:>6.0f} rec/s  {} left", rate, minutes_seconds(left));
  auto bar = [&](int width) {
    const int filled = static_cast<int>(fraction * width);
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(width - filled), '-') + "]";
  };
  // The full line with a 30-character bar, narrowed to fit.
  for (const bool with_tail : {true, false}) {
    const std::size_t fixed = count.size() + 1 + 2 + 1 + percent.size() + (with_tail ? 1 + tail.size() : 0);
    if (fixed + 10 <= limit) {
      const int width = static_cast<int>(std::min<std::size_t>(30, limit - fixed));
      return count + " " + bar(width) + " " + percent + (with_tail ? " " + tail : "");
    }
  }
  return fit(count + " " + percent);
}

DownloadProgress::DownloadProgress(std::optional<long> expected, ByteCounter bytes, bool show_bar)
    : expected_(expected),
      bytes_(std::move(bytes)),
      start_(std::chrono::steady_clock::now()) {
  if (bytes_) bytes_at_start_ = bytes_();
  if (show_bar) thread_ = std::thread([this] { run(); });
}

DownloadProgress::~DownloadProgress() { stop(); }

long DownloadProgress::estimate(double seconds) const {
  if (bytes_) {
    const std::size_t now = bytes_();
    return records_from_bytes(now >= bytes_at_start_ ? now - bytes_at_start_ : 0, expected_);
  }
  return records_from_elapsed(seconds, expected_);
}

void DownloadProgress::run() {
  std::unique_lock lock(mu_);
  while (!stopping_) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    // The width is read at every redraw: a terminal resized meanwhile gets
    // a line that fits it.
    show_status_line(format_progress(estimate(seconds), expected_, seconds, stderr_columns()));
    cv_.wait_for(lock, std::chrono::milliseconds(100), [this] { return stopping_; });
  }
  clear_status_line();
}

double DownloadProgress::stop() {
  if (!stopped_after_) {
    stopped_after_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    {
      std::lock_guard lock(mu_);
      stopping_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  return *stopped_after_;
}

}  // namespace vktcli
