#include "vktsim/command_parser.h"

#include <cstring>

namespace vktsim {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Bytes that can begin a command.
bool starts_command(char c) { return c != '\0' && std::strchr("mpstlDjiwONd1250", c) != nullptr; }

// The clock text after "s": 'd' marks a digit, '.' a separator.
constexpr char kClockForm[] = "dddd.dd.dd.dd.dd.dd";
constexpr std::size_t kClockCommandLength = 1 + sizeof(kClockForm) - 1;  // 20
constexpr std::size_t kStartTimeCommandLength = 12;                      // l + mm/dd hh:nn

bool start_time_byte(char c) { return is_digit(c) || c == '/' || c == ':' || c == ' '; }

}  // namespace

CommandParser::CommandParser(std::chrono::milliseconds idle_gap) : idle_gap_(idle_gap) {}

void CommandParser::reset() {
  mode_ = Mode::Idle;
  current_.clear();
}

bool CommandParser::open_ended() const {
  if (current_.empty()) return false;
  const char c = current_[0];
  return c == 'l' || c == 'w' || c == 'N' || c == 'd' || (c == 'O' && current_.size() >= 2);
}

bool CommandParser::extends(char byte) const {
  if (current_[0] == 'l') return start_time_byte(byte) && current_.size() < kStartTimeCommandLength;
  return is_digit(byte);
}

bool CommandParser::may_end_here() const {
  const char c = current_[0];
  if (c == 'l') return current_.size() >= 2;
  const std::size_t prefix = (c == 'O') ? 2 : 1;
  return current_.size() > prefix;
}

CommandParser::Verdict CommandParser::judge() const {
  const std::size_t n = current_.size();
  const char c0 = current_[0];
  const char last = current_[n - 1];
  switch (c0) {
    case 'm':
    case 'p':
    case 't':
    case 'D':
      return Verdict::Complete;
    case 's': {
      if (n == 1) return Verdict::NeedMore;
      const bool wants_digit = kClockForm[n - 2] == 'd';
      if (wants_digit ? !is_digit(last) : (is_digit(last) || last < 0x20 || last > 0x7e))
        return Verdict::Invalid;
      return n == kClockCommandLength ? Verdict::Complete : Verdict::NeedMore;
    }
    case 'l':
      return n == kStartTimeCommandLength ? Verdict::Complete : Verdict::NeedMore;
    case 'j':
      if (n == 1) return Verdict::NeedMore;
      return std::strchr("afABE", last) != nullptr ? Verdict::Complete : Verdict::Invalid;
    case 'i':
      if (n == 1) return Verdict::NeedMore;
      return (last == '6' || last == '7' || last == '9') ? Verdict::Complete : Verdict::Invalid;
    case '1':
    case '2':
    case '5':
      if (n == 1) return Verdict::NeedMore;
      return last == '0' ? Verdict::Complete : Verdict::Invalid;
    case '0':
      if (n == 1) return Verdict::NeedMore;
      return (last == '1' || last == '2') ? Verdict::Complete : Verdict::Invalid;
    case 'w':
    case 'N':
    case 'd':
      return n - 1 > kMaxDigits ? Verdict::Invalid : Verdict::NeedMore;
    case 'O':
      if (n == 2) return (last == 'x' || last == 'z') ? Verdict::NeedMore : Verdict::Invalid;
      return (n == 1 || n - 2 <= kMaxDigits) ? Verdict::NeedMore : Verdict::Invalid;
    default:
      return Verdict::Invalid;
  }
}

void CommandParser::complete(std::vector<std::string>& out) {
  out.push_back(current_);
  current_.clear();
  mode_ = Mode::Idle;
}

void CommandParser::discard_current() {
  discarded_ += current_.size();
  current_.clear();
}

void CommandParser::start(char byte, std::vector<std::string>& out) {
  if (!starts_command(byte)) {
    mode_ = Mode::Discard;
    ++discarded_;
    return;
  }
  current_.assign(1, byte);
  mode_ = Mode::Partial;
  if (judge() == Verdict::Complete) complete(out);
}

void CommandParser::feed(char byte, Clock::time_point now, std::vector<std::string>& out) {
  // A quiet line before this byte ends whatever was going on.
  if (mode_ != Mode::Idle && now - last_byte_ >= idle_gap_) on_idle(now, out);
  last_byte_ = now;

  switch (mode_) {
    case Mode::Discard:
      ++discarded_;
      return;
    case Mode::Idle:
      start(byte, out);
      return;
    case Mode::Partial:
      break;
  }

  if (open_ended() && !extends(byte)) {
    // The byte does not belong to the open-ended command: that command ends
    // here if it may, and the byte begins the next one.
    if (may_end_here()) {
      complete(out);
      start(byte, out);
    } else {
      discard_current();
      mode_ = Mode::Discard;
      ++discarded_;
    }
    return;
  }

  current_.push_back(byte);
  switch (judge()) {
    case Verdict::Complete:
      complete(out);
      break;
    case Verdict::Invalid:
      discard_current();
      mode_ = Mode::Discard;
      break;
    case Verdict::NeedMore:
      break;
  }
}

void CommandParser::feed(const std::string& bytes, Clock::time_point now, std::vector<std::string>& out) {
  for (char b : bytes) feed(b, now, out);
}

void CommandParser::on_idle(Clock::time_point now, std::vector<std::string>& out) {
  if (mode_ == Mode::Idle || now - last_byte_ < idle_gap_) return;
  if (mode_ == Mode::Partial) {
    if (open_ended() && may_end_here())
      complete(out);
    else
      discard_current();
  }
  mode_ = Mode::Idle;
}

std::optional<CommandParser::Clock::time_point> CommandParser::deadline() const {
  if (mode_ == Mode::Idle) return std::nullopt;
  return last_byte_ + idle_gap_;
}

}  // namespace vktsim
