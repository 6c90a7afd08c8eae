#pragma once
// The parameter read-back's line parsing: the logger's parameter lines are
// "key=value1 value2 ...", one parameter per line.
#include <array>
#include <string>
#include <string_view>

namespace vkt::settings {

// The parameter keys the read-back looks for, in the order every line is
// tested.
constexpr std::array<std::string_view, 8> kParameterKeys{"@Record", "@Interval", "@Type",  "@wait",
                                                         "@My_ID",  "@detect",   "@ADJ h", "@gmenDR_A RLS"};

// Splits one parameter line into up to four values. 0 when `key` does not
// occur in the line (values untouched) or the line has more than four
// values; else the number of values found (1..4), stored in values[0..].
// The values follow the first "=" of the line (the whole line when it has
// none) and are separated by spaces.
int param_get(std::string_view line, std::string_view key, std::array<std::string, 4>& values);

}  // namespace vkt::settings
