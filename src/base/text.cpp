#include "base/text.h"

#include <algorithm>
#include <cstdio>

namespace vkt {

std::string two_digits(long value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2ld", value);
  return text;
}

std::string ascii_upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ascii_upper(c);
  return out;
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

}  // namespace vkt
