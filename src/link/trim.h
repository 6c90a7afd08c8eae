#pragma once
// Trimming as every part of the library means it: removing every leading
// and trailing byte whose value is 0x20 or less (blanks and control
// characters, CR and LF among them).
#include <string_view>

namespace vkt {

inline std::string_view trimmed(std::string_view text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
  std::size_t b = 0, e = text.size();
  while (b < e && blank(text[b])) ++b;
  while (e > b && blank(text[e - 1])) --e;
  return text.substr(b, e - b);
}

}  // namespace vkt
