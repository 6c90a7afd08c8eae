#pragma once
// Text rules shared by the exchange's callers.
#include <string>
#include <string_view>

#include "link/trim.h"

namespace vkt::protocol {

// The trimmed text as a string of its own.
inline std::string trim(std::string_view text) { return std::string(trimmed(text)); }

}  // namespace vkt::protocol
