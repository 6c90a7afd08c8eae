#pragma once
// The library's fixed times and line settings, each named once.
#include <chrono>
#include <cstdint>

namespace vkt {

// A command's reply must be complete within this time of the call.
inline constexpr uint32_t kReplyBoundMs = 3000;
// The download gives up after this much silence, counted from the last arrival.
inline constexpr uint32_t kSilenceBoundMs = 3000;
// How long a popup message (an error text, a port announcement) stays up.
inline constexpr uint32_t kDisplayMs = 3000;
// Longest single sleep of a wait between two polls of the port. The waits
// are bounded by the library's clock; this slice keeps them responsive to
// that clock even when it is not the machine's (a scripted clock in a test).
inline constexpr std::chrono::milliseconds kPollSlice{20};

// The logger's line: 19200 bits per second, 8 data bits, no parity, 1 stop
// bit, no flow control.
inline constexpr int32_t kLineBaud = 19200;
inline constexpr uint16_t kLineDataBits = 8;
inline constexpr uint16_t kLineStopBits = 1;

}  // namespace vkt
