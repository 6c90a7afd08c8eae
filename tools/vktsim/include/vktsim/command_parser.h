#pragma once
// Splits the byte stream the host writes into the logger's commands.
//
// A command is a bare ASCII string with no line ending, so the parser
// recognises command boundaries by the command grammar:
//   "m", "p", "t", "D"                      one letter
//   "s" + "yyyy/mm/dd hh:nn:ss"             20 bytes in all (digits where the
//                                           form has digits, any printable
//                                           separator elsewhere)
//   "l" + "mm/dd hh:nn"                     up to 11 bytes of digits, "/", ":"
//                                           and blanks
//   "ja" "jf" "jA" "jB" "jE"                Record
//   "10" "20" "02" "01" "50"                Type (model code)
//   "i6" "i7" "i9"                          Interval
//   "w", "Ox", "Oz", "N", "d" + digits      a digit run of any length up to 8
// A digit run (and a short "l" text) ends at the first byte that does not
// belong to it, which then starts the next command, or when no byte arrives
// for the idle gap. A byte that cannot start or continue a command puts the
// parser into discard mode: everything is dropped until the line has been
// quiet for the idle gap, after which the next command-starting byte is
// accepted again. An incomplete fixed-form command that runs into the idle
// gap is dropped as well.
//
// Time is passed in, so the parser is a plain value type without a clock of
// its own. Not thread-safe; one parser serves one line.
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vktsim {

class CommandParser {
 public:
  using Clock = std::chrono::steady_clock;

  // Longest digit run accepted after "w", "Ox", "Oz", "N" and "d".
  static constexpr std::size_t kMaxDigits = 8;

  explicit CommandParser(std::chrono::milliseconds idle_gap = std::chrono::milliseconds(20));

  // Takes one received byte that arrived at `now`; every command completed
  // by it is appended to `out`.
  void feed(char byte, Clock::time_point now, std::vector<std::string>& out);
  void feed(const std::string& bytes, Clock::time_point now, std::vector<std::string>& out);

  // Lets the idle gap act when no byte has come: completes a pending digit
  // run, drops an incomplete command, ends discard mode. Call it at or after
  // `deadline()`; calling it earlier does nothing.
  void on_idle(Clock::time_point now, std::vector<std::string>& out);

  // When `on_idle` has something to do, or nothing when the parser is idle.
  std::optional<Clock::time_point> deadline() const;

  // The bytes of the command being assembled.
  const std::string& pending() const { return current_; }
  bool discarding() const { return mode_ == Mode::Discard; }

  // Bytes dropped so far: unknown bytes, invalid and incomplete commands.
  std::size_t discarded_bytes() const { return discarded_; }

  // Forgets the pending command and discard mode (a new line session).
  void reset();

 private:
  enum class Mode { Idle, Partial, Discard };
  enum class Verdict { NeedMore, Complete, Invalid };

  // Judges `current_` after its last byte was appended.
  Verdict judge() const;
  // True when `current_` may end here (a digit run with at least one digit,
  // a non-empty start-time text).
  bool may_end_here() const;
  // True when `byte` can extend `current_` (used for open-ended commands).
  bool extends(char byte) const;
  bool open_ended() const;
  void start(char byte, std::vector<std::string>& out);
  void complete(std::vector<std::string>& out);
  void discard_current();

  std::chrono::milliseconds idle_gap_;
  Mode mode_ = Mode::Idle;
  std::string current_;
  Clock::time_point last_byte_{};
  std::size_t discarded_ = 0;
};

}  // namespace vktsim
