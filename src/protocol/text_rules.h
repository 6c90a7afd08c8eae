#pragma once
// Text rules shared by the exchange's callers.
#include <string>
#include <string_view>

namespace vkt::protocol {

// Removes every leading and trailing byte whose value is 0x20 or less
// (blanks and control characters, CR and LF among them).
inline std::string trim(std::string_view text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
  std::size_t b = 0, e = text.size();
  while (b < e && blank(text[b])) ++b;
  while (e > b && blank(text[e - 1])) --e;
  return std::string(text.substr(b, e - b));
}

}  // namespace vkt::protocol
