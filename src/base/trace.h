#pragma once
// The library's trace for bug reports: one line per event (a call of an
// exported function, bytes written to or taken from the port, a wait and how
// it ended, a port opened or closed, a message shown), each with the time
// since the trace began and the thread, so that what a real logger said can
// be read by a person without the code.
//
// The trace is off unless a host starts it (the exports start it from the
// environment variable VKTCOM_TRACE). Off, each event costs one test of a
// flag. It never harms the host: a file that cannot be opened or written is
// given up silently, and the file is bounded: past its limit it is moved to
// "<file>.1" (replacing an older one) and a new file begins, so the last
// part of a long run is always kept and the disk never fills.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace vkt {

class Trace {
 public:
  static constexpr uint64_t kDefaultLimitBytes = 64ull << 20;

  Trace() = default;
  ~Trace();
  Trace(const Trace&) = delete;
  Trace& operator=(const Trace&) = delete;

  // Begins a trace in `path` (made anew; UTF-8 on Windows), ending one that
  // runs. False when the file cannot be opened; the trace is then off.
  bool start(const std::string& path, uint64_t limit_bytes = kDefaultLimitBytes);
  // Ends the trace (an accessor run still pending is written first).
  void stop();
  bool on() const noexcept { return on_.load(std::memory_order_relaxed); }

  // One line of text.
  void event(std::string_view text);
  // One line naming bytes: "<what> <n> bytes: <hex> | <text>" (hex_and_text).
  void bytes(std::string_view what, std::string_view data);
  // A call of a record accessor. Consecutive calls of one accessor fold into
  // one line "<function> rows <first>..<last> (<n> calls)", written when
  // another event comes or the trace ends.
  void accessor(std::string_view function, int32_t row);

 private:
  void write_line(std::string_view text);  // with the lock held
  void flush_run();                        // with the lock held
  void close_file();                       // with the lock held

  std::atomic<bool> on_{false};
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  std::string path_;
  uint64_t written_ = 0;
  uint64_t limit_ = kDefaultLimitBytes;
  std::chrono::steady_clock::time_point began_{};
  struct Run {
    std::string function;
    int32_t first = 0;
    int32_t last = 0;
    uint64_t calls = 0;
  } run_;
};

// Bytes as a person reads them: the hexadecimal bytes, then the text with
// CR, LF, NUL and other control or high bytes written as \r, \n, \0 and \xHH
// ("6D 0D 23 | m\r#"). Long blocks are cut after `limit` bytes with the
// count of the rest.
std::string hex_and_text(std::string_view data, size_t limit = 4096);

}  // namespace vkt
