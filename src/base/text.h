#pragma once
// The text rules every part of the library shares: trimming, numbers with
// at least two digits, and ASCII letter case.
#include <string>
#include <string_view>

namespace vkt {

// Trimming as every part of the library means it: removing every leading
// and trailing byte whose value is 0x20 or less (blanks and control
// characters, CR and LF among them).
inline std::string_view trimmed(std::string_view text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
  std::size_t b = 0, e = text.size();
  while (b < e && blank(text[b])) ++b;
  while (e > b && blank(text[e - 1])) --e;
  return text.substr(b, e - b);
}

// The trimmed text as a string of its own.
inline std::string trim(std::string_view text) { return std::string(trimmed(text)); }

// A number with at least two digits, zero-filled on the left ("%0.2d"):
// 5 gives "05", 123 stays "123", -5 gives "-05".
std::string two_digits(long value);

// ASCII letters only; every other byte stays as it is.
inline char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
inline char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
std::string ascii_upper(std::string_view text);
// Equal but for ASCII letter case.
bool same_ignoring_case(std::string_view a, std::string_view b);

}  // namespace vkt
