#include "transcript.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace vktsim {

Transcript::~Transcript() {
  if (file_) std::fclose(file_);
}

void Transcript::open(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (file_) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "w");
  if (!file_) throw std::system_error(errno, std::generic_category(), "cannot create transcript " + path);
  start_ = std::chrono::steady_clock::now();
  std::fprintf(file_, "# seconds, direction (<- host to logger, -> logger to host), bytes, text\n");
  std::fflush(file_);
}

double Transcript::seconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void Transcript::note(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (!file_) return;
  std::fprintf(file_, "%12.6f == %s\n", seconds(), text.c_str());
  std::fflush(file_);
}

void Transcript::bytes(const char* direction, const char* data, std::size_t n) {
  constexpr std::size_t kPerLine = 16;
  std::lock_guard lock(mutex_);
  if (!file_) return;
  const double t = seconds();
  for (std::size_t from = 0; from < n; from += kPerLine) {
    const std::size_t count = std::min(kPerLine, n - from);
    std::string hex, text;
    for (std::size_t i = from; i < from + count; ++i) {
      const unsigned char c = static_cast<unsigned char>(data[i]);
      char cell[8];
      std::snprintf(cell, sizeof cell, "%02X ", c);
      hex += cell;
      if (c == '\r') {
        text += "\\r";
      } else if (c == '\n') {
        text += "\\n";
      } else if (c == '\\') {
        text += "\\\\";
      } else if (c >= 0x20 && c < 0x7f) {
        text += static_cast<char>(c);
      } else {
        std::snprintf(cell, sizeof cell, "\\x%02X", c);
        text += cell;
      }
    }
    std::fprintf(file_, "%12.6f %s %-48s |%s|\n", t, direction, hex.c_str(), text.c_str());
  }
  std::fflush(file_);
}

}  // namespace vktsim
