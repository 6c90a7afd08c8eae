#include "base/trace.h"

#include <cinttypes>
#include <cstring>

#include "base/platform.h"

namespace vkt {

namespace {

// A short number per thread, in the order threads first write to a trace.
int thread_number() {
  static std::atomic<int> next{1};
  thread_local const int number = next.fetch_add(1);
  return number;
}

}  // namespace

std::string hex_and_text(std::string_view data, size_t limit) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const size_t shown = data.size() < limit ? data.size() : limit;
  std::string hex, text;
  hex.reserve(shown * 3);
  text.reserve(shown);
  for (size_t i = 0; i < shown; ++i) {
    const auto byte = static_cast<unsigned char>(data[i]);
    if (i) hex += ' ';
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
    switch (byte) {
      case '\r': text += "\\r"; break;
      case '\n': text += "\\n"; break;
      case '\0': text += "\\0"; break;
      case '\\': text += "\\\\"; break;
      default:
        if (byte < 0x20 || byte >= 0x7F) {
          text += "\\x";
          text += kDigits[byte >> 4];
          text += kDigits[byte & 15];
        } else {
          text += static_cast<char>(byte);
        }
    }
  }
  std::string out = hex + " | " + text;
  if (shown < data.size()) out += " ... (" + std::to_string(data.size() - shown) + " more bytes)";
  return out;
}

Trace::~Trace() { stop(); }

bool Trace::start(const std::string& path, uint64_t limit_bytes) {
  std::lock_guard lock(mutex_);
  flush_run();
  close_file();
  bool regular = false;
  file_ = platform::open_new_file(path, regular);
  if (!file_) return false;
  // Only a plain file is ever moved aside; a device or a pipe takes the
  // lines as they come.
  path_ = regular ? path : std::string();
  limit_ = limit_bytes;
  written_ = 0;
  began_ = std::chrono::steady_clock::now();
  on_.store(true, std::memory_order_relaxed);
  return true;
}

void Trace::stop() {
  std::lock_guard lock(mutex_);
  flush_run();
  close_file();
}

void Trace::close_file() {
  on_.store(false, std::memory_order_relaxed);
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

void Trace::event(std::string_view text) {
  if (!on()) return;
  std::lock_guard lock(mutex_);
  flush_run();
  write_line(text);
}

void Trace::bytes(std::string_view what, std::string_view data) {
  if (!on()) return;
  std::string line(what);
  line += ' ' + std::to_string(data.size()) + " bytes: " + hex_and_text(data);
  event(line);
}

void Trace::accessor(std::string_view function, int32_t row) {
  if (!on()) return;
  std::lock_guard lock(mutex_);
  if (run_.calls && run_.function == function) {
    run_.last = row;
    ++run_.calls;
    return;
  }
  flush_run();
  run_.function.assign(function);
  run_.first = run_.last = row;
  run_.calls = 1;
}

void Trace::flush_run() {
  if (!run_.calls) return;
  const Run run = run_;
  run_.calls = 0;
  write_line(run.function + " rows " + std::to_string(run.first) + ".." + std::to_string(run.last) + " (" +
             std::to_string(run.calls) + (run.calls == 1 ? " call)" : " calls)"));
}

void Trace::write_line(std::string_view text) {
  if (!file_) return;
  const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - began_);
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%" PRId64 ".%03d T%d ", static_cast<int64_t>(elapsed.count() / 1000),
                static_cast<int>(elapsed.count() % 1000), thread_number());
  const size_t length = std::strlen(stamp) + text.size() + 1;
  if (!path_.empty() && written_ > 0 && written_ + length > limit_) {
    // The file is full: it becomes "<file>.1" and a new one begins.
    std::fclose(file_);
    file_ = nullptr;
    bool regular = false;
    if (platform::replace_file(path_, path_ + ".1")) file_ = platform::open_new_file(path_, regular);
    written_ = 0;
    if (!file_) {
      on_.store(false, std::memory_order_relaxed);
      return;
    }
  }
  const bool ok = std::fputs(stamp, file_) >= 0 && std::fwrite(text.data(), 1, text.size(), file_) == text.size() &&
                  std::fputc('\n', file_) != EOF && std::fflush(file_) == 0;
  written_ += length;
  // A trace that can no longer be written is given up; the host goes on.
  if (!ok) close_file();
}

}  // namespace vkt
