#pragma once
// A diagnostic log of the line: every byte in both directions with the time
// since the simulator started, as hexadecimal and as escaped text, plus
// events such as a hang-up. One line per at most 16 bytes:
//   0.012345 <- 70                                               |p|
//   0.013001 -> 40 59 65 61 72 3D 32 30 32 34 0D 0A              |@Year=2024\r\n|
//   0.250000 == hang-up after 12 bytes
// "<-" is what the host sent, "->" what the logger sent.
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

namespace vktsim {

class Transcript {
 public:
  Transcript() = default;
  ~Transcript();
  Transcript(const Transcript&) = delete;
  Transcript& operator=(const Transcript&) = delete;

  // Starts logging to `path` (truncated). Throws std::system_error when the
  // file cannot be created.
  void open(const std::string& path);
  bool is_open() const { return file_ != nullptr; }

  void received(const char* data, std::size_t n) { bytes("<-", data, n); }
  void sent(const char* data, std::size_t n) { bytes("->", data, n); }
  void note(const std::string& text);

 private:
  void bytes(const char* direction, const char* data, std::size_t n);
  double seconds() const;

  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace vktsim
